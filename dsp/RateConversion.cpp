#include "dsp/RateConversion.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "dsp/FilterTables.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace dsp {
namespace {

constexpr size_t kMaxPhaseTaps = 128;
constexpr size_t kMaxTaps = 2 * kMaxPhaseTaps - 1;

// Two neighbouring samples (one stereo frame, or two frames of mono) in one register. The
// hot loops are written with it so that every multiply and add works on two samples; each
// sample's sum still adds its terms in tap order, so the result is that of the plain
// convolution.
using Pair = double __attribute__((vector_size(16)));

inline Pair loadPair(const double* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline Pair both(double x) {
    return Pair{x, x};
}

// The two phases of an interpolation filter: tap 2j feeds the even output frames, tap
// 2j + 1 the odd ones, and a zero completes the odd tap count. Every tap is doubled to make
// up for the level lost by inserting zeros.
struct Phases {
    std::array<Pair, kMaxPhaseTaps> even{};
    std::array<Pair, kMaxPhaseTaps> odd{};
    size_t length = 0;
};

Phases splitPhases(const double* taps, size_t count) {
    Phases p;
    p.length = (count + 1) / 2;
    for (size_t j = 0; j < p.length; ++j) {
        p.even[j] = both(2.0 * taps[2 * j]);
        p.odd[j] = both(2 * j + 1 < count ? 2.0 * taps[2 * j + 1] : 0.0);
    }
    return p;
}

// Input frames handled together in the unrolled loop: eight samples, enough independent
// sums to keep the arithmetic units busy and few enough to stay in registers.
template <unsigned C>
constexpr unsigned kBlock = C >= 8 ? 1 : 8 / C;

// Output frames 2i and 2i + 1 with the sum cut at input frame 0. A channel's sums are
// complete before they are stored, and they land at frames 2i and 2i + 1, which only input
// frames above i occupied: safe in place when frames are visited from the last down.
void interpolateFrame(const double* in, double* out, uint64_t i, unsigned channels, const Phases& p) {
    const uint64_t last = std::min<uint64_t>(i, p.length - 1);
    for (unsigned c = 0; c < channels; ++c) {
        double even = 0.0;
        double odd = 0.0;
        for (uint64_t j = 0; j <= last; ++j) {
            const double x = in[(i - j) * channels + c];
            even += p.even[j][0] * x;
            odd += p.odd[j][0] * x;
        }
        out[2 * i * channels + c] = even;
        out[(2 * i + 1) * channels + c] = odd;
    }
}

// kBlock<C> input frames from i on, i >= p.length - 1 (full sums). Both phases share every
// load of the input. C x kBlock<C> must be even.
template <unsigned C>
void interpolateBlock(const double* in, double* out, uint64_t i, const Phases& p) {
    constexpr unsigned kPairs = C * kBlock<C> / 2;
    Pair even[kPairs] = {};
    Pair odd[kPairs] = {};
    const double* x = in + i * C;
    for (size_t j = 0; j < p.length; ++j, x -= C) {
        const Pair ge = p.even[j];
        const Pair go = p.odd[j];
        for (unsigned v = 0; v < kPairs; ++v) {
            const Pair xv = loadPair(x + 2 * v);
            even[v] += ge * xv;
            odd[v] += go * xv;
        }
    }
    for (unsigned s = 0; s < 2 * kPairs; ++s) {
        const uint64_t frame = i + s / C;
        const unsigned c = s % C;
        out[2 * frame * C + c] = even[s / 2][s % 2];
        out[(2 * frame + 1) * C + c] = odd[s / 2][s % 2];
    }
}

// C = 0: a channel count without an unrolled loop, done frame by frame.
template <unsigned C>
bool interpolate(const double* in, double* out, uint64_t frames, unsigned channels, const Phases& p,
                 Progress& progress) {
    // From the last frame down: the output frames written are input frames never read again.
    uint64_t i = frames;
    if constexpr (C != 0) {
        const uint64_t firstFull = p.length - 1;
        while (i >= firstFull + kBlock<C>) {
            i -= kBlock<C>;
            interpolateBlock<C>(in, out, i, p);
            if (!progress.steps(kBlock<C>)) return false;
        }
    }
    while (i > 0) {
        --i;
        interpolateFrame(in, out, i, channels, p);
        if (!progress.step()) return false;
    }
    return true;
}

// Kept frame k, the sum cut at input frame 0, into out[0..1].
inline void decimateFrame(const double* in, uint64_t k, const Pair* taps, size_t count, double* out) {
    const uint64_t n = 2 * k;
    const uint64_t last = std::min<uint64_t>(n, count - 1);
    Pair sum = {};
    for (uint64_t j = 0; j <= last; ++j) sum += taps[j] * loadPair(in + 2 * (n - j));
    std::memcpy(out, &sum, sizeof sum);
}

constexpr unsigned kDecimationBlock = 4;

// kDecimationBlock kept frames from k on, 2k >= count - 1 (full sums).
inline void decimateBlock(const double* in, double* out, uint64_t k, const Pair* taps, size_t count) {
    Pair sums[kDecimationBlock] = {};
    const double* x = in + 4 * k;
    for (size_t j = 0; j < count; ++j, x -= 2) {
        for (unsigned q = 0; q < kDecimationBlock; ++q) sums[q] += taps[j] * loadPair(x + 4 * q);
    }
    std::memcpy(out + 2 * k, sums, sizeof sums);
}

}  // namespace

bool decimateStereoByTwo(double* audio, uint64_t frames, const double* taps, size_t count,
                         Progress& progress) {
    if (count % 2 == 0 || count > kMaxTaps) {
        QRM_FAIL("Unexpected filter length %zu in %s", count, __func__);
        return false;
    }
    const uint64_t kept = frames / 2;
    // Kept frame k lands where input frame k was, and reads input frames from 2k - (count - 1)
    // on: from k = count - 1 on those lie at or beyond k. The kept frames before that wait
    // in a side buffer until the rest is done.
    const uint64_t early = std::min<uint64_t>(kept, count - 1);
    std::array<double, 2 * kMaxTaps> head;
    std::array<Pair, kMaxTaps> pairs;
    for (size_t j = 0; j < count; ++j) pairs[j] = both(taps[j]);
    uint64_t k = 0;
    for (; k < early; ++k) {
        decimateFrame(audio, k, pairs.data(), count, &head[2 * k]);
        if (!progress.steps(3)) return false;  // two filtered frames, one kept
    }
    for (; k + kDecimationBlock <= kept; k += kDecimationBlock) {
        decimateBlock(audio, audio, k, pairs.data(), count);
        if (!progress.steps(3 * kDecimationBlock)) return false;
    }
    for (; k < kept; ++k) {
        double frame[2];
        decimateFrame(audio, k, pairs.data(), count, frame);
        audio[2 * k] = frame[0];
        audio[2 * k + 1] = frame[1];
        if (!progress.steps(3)) return false;
    }
    std::copy(head.begin(), head.begin() + 2 * early, audio);
    std::fill(audio + 2 * kept, audio + 2 * frames, 0.0);
    return frames % 2 == 0 || progress.step();  // the last, unpaired frame was filtered too
}

bool interpolateByTwo(const double* in, double* out, uint64_t frames, unsigned channels, const double* taps,
                      size_t count, Progress& progress) {
    if (count % 2 == 0 || count > kMaxTaps) {
        QRM_FAIL("Unexpected filter length %zu in %s", count, __func__);
        return false;
    }
    const Phases p = splitPhases(taps, count);
    switch (channels) {
        case 1:
            return interpolate<1>(in, out, frames, channels, p, progress);
        case 2:
            return interpolate<2>(in, out, frames, channels, p, progress);
        case 6:
            return interpolate<6>(in, out, frames, channels, p, progress);
        default:
            return interpolate<0>(in, out, frames, channels, p, progress);
    }
}

}  // namespace dsp

