#pragma once
// The processing pass run when the user converts.

#include "engine/record/Settings.h"

namespace quiramo {
class AudioFile;

// Runs the whole pass on the calling thread (the queue starts a thread for it).
void ProcessFileThread(AudioFile& job, const settings::Snapshot& snapshot);

}  // namespace quiramo
