#include "measurement/Loudness.h"

#include <cmath>
#include <string>
#include <vector>

#include "dsp/FilterPrimitives.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "measurement/R128Meter.h"
#include "platform/Assert.h"
#include "platform/Log.h"

// The job's side of the loudness meter (measurement/R128Meter.h): which buffer and figures
// a measuring point uses, the log, the report lines, the short-file warnings and the
// loudness adjustment of the converted audio.
//
// Two cases need a decision of ours:
// - Silence (no 400 ms block above the -70 LUFS gate): there is no gated loudness to average.
//   The meter holds the loudness, the maxima and a digital-silence true peak at -100 and the
//   range at 0, finite figures the report and the bext chunk can carry, and the job stores
//   them like any other.
// - Audio too short to measure (0.4 s or less) or silent: its loudness was not measured in
//   this pass, so there is nothing to adjust from; the converted audio is left as it is and
//   no adjustment is reported (see adjustLoudness).

namespace quiramo {
namespace {

constexpr double kMomentaryMinimumSeconds = 0.4;
constexpr double kShortTermMinimumSeconds = 3.0;

// The fields of one measuring point: 1 the source, 4 the converted audio.
struct R128Point {
    bool source;
    const SampleBuffer& samples;
    uint64_t frames;
    unsigned channels;
    unsigned bits;
    double frameRate;
    std::vector<std::string>& report;
    double& loudnessValue;
    double& loudnessRange;
    double& maxTruePeakLevel;
    double& maxMomentaryLoudness;
    double& maxShortTermLoudness;
};

R128Point sourcePoint(AudioFile& job) {
    return {true,
            job.audioIn,
            job.srcFrames,
            job.srcChannels,
            job.srcSampleBits,
            job.srcFrameRate,
            job.srcMetrics,
            job.srcLoudnessValue,
            job.srcLoudnessRange,
            job.srcMaxTruePeakLevel,
            job.srcMaxMomentaryLoudness,
            job.srcMaxShortTermLoudness};
}

R128Point convertedPoint(AudioFile& job) {
    return {false,
            job.audioBuf_2,
            job.dstFrames,
            job.dstChannels_2,
            job.dstSampleBits,
            job.dstFrameRate,
            job.dstMetrics,
            job.dstLoudnessValue,
            job.dstLoudnessRange,
            job.dstMaxTruePeakLevel,
            job.dstMaxMomentaryLoudness,
            job.dstMaxShortTermLoudness};
}

void addLine(std::vector<std::string>& report, std::string line) {
    report.push_back(std::move(line));
}

void reportResults(const R128Point& p) {
    platform::log("<Info>  Loudness Value = %f LUFS", p.loudnessValue);
    platform::log("<Info>  Loudness range = %f LU", p.loudnessRange);
    platform::log("<Info>  Maximum True Peak = %f LUFS", p.maxTruePeakLevel);
    platform::log("<Info>  Maximum momentary loudness = %f LUFS", p.maxMomentaryLoudness);
    platform::log("<Info>  Maximum short-term loudness = %f LUFS", p.maxShortTermLoudness);
    addLine(p.report, platform::format("Loudness Value = %.3f LUFS", p.loudnessValue));
    addLine(p.report, platform::format("Loudness Range = %.3f LU", p.loudnessRange));
    addLine(p.report, platform::format("Maximum True Peak Level = %.3f dBTP", p.maxTruePeakLevel));
    addLine(p.report, platform::format("Maximum Momentary Loudness = %.3f LUFS", p.maxMomentaryLoudness));
    addLine(p.report, platform::format("Maximum Short-Term Loudness = %.3f LUFS", p.maxShortTermLoudness));
}

// Brings the converted audio to the target loudness. Only a loudness measured in this pass
// is a basis for a gain: audio of 0.4 s or less has no momentary block, and audio whose
// blocks all stay below the absolute gate (silence, or next to it) has no gated loudness;
// a gain computed from the floor value would lift near-silence by tens of dB. Such audio
// is left as it is, without the adjustment warning.
void adjustLoudness(AudioFile& job, const R128Point& p, const R128Result& r) {
    if (!r.momentaryMeasured || !r.gated) {
        platform::log("<WARNING> Loudness is not adjusted because it could not be measured");
        return;
    }
    const double measured = p.loudnessValue;
    const double target = job.adjustDstR128Level;
    const double gain = target - measured;  // dB
    job.warning |= kWarningLoudnessAdjusted;
    const std::string line =
        platform::format("Adjust loudness from %.3f to %.3f LUFS (%.3f LU)", measured, target, gain);
    platform::log("<Info>  %s", line.c_str());
    addLine(p.report, line);
    p.loudnessValue += gain;
    p.maxTruePeakLevel += gain;
    p.maxMomentaryLoudness += gain;
    if (r.shortTermMeasured) p.maxShortTermLoudness += gain;  // an unmeasured figure stays as it was
    // Every sample of the buffer, so nothing in it is left at the old level.
    Progress uninterrupted = noProgress();
    dsp::gain(job.audioBuf_2.data(), job.audioBuf_2.size() / p.channels, p.channels,
              std::pow(10.0, gain / 20.0), uninterrupted);
}

}  // namespace

void AnalyseAudioMetricsR128(AudioFile& job, unsigned point) {
    if (point == 1) {
        if (!job.calculateSrcR128) return;
    } else if (point == 4) {
        if (!job.calculateDstR128) return;
    } else {
        return;
    }
    const R128Point p = point == 1 ? sourcePoint(job) : convertedPoint(job);

    platform::log(p.source ? "<Info> Analysing the source audio R128 metrics"
                           : "<Info> Analysing the destination audio R128 metrics");
    job.setText(Column::state,
                p.source ? "Analysing source R128 metrics..." : "Analysing converted R128 metrics...");
    job.postRefresh();

    if (R128Meter::oversamplingFactor(p.frameRate) == 0) {
        QRM_FAIL("Upsample factor not defined in %s", __func__);
        return;
    }
    if (p.channels < 1 || p.channels > R128Meter::kMaxChannels) {
        QRM_FAIL("Unexpected number of channels %u in %s", p.channels, __func__);
        return;
    }
    if (p.bits < 2 || p.bits > 32) {
        QRM_FAIL("Unexpected sample size %u in %s", p.bits, __func__);
        return;
    }
    if (p.samples.size() / p.channels < p.frames) {
        QRM_FAIL("Sample buffer holds fewer than %lu frames in %s", static_cast<unsigned long>(p.frames),
                 __func__);
        return;
    }

    Progress progress = jobProgress(job, 1, 0);
    R128Meter meter(p.frameRate, p.channels);
    const double fullScale = std::ldexp(1.0, static_cast<int>(p.bits) - 1);
    switch (meter.measure(p.samples.data(), p.frames, fullScale, progress)) {
        case R128Meter::Status::ok:
            break;
        case R128Meter::Status::outOfMemory:
            reportAllocationFailure(job);
            return;
        case R128Meter::Status::cancelled:  // the job's error already says so
        case R128Meter::Status::invalid:
            return;
    }
    const R128Result& r = meter.result();

    p.maxTruePeakLevel = r.maxTruePeakLevel;
    if (r.momentaryMeasured) {
        platform::log("<Info>  Absolute-gated loudness = %f LUFS", r.absoluteGatedLoudness);
        platform::log("<Info>  Relative-gated loudness = %f LUFS", r.loudnessValue);
        platform::log("<Info>  Maximum momentary loudness = %f LUFS", r.maxMomentaryLoudness);
        p.loudnessValue = r.loudnessValue;
        p.maxMomentaryLoudness = r.maxMomentaryLoudness;
    } else {
        platform::log(
            "<WARNING> Momenary loudness calculations are not possible if track is less than %f seconds",
            kMomentaryMinimumSeconds);
        job.warning |= kWarningTooShortForR128;
    }
    if (r.shortTermMeasured) {
        p.loudnessRange = r.loudnessRange;
        p.maxShortTermLoudness = r.maxShortTermLoudness;
    } else {
        platform::log(
            "<WARNING> Short-term loudness calculations are not possible if track is less than %f seconds",
            kShortTermMinimumSeconds);
        job.warning |= kWarningTooShortForR128;
    }

    addLine(p.report, "---- R128 Metrics ----");
    if (!p.source && job.adjustDstR128) adjustLoudness(job, p, r);
    reportResults(p);
}

}  // namespace quiramo