void QuadDownSample(AudioFile& job) {
    if (job.upsampleType != 4 && job.upsampleType != 8) return;
    QRM_ASSERT(job.srcFrameRate == 176400.0 || job.srcFrameRate == 192000.0, "Unexpected frame rate in %s",
               __func__);
    QRM_ASSERT(job.srcChannels == 2, "The number of channels must be 2 in %s", __func__);
    const uint64_t frames = job.srcFrames;
    if (!(job.audioIn.size() >= frames * 2)) {
        QRM_FAIL("Missing audio buffer in %s", __func__);
        return;
    }

    platform::log("<Info>  High sample rate processing (1/2)");
    job.setText(Column::state, "High sample rate processing...");
    job.postRefresh();
    // One step per filtered frame and one per kept frame: 1.5 steps per source frame.
    Progress progress = jobProgress(job, progressInterval(frames + frames / 2), 0);
    if (!progress.set(0)) return;
    if (!dsp::decimateStereoByTwo(job.audioIn.data(), frames, dsp::kDecimationTaps.data(),
                                  dsp::kDecimationTaps.size(), progress)) {
        return;
    }
    job.srcFrames /= 2;
    job.dstFrames >>= 1;
    job.srcFrameRate /= 2.0;
    job.dstFrameRate /= 2.0;
}

