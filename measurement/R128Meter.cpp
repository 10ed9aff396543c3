#include "measurement/R128Meter.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <functional>
#include <iterator>
#include <limits>
#include <numbers>

#include "engine/record/Buffer.h"
#include "measurement/TruePeakInterpolators.h"
#include "platform/Assert.h"

namespace quiramo {
namespace {

// Channel weights by position: L, R, C, LFE, sL, sR.
constexpr double kChannelWeight[R128Meter::kMaxChannels] = {1.0, 1.0, 1.0, 0.0, 1.41, 1.41};

constexpr double kLoudnessOffset = -0.691;      // LUFS of a K-weighted mean square of 1
constexpr double kAbsoluteGate = -70.0;         // LUFS
constexpr double kRelativeGate = 10.0;          // LU below the absolute-gated loudness
constexpr double kRangeGate = 20.0;             // LU below it, for the loudness range
constexpr double kRangeGateUnmeasured = -20.0;  // LUFS, when there are no momentary blocks
// Every figure of the meter is held at or above this floor, so that silence reads a finite
// number that the report and the bext fields can carry.
constexpr double kFloor = -100.0;

constexpr double kMomentarySeconds = 0.4;
constexpr double kMomentaryHopSeconds = 0.1;
constexpr uint64_t kMomentaryDivisions = 4;
constexpr double kShortTermSeconds = 3.0;
constexpr double kMinShortTermBlocks = 100.0;
// A bound on the short-term divisions. For any programme longer than 3 s the search stops
// long before it (near 300 × the frame rate at worst); it only keeps the loop finite.
constexpr uint64_t kMaxShortTermDivisions = uint64_t{3} << 40;

// Percent of the progress at which each stage begins. The K-weighting pass comes first
// because it finds the sample peak, from which the true-peak pass starts (see truePeakPass).
constexpr unsigned kProgressTruePeak = 40;
constexpr unsigned kProgressMomentary = 60;
constexpr unsigned kProgressShortTerm = 80;

double loudness(double meanSquare) {
    return kLoudnessOffset + 10.0 * std::log10(meanSquare);
}

// A stage's share of the progress: `ticks` percent from startPercent, one per equal part
// of the stage's work, counted by position (so a loop over spans or chunks reports the
// percents it passed without counting every sample).
class Ticker {
  public:
    Ticker(Progress& progress, unsigned startPercent, uint64_t work, uint64_t ticks)
        : progress_(progress), every_(std::max<uint64_t>(1, (work + ticks - 1) / ticks)), next_(every_) {
        progress_.interval = 1;
        progress_.countdown = 1;
        ok_ = progress_.set(startPercent);
    }
    // Reports every percent passed on reaching `done` units; false when the work is to stop.
    bool reach(uint64_t done) {
        while (ok_ && done >= next_) {
            ok_ = progress_.step();
            next_ += every_;
        }
        return ok_;
    }
    bool ok() const { return ok_; }

