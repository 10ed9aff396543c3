#pragma once
// Speed correction of needle drops captured at the wrong speed.

namespace quiramo {
class AudioFile;

void WindUpSpeedChange(AudioFile& job);

}  // namespace quiramo
