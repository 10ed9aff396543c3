#pragma once
// The analysis pass run when a file joins the queue.

#include "engine/record/Settings.h"

namespace quiramo {
class AudioFile;

// Runs the whole pass on the calling thread (the queue starts a thread for it).
void AnalyseFileThread(AudioFile& job, const settings::Snapshot& snapshot);
void ValidateAudioParameters(AudioFile& job);

}  // namespace quiramo
