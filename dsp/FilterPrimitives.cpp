#include "dsp/FilterPrimitives.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>

#include "engine/record/AudioFile.h"
#include "platform/Assert.h"

namespace quiramo {
namespace dsp {
namespace {

// Index of the first visited sample of a channel and the signed step between visits,
// as an unsigned offset that wraps: going down past frame 0 is never dereferenced.
struct Walk {
    size_t first;
    size_t stride;
};

Walk walk(uint64_t frames, size_t channels, size_t channel, bool reverse) {
    if (reverse) return {(frames - 1) * channels + channel, size_t{0} - channels};
    return {channel, channels};
}

// Two neighbouring samples in one vector register (a GCC/Clang extension that needs no
// instruction-set flag: SSE2 on x86-64).
using SamplePair = double __attribute__((vector_size(2 * sizeof(double))));

// The body of the convolution sums this many pairs of outputs side by side. Each output
// still has its own accumulator and adds its taps in the defined order, so the result is
// exact; the independent sums hide the latency of the additions, which otherwise bounds a
// direct form. Eight pairs keep both adders busy and fit in the sixteen SSE registers
// (twice the speed of a plain array of sixteen, which the compiler keeps in memory).
constexpr size_t kFirPairs = 8;
constexpr size_t kFirBlock = 2 * kFirPairs;

// One channel through the section. False when the job is to stop.
bool oneChain(const double* in, double* out, uint64_t frames, size_t channels, size_t c, const BiquadCoefficients& k,
              bool reverse, Progress& progress) {
    const double b0 = k.b0, b1 = k.b1, b2 = k.b2, c1 = k.c1, c2 = k.c2;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    const Walk w = walk(frames, channels, c, reverse);
    size_t i = w.first;
    for (uint64_t n = 0; n < frames; ++n, i += w.stride) {
        const double x = in[i];
        const double y = b0 * x + b1 * x1 + b2 * x2 + c1 * y1 + c2 * y2;
        out[i] = y;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        if (!progress.step()) return false;
    }
    return true;
}

// Channels c and c + 1 as two independent chains: the recurrence of one chain leaves the
// arithmetic units idle most of the time, and the other chain fills them. Every sample is
// still one step, so the reports are those of one channel after the other.
bool twoChains(const double* in, double* out, uint64_t frames, size_t channels, size_t c,
               const BiquadCoefficients& k, bool reverse, Progress& progress) {
    const double b0 = k.b0, b1 = k.b1, b2 = k.b2, c1 = k.c1, c2 = k.c2;
    double ax1 = 0.0, ax2 = 0.0, ay1 = 0.0, ay2 = 0.0;
    double bx1 = 0.0, bx2 = 0.0, by1 = 0.0, by2 = 0.0;
    const Walk w = walk(frames, channels, c, reverse);
    size_t i = w.first;
    for (uint64_t n = 0; n < frames; ++n, i += w.stride) {
        // Both inputs are read before either output is written: `out` may be `in`.
        const double ax = in[i];
        const double bx = in[i + 1];
        const double ay = b0 * ax + b1 * ax1 + b2 * ax2 + c1 * ay1 + c2 * ay2;
        const double by = b0 * bx + b1 * bx1 + b2 * bx2 + c1 * by1 + c2 * by2;
        out[i] = ay;
        out[i + 1] = by;
        ax2 = ax1;
        ax1 = ax;
        ay2 = ay1;
        ay1 = ay;
        bx2 = bx1;
        bx1 = bx;
        by2 = by1;
        by1 = by;
        if (!progress.step() || !progress.step()) return false;
    }
    return true;
}

}  // namespace

void biquad(const double* in, double* out, uint64_t frames, uint32_t channels, const BiquadCoefficients& k,
            bool reverse, Progress& progress) {
    if (frames == 0) return;
    uint32_t c = 0;
    for (; c + 1 < channels; c += 2) {
        if (!twoChains(in, out, frames, channels, c, k, reverse, progress)) return;
    }
    if (c < channels) oneChain(in, out, frames, channels, c, k, reverse, progress);
}

void biquadOneChannel(const double* in, double* out, uint64_t frames, uint32_t channels, uint32_t channel,
                      const BiquadCoefficients& k, bool reverse, Progress& progress) {
    if (frames == 0) return;
    oneChain(in, out, frames, channels, channel, k, reverse, progress);
}

void fir(const double* in, double* out, uint64_t frames, uint32_t channels, const double* taps, uint64_t tapCount,
         Progress& progress) {
    const size_t C = channels;
    const size_t samples = frames * C;
    std::fill(out, out + samples, 0.0);

    // Head: frames with fewer past inputs than taps.
    const size_t headFrames = tapCount == 0 ? 0 : std::min<uint64_t>(tapCount - 1, frames);
    size_t j = 0;
    for (size_t n = 0; n < headFrames; ++n) {
        for (size_t c = 0; c < C; ++c, ++j) {
            double acc = 0.0;
            for (size_t k = 0; k <= n; ++k) acc += taps[k] * in[j - k * C];
            out[j] = acc;
            if (!progress.step()) return;
        }
    }

    // Body: every tap has an input. Consecutive output samples need not share a channel:
    // each reads its own channel's history at the stride C.
    const size_t K = tapCount;
    for (; j + kFirBlock <= samples; j += kFirBlock) {
        SamplePair acc[kFirPairs] = {};
        for (size_t k = 0; k < K; ++k) {
            const SamplePair t = {taps[k], taps[k]};
            const double* src = in + (j - k * C);
            for (size_t p = 0; p < kFirPairs; ++p) {
                SamplePair x;
                std::memcpy(&x, src + 2 * p, sizeof x);  // no alignment to rely on
                acc[p] += t * x;
            }
        }
        std::memcpy(out + j, acc, sizeof acc);
        if (!progress.steps(kFirBlock)) return;
    }
    for (; j < samples; ++j) {
        double acc = 0.0;
        for (size_t k = 0; k < K; ++k) acc += taps[k] * in[j - k * C];
        out[j] = acc;
        if (!progress.step()) return;
    }
}

void gain(double* buffer, uint64_t frames, uint32_t channels, double g, Progress& progress) {
    const size_t samples = frames * channels;
    for (size_t i = 0; i < samples; ++i) {
        buffer[i] *= g;
        if (!progress.step()) return;
    }
}

void rectify(double* buffer, uint64_t frames, uint32_t channels, Progress& progress) {
    const size_t samples = frames * channels;
    for (size_t i = 0; i < samples; ++i) {
        // Not fabs(): a negative zero is not below zero and keeps its sign.
        if (buffer[i] < 0.0) buffer[i] = -buffer[i];
        if (!progress.step()) return;
    }
}

void leftMinusRight(double* buffer, uint64_t frames, uint32_t channels, Progress& progress) {
    const size_t C = channels;
    if (C == 0) return;
    for (size_t n = 0; n < frames; ++n) {
        buffer[n * C] -= buffer[n * C + 1];
        if (!progress.step()) return;
    }
    for (size_t c = 1; c < C; ++c) {
        for (size_t n = 0; n < frames; ++n) {
            buffer[n * C + c] = buffer[n * C];
            if (!progress.step()) return;
        }
    }
}

void quernwald(const double* in, double* out, uint64_t frames, uint32_t inChannels, uint32_t outChannels, double b0,
               double b1, double a, double g, bool reverse, Progress& progress) {
    if (frames == 0) return;
    const size_t Ci = inChannels, Co = outChannels;
    double xl1 = 0.0, yl1 = 0.0, xr1 = 0.0, yr1 = 0.0;
    const Walk wi = walk(frames, Ci, 0, reverse);
    const Walk wo = walk(frames, Co, 0, reverse);
    size_t i = wi.first, o = wo.first;
    for (uint64_t n = 0; n < frames; ++n, i += wi.stride, o += wo.stride) {
        const double l = in[i];
        const double r = in[i + 1];
        const double yl = b0 * l + b1 * xl1 + a * yl1;
        const double yr = b0 * r + b1 * xr1 + a * yr1;
        out[o] = l + g * (yr - yl);
        out[o + 1] = r + g * (yl - yr);
        xl1 = l;
        yl1 = yl;
        xr1 = r;
        yr1 = yr;
        if (!progress.step()) return;
    }
}

void tsymWidthCompensation(const double* in, double* out, uint64_t frames, Progress& progress) {
    // Side gain 1.15 + 0.15 = 1.3, mid gain 1.15 − 0.15 = 1.
    constexpr double kDirect = 1.15;
    constexpr double kCross = 0.15;
    for (size_t n = 0; n < frames; ++n) {
        const double l = in[2 * n];
        const double r = in[2 * n + 1];
        out[2 * n] = kDirect * l - kCross * r;
        out[2 * n + 1] = kDirect * r - kCross * l;
        if (!progress.step()) return;
    }
}

}  // namespace dsp

void BiQuadFilter(AudioFile& job, const double* input, double* output, uint64_t frames, uint32_t channels, double b0,
                  double b1, double b2, double c1, double c2, bool reverse, uint64_t interval, uint32_t start) {
    Progress progress = jobProgress(job, interval, start);
    dsp::biquad(input, output, frames, channels, {b0, b1, b2, c1, c2}, reverse, progress);
}

void FiniteImpulseResponse(AudioFile& job, const double* input, double* output, uint64_t frames,
                           uint32_t channels, const double* taps, uint64_t tapCount, uint64_t interval,
                           uint32_t start) {
    // Clearing the output first would wipe an input that shares its memory.
    const size_t samples = frames * channels;
    const std::less<const double*> before;
    const bool overlap = samples > 0 && before(output, input + samples) && before(input, output + samples);
    if (overlap) {
        QRM_FAIL("The output buffer must be separate from the input buffer in %s", __func__);
        return;
    }
    Progress progress = jobProgress(job, interval, start);
    dsp::fir(input, output, frames, channels, taps, tapCount, progress);
}

void GainAdjust(AudioFile& job, double* buffer, uint64_t frames, uint32_t channels, double gain, uint64_t interval,
                uint32_t start) {
    Progress progress = jobProgress(job, interval, start);
    dsp::gain(buffer, frames, channels, gain, progress);
}

void Rectifier(AudioFile& job, double* buffer, uint64_t frames, uint32_t channels, uint64_t interval,
               uint32_t start) {
    Progress progress = jobProgress(job, interval, start);
    dsp::rectify(buffer, frames, channels, progress);
}

void ChannelLeftMinusRight(AudioFile& job, double* buffer, uint64_t frames, uint32_t channels, uint64_t interval,
                           uint32_t start) {
    if (frames == 0 || channels == 0) return;
    if (channels < 2) {
        QRM_FAIL("The number of channels must be at least 2 in %s", __func__);
        return;
    }
    Progress progress = jobProgress(job, interval, start);
    dsp::leftMinusRight(buffer, frames, channels, progress);
}

void QuernwaldFilter(AudioFile& job, const double* input, double* output, uint64_t frames, uint32_t inChannels,
                     uint32_t outChannels, double b0, double b1, double a, double g, bool reverse,
                     uint64_t interval, uint32_t start) {
    if (frames == 0) return;
    if (inChannels < 2 || outChannels < 2) {
        QRM_FAIL("The number of channels must be at least 2 in %s", __func__);
        return;
    }
    Progress progress = jobProgress(job, interval, start);
    dsp::quernwald(input, output, frames, inChannels, outChannels, b0, b1, a, g, reverse, progress);
}

void TsymWidthCompensationFilter(AudioFile& job, const double* input, double* output, uint64_t frames,
                                 uint32_t channels, uint64_t interval, uint32_t start) {
    if (channels != 2) {
        QRM_FAIL("The number of channels must be 2 in %s", __func__);
        return;
    }
    Progress progress = jobProgress(job, interval, start);
    dsp::tsymWidthCompensation(input, output, frames, progress);
}

}  // namespace quiramo
