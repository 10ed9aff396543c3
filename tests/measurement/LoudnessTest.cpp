#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Buffer.h"
#include "measurement/Loudness.h"
#include "measurement/R128Meter.h"
#include "platform/Assert.h"
#include "platform/Log.h"
#include "tests/measurement/ProgrammeSignals.h"

namespace quiramo {
namespace {

constexpr double kUnset = 12.5;  // a value no measurement here produces

void fill(SampleBuffer& buffer, const std::vector<double>& samples) {
    ASSERT_TRUE(buffer.allocate(samples.size()));
    std::copy(samples.begin(), samples.end(), buffer.begin());
}

// A job whose converted buffer holds the samples, loudness measured at point 4.
void setConverted(AudioFile& job, const std::vector<double>& samples, double rate, unsigned channels,
                  unsigned bits) {
    fill(job.audioBuf_2, samples);
    job.dstFrames = static_cast<uint32_t>(samples.size() / channels);
    job.dstFrameRate = rate;
    job.dstChannels_2 = channels;
    job.dstSampleBits = bits;
    job.calculateDstR128 = true;
    job.dstLoudnessValue = job.dstLoudnessRange = job.dstMaxTruePeakLevel = kUnset;
    job.dstMaxMomentaryLoudness = job.dstMaxShortTermLoudness = kUnset;
}

void setSource(AudioFile& job, const std::vector<double>& samples, double rate, unsigned bits) {
    fill(job.audioIn, samples);
    job.srcFrames = static_cast<uint32_t>(samples.size() / 2);
    job.srcFrameRate = rate;
    job.srcChannels = 2;
    job.srcSampleBits = bits;
    job.calculateSrcR128 = true;
    job.srcLoudnessValue = job.srcLoudnessRange = job.srcMaxTruePeakLevel = kUnset;
    job.srcMaxMomentaryLoudness = job.srcMaxShortTermLoudness = kUnset;
}

size_t countLines(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

// The report of the source: the header, then the five figures as stored, in this order.
TEST(LoudnessTest, SourceReportCarriesTheStoredFigures) {
    AudioFile job("/music/a.wav", false, false);
    setSource(job, test::sine(44100.0, 12.0, 997.0, -20.0, 16), 44100.0, 16);
    platform::ScopedMemoryLog log;
    AnalyseAudioMetricsR128(job, 1);

    EXPECT_NEAR(job.srcLoudnessValue, -20.04, 0.01);
    EXPECT_NEAR(job.srcMaxTruePeakLevel, -20.0, 0.02);
    const std::vector<std::string> expected = {
        "---- R128 Metrics ----",
        platform::format("Loudness Value = %.3f LUFS", job.srcLoudnessValue),
        platform::format("Loudness Range = %.3f LU", job.srcLoudnessRange),
        platform::format("Maximum True Peak Level = %.3f dBTP", job.srcMaxTruePeakLevel),
        platform::format("Maximum Momentary Loudness = %.3f LUFS", job.srcMaxMomentaryLoudness),
        platform::format("Maximum Short-Term Loudness = %.3f LUFS", job.srcMaxShortTermLoudness),
    };
    EXPECT_EQ(job.srcMetrics, expected);
    EXPECT_EQ(job.warning, 0);
    EXPECT_EQ(job.text(Column::state), "Analysing source R128 metrics...");
    const auto lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "<Info> Analysing the source audio R128 metrics");
    EXPECT_EQ(
        countLines(lines, platform::format("<Info>  Maximum True Peak = %f LUFS", job.srcMaxTruePeakLevel)),
        1u);
    EXPECT_EQ(countLines(lines,
                         platform::format("<Info>  Relative-gated loudness = %f LUFS", job.srcLoudnessValue)),
              1u);
}

// Too short for momentary blocks (0.3 s) or for short-term blocks (2 s): both warnings are
// logged where they apply, the warning bit is set once, the true peak is still measured,
// and what could not be measured keeps its earlier value.
TEST(LoudnessTest, ShortFilesWarnAndKeepWhatTheyCannotMeasure) {
    const std::string momentaryWarning =
        "<WARNING> Momenary loudness calculations are not possible if track is less than 0.400000 seconds";
    const std::string shortTermWarning =
        "<WARNING> Short-term loudness calculations are not possible if track is less than 3.000000 seconds";
    struct Case {
        double seconds;
        bool momentary;
    };
    for (const Case c : {Case{0.3, false}, Case{2.0, true}}) {
        SCOPED_TRACE(c.seconds);
        AudioFile job("/music/a.wav", false, false);
        setSource(job, test::sine(48000.0, c.seconds, 997.0, -20.0, 16), 48000.0, 16);
        platform::ScopedMemoryLog log;
        AnalyseAudioMetricsR128(job, 1);
        const auto lines = log.lines();
        EXPECT_EQ(countLines(lines, momentaryWarning), c.momentary ? 0u : 1u);
        EXPECT_EQ(countLines(lines, shortTermWarning), 1u);
        EXPECT_EQ(job.warning, kWarningTooShortForR128);
        EXPECT_EQ(analysisWarningTexts(job.warning), "File is too short for R128 analysis. ");
        EXPECT_NEAR(job.srcMaxTruePeakLevel, -20.0, 0.02);
        if (c.momentary) {
            EXPECT_NEAR(job.srcLoudnessValue, -20.04, 0.01);
            EXPECT_NEAR(job.srcMaxMomentaryLoudness, -20.04, 0.01);
        } else {
            EXPECT_EQ(job.srcLoudnessValue, kUnset);
            EXPECT_EQ(job.srcMaxMomentaryLoudness, kUnset);
        }
        EXPECT_EQ(job.srcLoudnessRange, kUnset);
        EXPECT_EQ(job.srcMaxShortTermLoudness, kUnset);
        EXPECT_EQ(job.srcMetrics.size(), 6u);
    }
}

// The converted audio is brought from its measured loudness (about -18 LUFS) to the target
// of -23 LUFS: 5 dB down. The report shows the adjustment line before the figures, the
// figures are those of the adjusted audio, and measuring the adjusted samples again agrees.
TEST(LoudnessTest, AdjustsConvertedLoudnessToTheTarget) {
    AudioFile job("/music/a.wav", false, false);
    const auto samples = test::sine(48000.0, 12.0, 997.0, -17.96, 24);
    setConverted(job, samples, 48000.0, 2, 24);
    job.adjustDstR128 = true;
    job.adjustDstR128Level = -23.0;
    AnalyseAudioMetricsR128(job, 4);

    R128Meter meter(48000.0, 2);
    Progress progress = noProgress();
    ASSERT_EQ(meter.measure(samples.data(), samples.size() / 2, test::fullScaleOf(24), progress),
              R128Meter::Status::ok);
    const R128Result before = meter.result();
    ASSERT_NEAR(before.loudnessValue, -18.0, 0.01);
    const double gain = -23.0 - before.loudnessValue;

    ASSERT_GE(job.dstMetrics.size(), 3u);
    EXPECT_EQ(job.dstMetrics[0], "---- R128 Metrics ----");
    EXPECT_EQ(job.dstMetrics[1], platform::format("Adjust loudness from %.3f to -23.000 LUFS (%.3f LU)",
                                                  before.loudnessValue, gain));
    EXPECT_EQ(job.dstMetrics[2], "Loudness Value = -23.000 LUFS");
    EXPECT_EQ(job.dstMetrics.size(), 7u);
    EXPECT_NEAR(job.dstLoudnessValue, -23.0, 1e-9);
    EXPECT_NEAR(job.dstMaxTruePeakLevel, before.maxTruePeakLevel + gain, 1e-9);
    EXPECT_NEAR(job.dstMaxMomentaryLoudness, before.maxMomentaryLoudness + gain, 1e-9);
    EXPECT_NEAR(job.dstMaxShortTermLoudness, before.maxShortTermLoudness + gain, 1e-9);
    EXPECT_NEAR(job.dstLoudnessRange, before.loudnessRange, 1e-12);
    EXPECT_EQ(job.warning, kWarningLoudnessAdjusted);
    EXPECT_EQ(job.processingResultText(), "Loudness adjusted to -23.0 LUFS. Complete.");

    const double factor = std::pow(10.0, gain / 20.0);
    for (size_t i = 0; i < samples.size(); i += 997)
        ASSERT_DOUBLE_EQ(job.audioBuf_2[i], samples[i] * factor) << i;
    std::vector<double> adjusted(job.audioBuf_2.begin(), job.audioBuf_2.end());
    ASSERT_EQ(meter.measure(adjusted.data(), adjusted.size() / 2, test::fullScaleOf(24), progress),
              R128Meter::Status::ok);
    EXPECT_NEAR(meter.result().loudnessValue, -23.0, 1e-6);
}

// Without a measured loudness there is nothing to adjust from: audio of 0.4 s or less, and
// silence, are left as they are and the adjustment warning is not set.
TEST(LoudnessTest, AdjustmentNeedsAMeasuredLoudness) {
    struct Case {
        const char* name;
        std::vector<double> samples;
        int warning;
    };
    const Case cases[] = {
        {"0.3 s", test::sine(48000.0, 0.3, 997.0, -30.0, 16), kWarningTooShortForR128},
        {"silence", std::vector<double>(48000 * 2 * 5, 0.0), 0},
        {"below the gate", test::sine(48000.0, 5.0, 997.0, -80.0, 24), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioFile job("/music/a.wav", false, false);
        setConverted(job, c.samples, 48000.0, 2, 24);
        job.adjustDstR128 = true;
        job.adjustDstR128Level = -16.5;
        AnalyseAudioMetricsR128(job, 4);
        EXPECT_EQ(job.warning, c.warning);
        EXPECT_TRUE(std::equal(c.samples.begin(), c.samples.end(), job.audioBuf_2.begin()));
        EXPECT_EQ(job.dstMetrics.size(), 6u);
        EXPECT_EQ(job.dstMetrics[0], "---- R128 Metrics ----");
        EXPECT_EQ(job.dstMetrics[1].rfind("Loudness Value = ", 0), 0u);
    }
}

TEST(LoudnessTest, SilenceIsReportedAtTheFloor) {
    AudioFile job("/music/a.wav", false, false);
    setSource(job, std::vector<double>(44100 * 2 * 5, 0.0), 44100.0, 16);
    AnalyseAudioMetricsR128(job, 1);
    const std::vector<std::string> expected = {
        "---- R128 Metrics ----",
        "Loudness Value = -100.000 LUFS",
        "Loudness Range = 0.000 LU",
        "Maximum True Peak Level = -100.000 dBTP",
        "Maximum Momentary Loudness = -100.000 LUFS",
        "Maximum Short-Term Loudness = -100.000 LUFS",
    };
    EXPECT_EQ(job.srcMetrics, expected);
    EXPECT_EQ(job.error, 0);
}

TEST(LoudnessTest, MeasuresOnlyWhereAsked) {
    AudioFile job("/music/a.wav", false, false);
    const auto samples = test::sine(44100.0, 1.0, 997.0, -20.0, 16);
    setSource(job, samples, 44100.0, 16);
    setConverted(job, samples, 44100.0, 2, 16);
    job.calculateSrcR128 = false;
    job.calculateDstR128 = false;
    for (const unsigned point : {0u, 1u, 2u, 3u, 4u, 8u}) AnalyseAudioMetricsR128(job, point);
    job.calculateSrcR128 = job.calculateDstR128 = true;
    AnalyseAudioMetricsR128(job, 2);
    EXPECT_TRUE(job.srcMetrics.empty());
    EXPECT_TRUE(job.dstMetrics.empty());
    EXPECT_EQ(job.srcLoudnessValue, kUnset);
    EXPECT_EQ(job.dstLoudnessValue, kUnset);
}

TEST(LoudnessTest, UnknownFrameRateIsAProgrammingError) {
    AudioFile job("/music/a.wav", false, false);
    setSource(job, test::sine(22050.0, 1.0, 997.0, -20.0, 16), 22050.0, 16);
    try {
        AnalyseAudioMetricsR128(job, 1);
        FAIL() << "no assertion";
    } catch (const platform::AssertionError& e) {
        EXPECT_NE(std::string(e.what()).find("Upsample factor not defined in AnalyseAudioMetricsR128"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(job.srcMetrics.empty());
}

TEST(LoudnessTest, AllocationFailureEndsTheMeasurement) {
    AudioFile job("/music/a.wav", false, false);
    setSource(job, test::sine(44100.0, 5.0, 997.0, -20.0, 16), 44100.0, 16);
    platform::ScopedMemoryLog log;
    setAllocationLimitForTesting(8);
    AnalyseAudioMetricsR128(job, 1);
    setAllocationLimitForTesting(0);
    EXPECT_EQ(job.error, kErrorMemory);
    EXPECT_EQ(errorTexts(job.error), "Memory allocation error. ");
    EXPECT_EQ(countLines(log.lines(), "<ERROR> Memory allocation"), 1u);
    EXPECT_TRUE(job.srcMetrics.empty());
    EXPECT_EQ(job.srcLoudnessValue, kUnset);
}

TEST(LoudnessTest, CancelledJobStopsWithoutReport) {
    AudioFile job("/music/a.wav", false, false);
    setSource(job, test::sine(44100.0, 5.0, 997.0, -20.0, 16), 44100.0, 16);
    job.requestCancel();
    AnalyseAudioMetricsR128(job, 1);
    EXPECT_EQ(job.error, kErrorCancelled);
    EXPECT_TRUE(job.srcMetrics.empty());
}

}  // namespace
}  // namespace quiramo
