#pragma once
// The processing pass run when the user converts.

#include <string>

#include "engine/record/Settings.h"

namespace quiramo {
class AudioFile;

// Runs the whole pass on the calling thread (the queue starts a thread for it).
void ProcessFileThread(AudioFile& job, const settings::Snapshot& snapshot);

// folder/base+suffix.extension, or the first free "folder/base+suffix-n.extension" when
// that name is taken (renamed set).
std::string destinationPathFor(const std::string& folder, const std::string& base, const std::string& suffix,
                               const std::string& extension, bool& renamed);

}  // namespace quiramo
