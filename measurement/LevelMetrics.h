#pragma once
// Level metrics of the source (1), intermediate (2) and converted (4) audio.

namespace quiramo {
class AudioFile;

void AnalyseAudioMetricsBasic(AudioFile& job, unsigned point);
void AnalyseAudioMetricsVeltrane(AudioFile& job, unsigned point);

}  // namespace quiramo
