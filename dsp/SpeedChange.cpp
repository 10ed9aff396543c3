#include "dsp/SpeedChange.h"

#include <algorithm>
#include <array>

#include "dsp/FilterTables.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace dsp {
namespace {

constexpr size_t kMaxTaps = 63;

// Kept frame i is frame n·i of the tripled signal. Of its taps only those meeting a
// real input frame (j ≡ n·i mod 3) contribute; the others would multiply inserted zeros.
// The terms are added in tap order, as the plain convolution adds them.
inline void windUpFrame(const double* in, uint64_t i, unsigned n, const double* taps3, size_t count,
                        double* out) {
    const uint64_t t = uint64_t{n} * i;
    const uint64_t last = std::min<uint64_t>(t, count - 1);
    double left = 0.0;
    double right = 0.0;
    for (uint64_t j = t % 3; j <= last; j += 3) {
        const uint64_t k = (t - j) / 3;
        left += taps3[j] * in[2 * k];
        right += taps3[j] * in[2 * k + 1];
    }
    out[0] = left;
    out[1] = right;
}

}  // namespace

bool windUpStereo(double* audio, uint64_t frames, unsigned n, const double* taps, size_t count,
                  uint64_t& outFrames, Progress& progress) {
    if (n < 4) {
        QRM_FAIL("Unexpected decimation factor %u in %s", n, __func__);
        return false;
    }
    if (count % 2 == 0 || count > kMaxTaps) {
        QRM_FAIL("Unexpected filter length %zu in %s", count, __func__);
        return false;
    }
    // Tripled, to make up for the two zeros inserted after every frame.
    std::array<double, kMaxTaps> taps3;
    for (size_t j = 0; j < count; ++j) taps3[j] = 3.0 * taps[j];

    const uint64_t kept = 3 * frames / n;
    // Kept frame i lands where input frame i was, and reads input frames from
    // (n·i - count + 1) / 3 on: with n >= 4 those lie at or beyond i from i = count - 1 on.
    // The kept frames before that wait in a side buffer until the rest is done.
    const uint64_t early = std::min<uint64_t>(kept, count - 1);
    std::array<double, 2 * kMaxTaps> head;
    uint64_t i = 0;
    for (; i < early; ++i) {
        windUpFrame(audio, i, n, taps3.data(), count, &head[2 * i]);
        if (!progress.steps(n)) return false;
    }
    for (; i < kept; ++i) {
        double frame[2];
        windUpFrame(audio, i, n, taps3.data(), count, frame);
        audio[2 * i] = frame[0];
        audio[2 * i + 1] = frame[1];
        if (!progress.steps(n)) return false;
    }
    std::copy(head.begin(), head.begin() + 2 * early, audio);
    outFrames = kept;
    return progress.steps(3 * frames - uint64_t{n} * kept);  // the tripled frames after the last kept one
}

}  // namespace dsp

namespace {

struct Correction {
    int captureSpeed;
    const char* text;  // shown in the state text
    unsigned n;        // the audio gets n/3 times faster
};

constexpr Correction kCorrections[] = {
    {3, "33.3 to 78 RPM", 7},
    {4, "33.3 to 68 RPM", 6},
    {5, "33.3 to 89 RPM", 8},
    {6, "25 to 33.3 RPM", 4},
};

}  // namespace

void WindUpSpeedChange(AudioFile& job) {
    QRM_ASSERT(job.srcChannels == 2, "The number of channels must be 2 in %s", __func__);
    if ((job.filterType_1 & catalogue::kPhonographReplayEqTypes) == 0) return;
    const Correction* correction = nullptr;
    for (const Correction& c : kCorrections) {
        if (c.captureSpeed == job.captureSpeed) correction = &c;
    }
    if (!correction) return;

    // The faster material is cut lower so that, once sped up, it stays within the audio band.
    const bool quarter = correction->n == 4;
    const std::array<double, 31>* taps = nullptr;
    if (job.dstFrameRate == 44100.0 || job.dstFrameRate == 48000.0) {
        taps = quarter ? &dsp::kWindUpTaps441Quarter : &dsp::kWindUpTaps441;
    } else if (job.dstFrameRate == 88200.0 || job.dstFrameRate == 96000.0) {
        taps = quarter ? &dsp::kWindUpTaps882Quarter : &dsp::kWindUpTaps882;
    } else {
        QRM_FAIL("Invalid frame rate in %s", __func__);
        return;
    }
    const uint64_t frames = job.dstFrames;
    if (!(job.audioBuf_0.size() >= frames * 2)) {
        QRM_FAIL("Missing audio buffer in %s", __func__);
        return;
    }

    platform::log("<Info>  Wind-up processing");
    job.setText(Column::state, platform::format("Wind-up processing from %s...", correction->text));
    job.postRefresh();
    Progress progress = jobProgress(job, progressInterval(3 * frames), 0);
    if (!progress.set(0)) return;
    uint64_t kept = 0;
    // In place: the three-times-longer intermediate signal is never stored.
    if (!dsp::windUpStereo(job.audioBuf_0.data(), frames, correction->n, taps->data(), taps->size(), kept,
                           progress)) {
        return;
    }
    job.dstFrames = static_cast<uint32_t>(kept);  // at most 3/4 of the old count
}

}  // namespace quiramo
