#pragma once
// The enhancement dispatcher: runs Enhancement 1 (stage 1) or Enhancement 2 (stage 2)
// under the stage contract.

namespace quiramo {
class AudioFile;

void StereoEnhancement(AudioFile& job, unsigned stage);

}  // namespace quiramo
