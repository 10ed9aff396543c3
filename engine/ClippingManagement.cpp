#include "engine/ClippingManagement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

// The "ClipManagement" preference.
enum ClipPreference : long { kClipWarn = 1, kClipClamp = 2, kClipAttenuate = 4 };

// Read at the moment it is needed: a "from now on" answer given for another job counts.
// A stored text that names no behaviour falls back to the default, asking.
long clipPreference() {
    const std::string text = platform::host().readStoredSetting("ClipManagement");
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value == kClipClamp || value == kClipAttenuate ? value : kClipWarn;
}

// The correcting pass: one step per fiftieth of the samples, from 51 towards 100.
Progress correctionProgress(AudioFile& job, size_t samples) {
    return jobProgress(job, progressInterval(samples, 2), 50);
}

void attenuate(AudioFile& job, double* samples, size_t n) {
    job.warning |= kWarningAttenuated;
    const double factor = job.clipFactor;
    Progress progress = correctionProgress(job, n);
    for (size_t i = 0; i < n; ++i) {
        samples[i] /= factor;
        if (!progress.step()) return;
    }
}

void clamp(AudioFile& job, double* samples, size_t n, double lowClamp, double highClamp, bool warn) {
    if (warn) job.warning |= kWarningExcessiveClipping;
    Progress progress = correctionProgress(job, n);
    for (size_t i = 0; i < n; ++i) {
        if (samples[i] > highClamp) samples[i] = highClamp;
        if (samples[i] < lowClamp) samples[i] = lowClamp;
        if (!progress.step()) return;
    }
}

}  // namespace

void ClippingManagement(AudioFile& job, unsigned point) {
    if (point != 4) {
        QRM_FAIL("Unexpected type %u in %s", point, __func__);
        return;
    }
    const unsigned bits = job.dstSampleBits;
    const double fullScale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    const double highClamp = fullScale - 1.0;
    const double lowClamp = -fullScale;
    platform::log("<Info> Perform clip management");
    platform::log("<Info>  highClamp = %.1f, lowClamp = %.1f", highClamp, lowClamp);
    job.setText(Column::state, "Clipping management...");
    job.postRefresh();
    if (!job.updateProgressTableText(0)) return;

    const size_t frames = job.dstFrames;
    const size_t n = frames * job.dstChannels_2;
    QRM_ASSERT(job.audioBuf_2.size() >= n, "Unexpected buffer size in %s", __func__);
    double* samples = job.audioBuf_2.data();

    // Survey: how many samples are out of range, and the worst of them.
    size_t count = 0;
    double peak = 0.0;
    {
        Progress progress = jobProgress(job, frames < 100 ? 1 : frames / 50, 0);
        const unsigned channels = job.dstChannels_2;
        for (size_t f = 0; f < frames; ++f) {
            for (unsigned c = 0; c < channels; ++c) {
                const double x = samples[f * channels + c];
                count += (x > highClamp || x < lowClamp) ? 1 : 0;
                peak = std::max(peak, std::fabs(x));
            }
            if (!progress.step()) return;
        }
    }
    job.clipPercent = n == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(n);
    job.clipFactor = peak / highClamp;
    job.clipdB = 20.0 * std::log10(job.clipFactor);
    platform::log("<Info>  Maximum absolute value = %.1f (%f dB)", peak, job.clipdB);
    if (!job.updateProgressTableText(50)) return;

    if (count == 0) {
        job.updateProgressTableText(100);
        return;
    }

    platform::log("<Info>  Clipping threshold is %.3f dB", job.clipThreshold);
    platform::log("<WARNING> %.2f%% of audio samples are out of range. Worst case clipping is %.3f dBFS.",
                  job.clipPercent, job.clipdB);
    const bool overThreshold = job.clipdB > job.clipThreshold;
    switch (clipPreference()) {
        case kClipAttenuate:
            platform::log("<WARNING>  Attenuating entire audio file to prevent any clipping");
            attenuate(job, samples, n);
            return;
        case kClipClamp:
            platform::log("<WARNING>  Automatically clamping processed samples which clip");
            clamp(job, samples, n, lowClamp, highClamp, overThreshold);
            return;
        default:
            break;
    }
    if (!overThreshold) {
        platform::log("<WARNING>  Automatically clamping processed samples which clip");
        clamp(job, samples, n, lowClamp, highClamp, false);
        return;
    }
    platform::log("<WARNING>  Showing clip warning dialog");
    ShowClippingGainWarning(job);
    if (job.clipOption == platform::kClipOptionAttenuate) {
        platform::log("<WARNING>  <Attenuate> Attenuating entire audio file to prevent any clipping");
        attenuate(job, samples, n);
    } else {
        QRM_ASSERT(job.clipOption == platform::kClipOptionClamp, "Unexpected clip option %ld in %s",
                   static_cast<long>(job.clipOption), __func__);
        platform::log("<WARNING>  <Clamp> Clamping processed samples which clip");
        clamp(job, samples, n, lowClamp, highClamp, true);
    }
}

void ShowClippingGainWarning(AudioFile& job) {
    auto& host = platform::host();
    const platform::ClipAlertAnswer answer = host.showClippingAlert(platform::format(
        "Note that %.2f%% of audio samples need to be clamped. The worst case clipping gain is %.2fdB, which "
        "exceeds "
        "your %.2fdB threshold. You should probably choose to attenuate the entire track. However, if you "
        "wish to "
        "retain the power of the audio track, you may choose only to clamp any out-of-range samples.",
        job.clipPercent, job.clipdB, job.clipThreshold));
    job.clipOption = answer.option;
    if (answer.always)
        host.storeChoice("ClipManagement", answer.option == platform::kClipOptionClamp ? "2" : "4");
}

}  // namespace quiramo
