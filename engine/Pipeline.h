#pragma once
// The audio data pipeline: source bytes to doubles, the stages in their fixed order, and
// doubles back to output bytes.

#include <cstddef>
#include <cstdint>

namespace quiramo {
class AudioFile;
struct Progress;

void ProcessAudioData(AudioFile& job);

// The pipeline's own loops as pure kernels. They run over whole sides of a record, so each
// works in blocks of a hundredth of its items and steps `progress` once per block (give it
// an interval of 1); a false step ends the kernel at once and it returns false.
namespace pipeline {

// Stored integers of 2 or 3 bytes in byte order 1 (big) or 2 (little), sign-extended,
// to unscaled doubles.
bool integersToDoubles(const uint8_t* in, size_t samples, unsigned sampleBytes, int order, double* out,
                       Progress& progress);

// Packs channels first to first + count - 1 of each of `frames` frames of `channels`
// interleaved doubles into 2, 3 or 4 byte integers: rounded half up, then cut to the low
// bytes (2 and 3 byte samples keep the sign bit only for negative values). No saturation:
// level management has already kept the samples in range.
bool doublesToIntegers(const double* in, size_t frames, unsigned channels, unsigned first, unsigned count,
                       unsigned sampleBytes, int order, uint8_t* out, Progress& progress);

// Multiplies every sample by factor.
bool scaleSamples(double* samples, size_t n, double factor, Progress& progress);

// Whether the job's output gets dither: ditherType 1, an Enhancement 1 other than None, and
// Groove in neither stage unless its surface noise is off (-70 dB).
bool ditherApplies(const AudioFile& job);

// Adds u(n) - u(n-1), u uniform in [-0.5, 0.5) from platform::random32() and u(-1) = 0:
// triangular dither of one step, rising with frequency.
bool addDither(double* samples, size_t n, Progress& progress);

}  // namespace pipeline
}  // namespace quiramo
