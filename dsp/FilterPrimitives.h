#pragma once
// The per-sample building blocks of the restoration chain and the crossfeed enhancements:
// a biquad section, a direct FIR convolution, a gain, a full-wave rectifier, a side-signal
// extractor and the two stereo filters of the crossfeed family.
//
// Buffers are interleaved by frame (channel c of frame n at n × channels + c), owned and
// sized by the caller; nothing here allocates. Filter history starts at zero in every call.
// Each kernel counts one step per sample of one channel (the two stereo filters: one per
// frame) on the given Progress and returns at once when step() says the job is to stop.
//
// The kernels in quiramo::dsp know nothing of the job record. The job-level operations below
// them build the progress from an interval and a start percentage and check the
// preconditions a caller can get wrong.

#include <cstdint>

#include "engine/record/Progress.h"

namespace quiramo {

class AudioFile;

namespace dsp {

// y = b0·x + b1·x[-1] + b2·x[-2] + c1·y[-1] + c2·y[-2]: the feedback terms are added, so a
// section with denominator 1 + a1·z⁻¹ + a2·z⁻² arrives as c1 = −a1, c2 = −a2.
struct BiquadCoefficients {
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double c1 = 0.0;
    double c2 = 0.0;
};

// Every channel through the section, frame 0 first, or from the last frame down when
// reverse is set (a forward pass then a reverse pass is zero-phase). Results go to the
// position they were read from, so `out` may be `in`. Channels run in pairs as independent
// chains in one loop; the result is bit for bit that of one channel after the other.
void biquad(const double* in, double* out, uint64_t frames, uint32_t channels, const BiquadCoefficients& k,
            bool reverse, Progress& progress);

// One channel of an interleaved buffer through the section, alone.
void biquadOneChannel(const double* in, double* out, uint64_t frames, uint32_t channels, uint32_t channel,
                      const BiquadCoefficients& k, bool reverse, Progress& progress);

// out[n] = Σ taps[k] · in[n − k] per channel for k = 0 … min(n, tapCount − 1), summed in
// increasing k, with nothing read before frame 0 (a symmetric filter of K taps delays by
// (K − 1) / 2 frames). The whole output is cleared first. `out` must not overlap `in`.
void fir(const double* in, double* out, uint64_t frames, uint32_t channels, const double* taps, uint64_t tapCount,
         Progress& progress);

// Every sample times the gain, in place.
void gain(double* buffer, uint64_t frames, uint32_t channels, double g, Progress& progress);

// Every sample below zero replaced by its negation; zero, −0 and positive samples stay.
void rectify(double* buffer, uint64_t frames, uint32_t channels, Progress& progress);

// Channel 0 becomes L − R, then every further channel a copy of it. Needs 2 channels or more.
void leftMinusRight(double* buffer, uint64_t frames, uint32_t channels, Progress& progress);

// Stereo crossfeed through a first-order section y = b0·x + b1·x[-1] + a·y[-1] per side:
// left out = L + g·(yR − yL), right out = R + g·(yL − yR). Reads channels 0 and 1 of an
// input of inChannels (≥ 2), writes channels 0 and 1 of an output of outChannels (≥ 2) and
// leaves the output's further channels alone. Separate buffers. One step per frame.
void quernwald(const double* in, double* out, uint64_t frames, uint32_t inChannels, uint32_t outChannels, double b0,
               double b1, double a, double g, bool reverse, Progress& progress);

// Fixed stereo widening: keeps L + R and multiplies L − R by 1.3. Stereo in and out,
// separate buffers. One step per frame.
void tsymWidthCompensation(const double* in, double* out, uint64_t frames, Progress& progress);

}  // namespace dsp

// ---- Job-level operations: progress through the job's row, every interval steps, counting
// up from start. Buffers belong to the caller.

void BiQuadFilter(AudioFile& job, const double* input, double* output, uint64_t frames, uint32_t channels, double b0,
                  double b1, double b2, double c1, double c2, bool reverse, uint64_t interval, uint32_t start);

// Asserts that the output is a buffer of its own.
void FiniteImpulseResponse(AudioFile& job, const double* input, double* output, uint64_t frames,
                           uint32_t channels, const double* taps, uint64_t tapCount, uint64_t interval,
                           uint32_t start);

void GainAdjust(AudioFile& job, double* buffer, uint64_t frames, uint32_t channels, double gain, uint64_t interval,
                uint32_t start);

void Rectifier(AudioFile& job, double* buffer, uint64_t frames, uint32_t channels, uint64_t interval,
               uint32_t start);

// Asserts two channels or more (unless there is nothing to do).
void ChannelLeftMinusRight(AudioFile& job, double* buffer, uint64_t frames, uint32_t channels, uint64_t interval,
                           uint32_t start);

// Asserts two input and two output channels or more (unless there is nothing to do).
void QuernwaldFilter(AudioFile& job, const double* input, double* output, uint64_t frames, uint32_t inChannels,
                     uint32_t outChannels, double b0, double b1, double a, double g, bool reverse,
                     uint64_t interval, uint32_t start);

// Asserts "The number of channels must be 2 in %s".
void TsymWidthCompensationFilter(AudioFile& job, const double* input, double* output, uint64_t frames,
                                 uint32_t channels, uint64_t interval, uint32_t start);

}  // namespace quiramo
