#pragma once
// The loudness meter: K-weighted, gated programme loudness, loudness range, maximum
// momentary and short-term loudness and maximum true-peak level of one programme held in
// memory as interleaved doubles. A pure kernel: it knows nothing of the job record, so the
// tests and the benchmark drive it directly.
//
// How it differs from the published recommendations, on purpose: the K-weighting
// coefficients come from our own bilinear design formulas, the true peak uses our 63-tap
// interpolators (and is never below the sample peak), the short-term hop shrinks for short programmes so that
// there are at least 100 blocks, the loudness-range gate is taken from the momentary absolute-gated loudness,
// and the surround channels weigh 1.41.
//
// Nothing of the programme is kept: the K-weighted power is summed on the fly into the
// spans between consecutive block edges, and every block is then a short sum of spans.
// Working memory is a few values per 100 ms, not one per sample.

#include <cstdint>

#include "engine/record/Progress.h"

namespace quiramo {

// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2]
struct R128Biquad {
    double b0, b1, b2, a1, a2;
};

struct R128Result {
    double maxTruePeakLevel = 0.0;  // dBTP

    // Momentary blocks (400 ms, 100 ms apart): only for programmes longer than 0.4 s.
    bool momentaryMeasured = false;
    uint64_t momentaryBlocks = 0;
    bool gated = false;                  // at least one block passed the absolute gate
    double absoluteGatedLoudness = 0.0;  // LUFS
    double loudnessValue = 0.0;          // LUFS, relative-gated
    double maxMomentaryLoudness = 0.0;   // LUFS

    // Short-term blocks (3 s): only for programmes longer than 3 s.
    bool shortTermMeasured = false;
    uint64_t shortTermBlocks = 0;
    uint64_t shortTermDivisions = 0;    // blocks per 3 s window: the hop is 3 s / divisions
    double loudnessRange = 0.0;         // LU
    double maxShortTermLoudness = 0.0;  // LUFS
};

class R128Meter {
  public:
    enum class Status { ok, cancelled, outOfMemory, invalid };

    static constexpr unsigned kMaxChannels = 6;  // L, R, C, LFE, sL, sR

    // The true-peak oversampling factor: 4 at 44.1 and 48 kHz, 2 at 88.2 and 96 kHz, 1 at
    // 176.4 and 192 kHz, 0 for any other rate (the meter does not take those).
    static unsigned oversamplingFactor(double frameRate);
    // The two K-weighting stages for a frame rate: a 1682 Hz high shelf, then a 38 Hz high pass.
    static R128Biquad highShelf(double frameRate);
    static R128Biquad highPass(double frameRate);

    // frameRate must have an oversampling factor and channels be 1 to kMaxChannels; the
    // caller checks both, because what to do otherwise is the caller's business (measure()
    // raises an assertion and answers Status::invalid).
    R128Meter(double frameRate, unsigned channels);

    // Measures frames × channels interleaved samples on the integer scale of fullScale
    // (2^(bits-1)). Progress runs from 0 to 100 in steps of one percent; a step answered
    // with false ends the measurement with Status::cancelled.
    Status measure(const double* samples, uint64_t frames, double fullScale, Progress& progress);

    const R128Result& result() const { return result_; }

    // The true peak uses AVX2 and FMA where the processor has them. Tests and benchmarks
    // switch that off to check and time the portable code; nothing else should.
    static void setVectorExtensionsForTesting(bool allowed);

  private:
    double frameRate_;
    unsigned channels_;
    unsigned factor_;
    R128Result result_;
};

}  // namespace quiramo
