#pragma once
// The audio data pipeline: source bytes to doubles, the stages in their fixed order, and
// doubles back to output bytes.

namespace quiramo {
class AudioFile;

void ProcessAudioData(AudioFile& job);

}  // namespace quiramo
