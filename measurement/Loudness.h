#pragma once
// EBU R128 loudness of the source (1) and converted (4) audio, and the loudness adjustment.

namespace quiramo {
class AudioFile;

void AnalyseAudioMetricsR128(AudioFile& job, unsigned point);

}  // namespace quiramo
