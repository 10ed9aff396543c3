#pragma once
// The analysis pass run when a file joins the queue.

#include <string>

#include "engine/record/Settings.h"

namespace quiramo {
class AudioFile;

// Runs the whole pass on the calling thread (the queue starts a thread for it).
void AnalyseFileThread(AudioFile& job, const settings::Snapshot& snapshot);
void ValidateAudioParameters(AudioFile& job);

// The state text of an analysis without errors: "Ready to convert. ", the prior
// conversions in print order, then the analysis warnings.
std::string readyText(const AudioFile& job);

}  // namespace quiramo
