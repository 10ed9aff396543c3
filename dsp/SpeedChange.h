#pragma once
// Speed correction of needle drops captured at the wrong speed.

#include <cstddef>
#include <cstdint>

namespace quiramo {
class AudioFile;
struct Progress;

// Resamples audioBuf_0 by 3/N when Enhancement 1 is a phonograph replay EQ and
// captureSpeed names a correction: the audio gets shorter and higher by N/3 while the
// frame rate stays. Sets dstFrames to the new frame count.
void WindUpSpeedChange(AudioFile& job);

namespace dsp {

// Speeds stereo interleaved audio up by n/3 (n >= 4) in place: two zeros are inserted
// after every frame, the tripled signal is filtered with the odd-length `taps` (each
// applied tripled; causal, no delay compensation) and every n-th frame is kept.
// `outFrames` becomes floor(3 x frames / n). One progress step per tripled frame.
// False if the progress asked to stop (the audio is then incomplete).
bool windUpStereo(double* audio, uint64_t frames, unsigned n, const double* taps, size_t tapCount,
                  uint64_t& outFrames, Progress& progress);

}  // namespace dsp
}  // namespace quiramo