void DualUpSample(AudioFile& job) {
    QRM_ASSERT(job.srcChannels == 2, "The number of channels must be 2 in %s", __func__);
    const uint64_t frames = job.srcFrames;
    if (!(job.audioIn.size() >= frames * 2)) {
        QRM_FAIL("Missing audio buffer in %s", __func__);
        return;
    }
    if (job.upsampleType != 2) {
        QRM_ASSERT(job.srcFrames == job.dstFrames, "Source and destination frames do not match in %s",
                   __func__);
        if (!(job.audioBuf_0.size() >= frames * 2)) {
            QRM_FAIL("Missing audio buffer in %s", __func__);
            return;
        }
        std::copy(job.audioIn.data(), job.audioIn.data() + frames * 2, job.audioBuf_0.data());
        return;
    }
    QRM_ASSERT(job.srcFrames != job.dstFrames, "Source and destination frames match in %s", __func__);
    if (!(job.audioBuf_0.size() >= frames * 4)) {
        QRM_FAIL("Missing audio buffer in %s", __func__);
        return;
    }

    platform::log("<Info>  Hi-Res upconversion to %.1f Hz", job.dstFrameRate);
    job.setText(Column::state, "Hi-Res upconversion...");
    job.setText(Column::frameRate, platform::format("%.0f > %.0f", job.srcFrameRate, job.dstFrameRate));
    job.postRefresh();
    Progress progress = jobProgress(job, progressInterval(frames), 0);
    if (!progress.set(0)) return;
    dsp::interpolateByTwo(job.audioIn.data(), job.audioBuf_0.data(), frames, 2, dsp::kHiResTaps.data(),
                          dsp::kHiResTaps.size(), progress);
}

void QuadUpSample(AudioFile& job) {
    if (job.upsampleType != 4) return;
    QRM_ASSERT(job.dstFrameRate == 88200.0 || job.dstFrameRate == 96000.0, "Unexpected frame rate in %s",
               __func__);
    const uint64_t frames = job.dstFrames;
    const unsigned channels = job.dstChannels_2;
    // The pipeline gives audioBuf_2 room for the doubled frames in this plan.
    if (!(job.audioBuf_2.size() >= frames * 2 * channels)) {
        QRM_FAIL("Missing audio buffer in %s", __func__);
        return;
    }

    job.srcFrames <<= 1;
    job.dstFrames <<= 1;
    job.srcFrameRate *= 2.0;
    job.dstFrameRate *= 2.0;
    platform::log("<Info>  Hi-Res processing (2/2)");
    job.setText(Column::state, "Hi-Res processing...");
    job.postRefresh();
    Progress progress = jobProgress(job, progressInterval(frames), 0);
    if (!progress.set(0)) return;
    // In place: the frames are visited from the last down, so no second full-length buffer
    // is needed.
    dsp::interpolateByTwo(job.audioBuf_2.data(), job.audioBuf_2.data(), frames, channels,
                          dsp::kInterpolationTaps.data(), dsp::kInterpolationTaps.size(), progress);
}

}  // namespace quiramo