  private:
    Progress& progress_;
    uint64_t every_;
    uint64_t next_;
    bool ok_;
};

// Blocks of `length` frames; block k starts at floor(k × length / divisions).
struct BlockPlan {
    uint64_t length = 0;
    uint64_t divisions = 1;
    uint64_t count = 0;
    uint64_t start(uint64_t k) const { return k * length / divisions; }
    uint64_t end(uint64_t k) const { return start(k) + length; }
};

// The block counts come from the duration in seconds, where rounding may put the last
// block a frame beyond the programme; such blocks are dropped rather than read past the end.
void keepInside(BlockPlan& plan, uint64_t frames) {
    while (plan.count > 0 && plan.end(plan.count - 1) > frames) --plan.count;
}

uint64_t wholeFrames(double frames) {
    return frames > 0.0 ? static_cast<uint64_t>(frames) : 0;
}

BlockPlan momentaryPlan(uint64_t frames, double rate) {
    BlockPlan plan;
    const double seconds = static_cast<double>(frames) / rate;
    if (!(seconds > kMomentarySeconds)) return plan;
    plan.length = wholeFrames(std::floor(rate * kMomentarySeconds));
    plan.divisions = kMomentaryDivisions;
    plan.count = wholeFrames(std::floor(seconds / kMomentaryHopSeconds) - 3.0);
    keepInside(plan, frames);
    return plan;
}

// Halves the hop (3 s, 1.5 s, 0.75 s, ...) until there are at least 100 blocks: long
// programmes get the usual 1 s hop, short ones a finer one and still a usable distribution.
BlockPlan shortTermPlan(uint64_t frames, double rate) {
    BlockPlan plan;
    const double seconds = static_cast<double>(frames) / rate;
    if (!(seconds > kShortTermSeconds)) return plan;
    plan.length = wholeFrames(std::floor(rate * kShortTermSeconds));
    uint64_t d = 3;
    auto blocks = [seconds](uint64_t divisions) {
        const double dd = static_cast<double>(divisions);
        return std::floor(seconds / (kShortTermSeconds / dd)) - dd + 1.0;
    };
    while (blocks(d) < kMinShortTermBlocks && d < kMaxShortTermDivisions) d *= 2;
    plan.divisions = d;
    plan.count = wholeFrames(blocks(d));
    keepInside(plan, frames);
    return plan;
}

// ---- K-weighting ------------------------------------------------------------------------

struct KWeightingState {
    double x1 = 0, x2 = 0;  // input
    double y1 = 0, y2 = 0;  // after the shelf
    double z1 = 0, z2 = 0;  // after the high pass
};

// Filters frames [0, n) of `in` (C interleaved channels), adding each channel's sum of
// squared K-weighted values to power[c] and raising peak[c] to the largest |sample|.
// The state lives in locals for the loop; the recurrence term goes last so that the
// loop-carried chain is one multiply and one add per stage.
template <unsigned C>
void kWeightSpan(const double* in, uint64_t n, double scale, const R128Biquad& s, const R128Biquad& h,
                 KWeightingState (&state)[C], double (&power)[C], double (&peak)[C]) {
    double x1[C], x2[C], y1[C], y2[C], z1[C], z2[C], acc[C], pk[C];
    for (unsigned c = 0; c < C; ++c) {
        x1[c] = state[c].x1, x2[c] = state[c].x2;
        y1[c] = state[c].y1, y2[c] = state[c].y2;
        z1[c] = state[c].z1, z2[c] = state[c].z2;
        acc[c] = 0.0, pk[c] = peak[c];
    }
    for (uint64_t i = 0; i < n; ++i) {
        const double* frame = in + i * C;
        for (unsigned c = 0; c < C; ++c) {
            const double x = frame[c] * scale;
            pk[c] = std::max(pk[c], std::fabs(frame[c]));
            const double y = (s.b0 * x + s.b1 * x1[c] + s.b2 * x2[c] - s.a2 * y2[c]) - s.a1 * y1[c];
            const double z = (h.b0 * y + h.b1 * y1[c] + h.b2 * y2[c] - h.a2 * z2[c]) - h.a1 * z1[c];
            x2[c] = x1[c], x1[c] = x;
            y2[c] = y1[c], y1[c] = y;
            z2[c] = z1[c], z1[c] = z;
            acc[c] += z * z;
        }
    }
    for (unsigned c = 0; c < C; ++c) {
        state[c] = {x1[c], x2[c], y1[c], y2[c], z1[c], z2[c]};
        power[c] += acc[c];
        peak[c] = pk[c];
    }
}

// Stereo, the common case: left and right as the two lanes of one vector, the same
// arithmetic in the same order as above (so the same results), half the instructions.
using Pair = double __attribute__((vector_size(16)));

template <>
void kWeightSpan<2>(const double* in, uint64_t n, double scale, const R128Biquad& s, const R128Biquad& h,
                    KWeightingState (&state)[2], double (&power)[2], double (&peak)[2]) {
    auto both = [](double v) { return Pair{v, v}; };
    const Pair sb0 = both(s.b0), sb1 = both(s.b1), sb2 = both(s.b2), sa1 = both(s.a1), sa2 = both(s.a2);
    const Pair hb0 = both(h.b0), hb1 = both(h.b1), hb2 = both(h.b2), ha1 = both(h.a1), ha2 = both(h.a2);
    const Pair sc = both(scale);
    Pair x1 = {state[0].x1, state[1].x1}, x2 = {state[0].x2, state[1].x2};
    Pair y1 = {state[0].y1, state[1].y1}, y2 = {state[0].y2, state[1].y2};
    Pair z1 = {state[0].z1, state[1].z1}, z2 = {state[0].z2, state[1].z2};
    Pair acc = {0.0, 0.0};
    double pkLeft = peak[0], pkRight = peak[1];
    for (uint64_t i = 0; i < n; ++i) {
        const double left = in[2 * i], right = in[2 * i + 1];
        pkLeft = std::max(pkLeft, std::fabs(left));
        pkRight = std::max(pkRight, std::fabs(right));
        const Pair x = Pair{left, right} * sc;
        const Pair y = (sb0 * x + sb1 * x1 + sb2 * x2 - sa2 * y2) - sa1 * y1;
        const Pair z = (hb0 * y + hb1 * y1 + hb2 * y2 - ha2 * z2) - ha1 * z1;
        x2 = x1, x1 = x;
        y2 = y1, y1 = y;
        z2 = z1, z1 = z;
        acc += z * z;
    }
    for (unsigned c = 0; c < 2; ++c) {
        state[c] = {x1[c], x2[c], y1[c], y2[c], z1[c], z2[c]};
        power[c] += acc[c];
    }
    peak[0] = pkLeft, peak[1] = pkRight;
}

// Runs the K-weighting over the whole programme, span by span (spans end at every block
// edge), storing the weighted power and the sample peak of each span.
template <unsigned C>
bool kWeightingPass(const double* samples, const uint64_t* edges, size_t spans, double scale,
                    const R128Biquad& shelf, const R128Biquad& highPass, double* spanPower, double* spanPeak,
                    Ticker& ticker) {
    KWeightingState state[C] = {};
    for (size_t k = 0; k < spans; ++k) {
        double power[C] = {};
        double peak[C] = {};
        kWeightSpan<C>(samples + edges[k] * C, edges[k + 1] - edges[k], scale, shelf, highPass, state, power,
                       peak);
        double weighted = 0.0, largest = 0.0;
        for (unsigned c = 0; c < C; ++c) {
            weighted += kChannelWeight[c] * power[c];
            largest = std::max(largest, peak[c]);
        }
        spanPower[k] = weighted;
        spanPeak[k] = largest;
        if (!ticker.reach(edges[k + 1])) return false;
    }
    return true;
}

bool kWeightingPass(unsigned channels, const double* samples, const uint64_t* edges, size_t spans,
                    double scale, const R128Biquad& shelf, const R128Biquad& highPass, double* spanPower,
                    double* spanPeak, Ticker& ticker) {
    // One instantiation per channel count, so the inner loop knows its stride.
    using Pass = bool (*)(const double*, const uint64_t*, size_t, double, const R128Biquad&, const R128Biquad&,
                          double*, double*, Ticker&);
    static constexpr Pass kPasses[] = {kWeightingPass<1>, kWeightingPass<2>, kWeightingPass<3>,
                                       kWeightingPass<4>, kWeightingPass<5>, kWeightingPass<6>};
    if (channels < 1 || channels > std::size(kPasses)) return false;  // measure() takes 1 to 6 channels only
    return kPasses[channels - 1](samples, edges, spans, scale, shelf, highPass, spanPower, spanPeak, ticker);
}

// Sum of the span powers between two block edges (both are edges of the span list).
double blockPower(const uint64_t* edges, size_t spans, const double* spanPower, uint64_t start,
                  uint64_t end) {
    size_t k = static_cast<size_t>(std::lower_bound(edges, edges + spans + 1, start) - edges);
    double sum = 0.0;
    for (; k < spans && edges[k] < end; ++k) sum += spanPower[k];
    return sum;
}

// ---- True peak --------------------------------------------------------------------------

// The interpolator as L polyphase branches of K = 64 / L taps each, scaled by L: output
// L × i + p of input frame i is the sum over j of phases[p][j] × x[i - j].
template <unsigned L>
struct Interpolator {
    static constexpr unsigned K = 64 / L;
    double phases[L][K];
    // An upper bound of |output| / max |input in the window|: the largest sum of |taps| over
    // the branches, enlarged well beyond any rounding of the sums themselves.
    double gainBound;

