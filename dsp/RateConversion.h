#pragma once
// Sample-rate conversion by factors of two around the enhancement stages.

#include <cstddef>
#include <cstdint>

namespace quiramo {
class AudioFile;
struct Progress;

// Halves 176.4/192 kHz audio in audioIn before the stages (upsampleType 4 and 8).
void QuadDownSample(AudioFile& job);
// Fills audioBuf_0 from audioIn: doubles the rate for upsampleType 2, otherwise copies.
void DualUpSample(AudioFile& job);
// Doubles audioBuf_2 back to 176.4/192 kHz after the stages (upsampleType 4).
void QuadUpSample(AudioFile& job);

namespace dsp {

// Low-pass filters stereo interleaved audio with the odd-length symmetric `taps`
// (causal, nothing read before frame 0, no delay compensation) and keeps every second
// frame: frame k becomes sum over j of taps[j] x frame 2k - j. Works in place; frames
// from frames / 2 on are zeroed. One progress step per filtered frame and one per kept
// frame. False if the progress asked to stop (the audio is then incomplete).
bool decimateStereoByTwo(double* audio, uint64_t frames, const double* taps, size_t tapCount,
                         Progress& progress);

// Doubles the rate of `frames` frames of `channels`-channel interleaved audio by inserting
// a zero after every frame and filtering with the odd-length `taps` at the output rate, each
// applied doubled to make up for the inserted zeros (one zero tap completes the two phases):
// output frame 2i + p = sum over j of 2 taps[2j + p] x input frame i - j. Writes 2 x frames
// frames; `out` may be `in` when it has room for them. One progress step per input frame.
bool interpolateByTwo(const double* in, double* out, uint64_t frames, unsigned channels, const double* taps,
                      size_t tapCount, Progress& progress);

}  // namespace dsp
}  // namespace quiramo