    explicit Interpolator(const double (&h)[64]) {
        double largest = 0.0;
        for (unsigned p = 0; p < L; ++p) {
            double sum = 0.0;
            for (unsigned j = 0; j < K; ++j) {
                phases[p][j] = L * h[L * j + p];
                sum += std::fabs(phases[p][j]);
            }
            largest = std::max(largest, sum);
        }
        gainBound = largest * (1.0 + 1e-9);
    }
};

// The largest |output| of frames [0, n) of one channel held contiguously in x, where
// x[-(K-1)] to x[-1] are the frames before (zero before the programme). Four frames are
// worked at a time, so that the compiler keeps 4 × L independent sums in vector registers.
template <unsigned L>
double branchPeak(const Interpolator<L>& f, const double* x, size_t n) {
    constexpr unsigned K = Interpolator<L>::K;
    constexpr size_t kFrames = 4;
    double pk[kFrames] = {};
    size_t i = 0;
    for (; i + kFrames <= n; i += kFrames) {
        double y[L][kFrames] = {};
        for (unsigned j = 0; j < K; ++j) {
            const double* xs = x + i - j;
            for (unsigned p = 0; p < L; ++p) {
                for (size_t q = 0; q < kFrames; ++q) y[p][q] += f.phases[p][j] * xs[q];
            }
        }
        for (unsigned p = 0; p < L; ++p) {
            for (size_t q = 0; q < kFrames; ++q) pk[q] = std::max(pk[q], std::fabs(y[p][q]));
        }
    }
    double m = std::max(std::max(pk[0], pk[1]), std::max(pk[2], pk[3]));
    for (; i < n; ++i) {
        const double* xi = x + i;
        for (unsigned p = 0; p < L; ++p) {
            double y = 0.0;
            for (unsigned j = 0; j < K; ++j) y += f.phases[p][j] * xi[-static_cast<std::ptrdiff_t>(j)];
            m = std::max(m, std::fabs(y));
        }
    }
    return m;
}

#if defined(__x86_64__)
// The same with AVX2 and FMA, on processors that have them (most since 2013): eight frames
// at a time, two vectors of four per branch, 2 × L independent sums. About three times the
// speed of the portable version.
template <unsigned L>
__attribute__((target("avx2,fma"))) double branchPeakAvx2(const Interpolator<L>& f, const double* x,
                                                          size_t n) {
    constexpr unsigned K = Interpolator<L>::K;
    constexpr size_t kFrames = 8;
    const __m256d sign = _mm256_set1_pd(-0.0);
    __m256d pk = _mm256_setzero_pd();
    size_t i = 0;
    for (; i + kFrames <= n; i += kFrames) {
        __m256d y[L][2];
        for (unsigned p = 0; p < L; ++p) y[p][0] = y[p][1] = _mm256_setzero_pd();
        for (unsigned j = 0; j < K; ++j) {
            const double* xs = x + i - j;
            const __m256d x0 = _mm256_loadu_pd(xs), x1 = _mm256_loadu_pd(xs + 4);
            for (unsigned p = 0; p < L; ++p) {
                const __m256d c = _mm256_set1_pd(f.phases[p][j]);
                y[p][0] = _mm256_fmadd_pd(c, x0, y[p][0]);
                y[p][1] = _mm256_fmadd_pd(c, x1, y[p][1]);
            }
        }
        for (unsigned p = 0; p < L; ++p) {
            pk = _mm256_max_pd(pk, _mm256_andnot_pd(sign, y[p][0]));
            pk = _mm256_max_pd(pk, _mm256_andnot_pd(sign, y[p][1]));
        }
    }
    double lanes[4];
    _mm256_storeu_pd(lanes, pk);
    const double m = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    return i < n ? std::max(m, branchPeak(f, x + i, n - i)) : m;
}
#endif

std::atomic<bool>& vectorExtensionsAllowed() {
    static std::atomic<bool> allowed{true};
    return allowed;
}

template <unsigned L>
using BranchPeak = double (*)(const Interpolator<L>&, const double*, size_t);

template <unsigned L>
BranchPeak<L> fastestBranchPeak() {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2 && vectorExtensionsAllowed().load(std::memory_order_relaxed)) return &branchPeakAvx2<L>;
#endif
    return &branchPeak<L>;
}

constexpr uint64_t kTruePeakChunk = 1024;  // frames per channel gathered at a time

// Raises peak to the largest |output| of frames [first, last) over all channels. A channel
// whose window (the chunk and the K - 1 frames before it) cannot reach beyond peak even at
// the interpolator's largest gain is not interpolated: the result is the same, and on music
// most chunks are skipped.
template <unsigned L>
void rangePeak(const Interpolator<L>& f, BranchPeak<L> branch, const double* samples, unsigned channels,
               uint64_t first, uint64_t last, double* scratch, double& peak) {
    constexpr uint64_t history = Interpolator<L>::K - 1;
    const uint64_t from = first >= history ? first - history : 0;
    const uint64_t lead = history - (first - from);  // zero frames before the programme
    const size_t n = static_cast<size_t>(last - first);
    for (unsigned c = 0; c < channels; ++c) {
        double window = 0.0;
        for (uint64_t i = 0; i < lead; ++i) scratch[i] = 0.0;
        double* x = scratch + lead;
        for (uint64_t i = from; i < last; ++i) {
            const double v = samples[i * channels + c];
            *x++ = v;
            window = std::max(window, std::fabs(v));
        }
        if (window * f.gainBound <= peak) continue;
        peak = std::max(peak, branch(f, scratch + history, n));
    }
}

// The largest |output| of the interpolator over the programme, or the sample peak if that
// is larger. The samples are points of the signal, so its peak cannot be below them; an
// interpolator that loses some of the top octave would otherwise read a tone near Nyquist
// several dB under its own samples. Starting from the sample peak also lets rangePeak skip
// every chunk that cannot come near it, from the first chunk on.
template <unsigned L>
bool truePeakPass(const double (&h)[64], const double* samples, uint64_t frames, unsigned channels,
                  double samplePeak, Ticker& ticker, double& peak) {
    const Interpolator<L> f(h);
    const BranchPeak<L> branch = fastestBranchPeak<L>();
    Buffer<double> scratch;
    if (!scratch.allocate(Interpolator<L>::K - 1 + kTruePeakChunk)) return false;
    peak = samplePeak;
    for (uint64_t first = 0; first < frames; first += kTruePeakChunk) {
        const uint64_t last = std::min(frames, first + kTruePeakChunk);
        rangePeak(f, branch, samples, channels, first, last, scratch.data(), peak);
        if (!ticker.reach(last)) return true;
    }
    return true;
}

}  // namespace

unsigned R128Meter::oversamplingFactor(double frameRate) {
    if (frameRate == 44100.0 || frameRate == 48000.0) return 4;
    if (frameRate == 88200.0 || frameRate == 96000.0) return 2;
    if (frameRate == 176400.0 || frameRate == 192000.0) return 1;
    return 0;
}

R128Biquad R128Meter::highShelf(double frameRate) {
    const double f0 = 1682.0;  // Hz
    const double q = 1.0 / std::numbers::sqrt2;
    const double vh = std::pow(10.0, 4.0 / 20.0);
    const double vb = std::pow(10.0, 2.0 / 20.0);
    const double k = std::tan(std::numbers::pi * f0 / frameRate);
    const double a0 = 1.0 + k / q + k * k;
    return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

R128Biquad R128Meter::highPass(double frameRate) {
    const double f0 = 38.0;  // Hz
    const double q = 0.5;
    const double k = std::tan(std::numbers::pi * f0 / frameRate);
    const double a0 = 1.0 + k / q + k * k;
    return {1.0 / a0, -2.0 / a0, 1.0 / a0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

void R128Meter::setVectorExtensionsForTesting(bool allowed) {
    vectorExtensionsAllowed().store(allowed);
}

R128Meter::R128Meter(double frameRate, unsigned channels)
    : frameRate_(frameRate), channels_(channels), factor_(oversamplingFactor(frameRate)) {}

R128Meter::Status R128Meter::measure(const double* samples, uint64_t frames, double fullScale,
                                     Progress& progress) {
    result_ = R128Result();
    QRM_ASSERT(factor_ != 0 && channels_ >= 1 && channels_ <= kMaxChannels && fullScale > 0.0,
               "Unsupported frame rate %.1f, channels %u or full scale %g in %s", frameRate_, channels_,
               fullScale, __func__);
    if (factor_ == 0 || channels_ < 1 || channels_ > kMaxChannels || !(fullScale > 0.0))
        return Status::invalid;
    const BlockPlan momentary = momentaryPlan(frames, frameRate_);
    const BlockPlan shortTerm = shortTermPlan(frames, frameRate_);

    // Every block edge, with the programme's ends, sorted: the K-weighted power is summed
    // per span between consecutive edges.
    Buffer<uint64_t> edges;
    const uint64_t edgeCount = 2 + 2 * (momentary.count + shortTerm.count);
    if (!edges.allocate(edgeCount)) return Status::outOfMemory;
    size_t e = 0;
    edges[e++] = 0;
    edges[e++] = frames;
    for (const BlockPlan* plan : {&momentary, &shortTerm}) {
        for (uint64_t k = 0; k < plan->count; ++k) {
            edges[e++] = plan->start(k);
            edges[e++] = plan->end(k);
        }
    }
    std::sort(edges.begin(), edges.end());
    const size_t spans = static_cast<size_t>(std::unique(edges.begin(), edges.end()) - edges.begin()) - 1;

    Buffer<double> spanPower, spanPeak;
    if (spans > 0 && (!spanPower.allocate(spans) || !spanPeak.allocate(spans))) return Status::outOfMemory;

    // K-weighting, with the sample peak of every span.
    {
        Ticker ticker(progress, 0, frames, kProgressTruePeak);
        if (!ticker.ok()) return Status::cancelled;
        if (!kWeightingPass(channels_, samples, edges.data(), spans, 1.0 / fullScale, highShelf(frameRate_),
                            highPass(frameRate_), spanPower.data(), spanPeak.data(), ticker)) {
            return Status::cancelled;
        }
    }

    // True peak.
    {
        const double samplePeak = spans > 0 ? *std::max_element(spanPeak.begin(), spanPeak.end()) : 0.0;
        double peak = samplePeak;
        if (factor_ > 1) {
            Ticker ticker(progress, kProgressTruePeak, frames, kProgressMomentary - kProgressTruePeak);
            if (!ticker.ok()) return Status::cancelled;
            const bool ok = factor_ == 4 ? truePeakPass<4>(truepeak::kInterpolator4x, samples, frames,
                                                           channels_, samplePeak, ticker, peak)
                                         : truePeakPass<2>(truepeak::kInterpolator2x, samples, frames,
                                                           channels_, samplePeak, ticker, peak);
            if (!ok) return Status::outOfMemory;
            if (!ticker.ok()) return Status::cancelled;
        }
        // Digital silence has no peak level; it reads the floor.
        result_.maxTruePeakLevel = peak > 0.0 ? 20.0 * std::log10(peak / fullScale) : kFloor;
    }

    // Momentary blocks and the gated programme loudness.
    double rangeGate = kRangeGateUnmeasured;
    if (momentary.length > 0) {
        result_.momentaryMeasured = true;
        result_.momentaryBlocks = momentary.count;
        Ticker ticker(progress, kProgressMomentary, momentary.count, kProgressShortTerm - kProgressMomentary);
        if (!ticker.ok()) return Status::cancelled;
        Buffer<double> meanSquare;
        if (!meanSquare.allocate(momentary.count)) return Status::outOfMemory;
        const double frames400 = static_cast<double>(momentary.length);
        double largest = -std::numeric_limits<double>::infinity();
        for (uint64_t k = 0; k < momentary.count; ++k) {
            meanSquare[k] =
                blockPower(edges.data(), spans, spanPower.data(), momentary.start(k), momentary.end(k)) /
                frames400;
            largest = std::max(largest, loudness(meanSquare[k]));
            if (!ticker.reach(k + 1)) return Status::cancelled;
        }
        double sum = 0.0;
        uint64_t n = 0;
        for (const double z : meanSquare) {
            if (loudness(z) > kAbsoluteGate) sum += z, ++n;
        }
        // Silence: no block passes the gate and there is no loudness to speak of; the
        // figures are held at the floor instead of dividing by zero.
        result_.gated = n > 0;
        const double absolute = n > 0 ? loudness(sum / static_cast<double>(n)) : kFloor;
        sum = 0.0;
        n = 0;
        for (const double z : meanSquare) {
            const double l = loudness(z);
            if (l > kAbsoluteGate && l > absolute - kRelativeGate) sum += z, ++n;
        }
        result_.absoluteGatedLoudness = absolute;
        result_.loudnessValue = n > 0 ? loudness(sum / static_cast<double>(n)) : kFloor;
        result_.maxMomentaryLoudness = std::max(kFloor, largest);
        rangeGate = absolute - kRangeGate;
    }

    // Short-term blocks: the largest and the loudness range.
    if (shortTerm.length > 0) {
        result_.shortTermMeasured = true;
        result_.shortTermBlocks = shortTerm.count;
        result_.shortTermDivisions = shortTerm.divisions;
        Ticker ticker(progress, kProgressShortTerm, shortTerm.count, 100 - kProgressShortTerm);
        if (!ticker.ok()) return Status::cancelled;
        Buffer<double> level;
        if (!level.allocate(shortTerm.count)) return Status::outOfMemory;
        const double frames3s = static_cast<double>(shortTerm.length);
        for (uint64_t k = 0; k < shortTerm.count; ++k) {
            level[k] = loudness(
                blockPower(edges.data(), spans, spanPower.data(), shortTerm.start(k), shortTerm.end(k)) /
                frames3s);
            if (!ticker.reach(k + 1)) return Status::cancelled;
        }
        std::sort(level.begin(), level.end(), std::greater<>());
        result_.maxShortTermLoudness = std::max(kFloor, level.empty() ? kFloor : level[0]);

        // The blocks above both gates are the first n of the descending list; the range is
        // the 95th minus the 10th percentile, interpolated between neighbouring blocks. With
        // fewer than two such blocks there is no spread, and the range is 0.
        const double gate = std::max(kAbsoluteGate, rangeGate);
        const size_t n = static_cast<size_t>(
            std::find_if(level.begin(), level.end(), [gate](double l) { return !(l > gate); }) -
            level.begin());
        auto at = [&level, n](double position) {
            const size_t i = static_cast<size_t>(position);
            const double frac = position - static_cast<double>(i);
            return i + 1 < n ? level[i] + frac * (level[i + 1] - level[i]) : level[i];
        };
        if (n >= 2) {
            const double last = static_cast<double>(n - 1);
            result_.loudnessRange = at(0.05 * last) - at(0.9 * last);
        }
    }
    return Status::ok;
}

}  // namespace quiramo
