#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <regex>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "measurement/LevelMetrics.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

void fill(SampleBuffer& buffer, const std::vector<double>& samples) {
    ASSERT_TRUE(buffer.allocate(samples.size()));
    std::copy(samples.begin(), samples.end(), buffer.begin());
}

// Stereo frames from a function of the frame index.
template <typename F>
std::vector<double> stereo(size_t frames, F f) {
    std::vector<double> v(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const auto [l, r] = f(i);
        v[2 * i] = l, v[2 * i + 1] = r;
    }
    return v;
}

double sine(size_t i, double amplitude) {
    return std::round(amplitude * std::sin(2.0 * std::numbers::pi * 997.0 * i / 44100.0));
}

TEST(LevelMetricsTest, SourceBasicReportWithMetadata) {
    AudioFile job("/music/a.flac", false, false);
    job.srcFrames = 44100 * 3723 + 22050;  // 62:03 and a half
    job.srcFrameRate = 44100.0;
    job.srcChannels = 2;
    job.srcSampleBits = 24;
    job.srcBextChunkData.assign(610, 0);
    job.srcVorbisComments = {"ARTIST=a", "TITLE=b", "DATE=1971"};
    job.srcPictureChunkDict.resize(1);
    job.srcPictureChunkDict[0].data.assign(1234, 7);
    platform::ScopedMemoryLog log;
    AnalyseAudioMetricsBasic(job, 1);
    const std::vector<std::string> expected = {
        "Time = 62:03",           "Frames = 164206350",       "Frame Rate = 44100.0",
        "Channels = 2",           "Bit Depth = 24",           "---- Metadata ----",
        "BWF (bext) = 610 bytes", "FLAC Vorbis Comments = 3", "FLAC Picture = 1234 bytes",
    };
    EXPECT_EQ(job.srcMetrics, expected);
    const std::vector<std::string> logged = {
        "<Info> Analysing the source audio basic metrics",
        "<Info>  Time = 62:03",
        "<Info>  Frames = 164206350",
        "<Info>  Frame Rate = 44100.0",
        "<Info>  Channels = 2",
        "<Info>  Bit Depth = 24",
        "<Info> Analysing the source audio metadata",
    };
    EXPECT_EQ(log.lines(), logged);

    // Without metadata there is no metadata section at all.
    AudioFile plain("/music/b.wav", false, false);
    plain.srcFrames = 441;
    plain.srcFrameRate = 44100.0;
    AnalyseAudioMetricsBasic(plain, 1);
    EXPECT_EQ(plain.srcMetrics.size(), 5u);
    EXPECT_EQ(plain.srcMetrics[0], "Time = 00:00");
}

TEST(LevelMetricsTest, MidAndConvertedBasicReports) {
    AudioFile job("/music/a.wav", false, false);
    job.dstFrames = 96000 * 75;
    job.dstFrameRate = 96000.0;
    job.dstChannels_1 = 6;
    job.dstChannelsData = 2;
    job.dstSampleBits = 24;
    job.filterType_1 = catalogue::kTypeHR;
    job.hiResType = 2;
    job.upsampleType = 2;
    job.ditherType = 2;
    job.setText(Column::filter, "Hi-Res + Groove");
    AnalyseAudioMetricsBasic(job, 2);
    AnalyseAudioMetricsBasic(job, 4);
    AnalyseAudioMetricsBasic(job, 3);  // not a measuring point: nothing
    const std::vector<std::string> mid = {"Time = 01:15", "Frames = 7200000", "Frame Rate = 96000.0",
                                          "Channels = 6", "Bit Depth = 24"};
    EXPECT_EQ(job.midMetrics, mid);
    ASSERT_EQ(job.dstMetrics.size(), 10u);
    EXPECT_EQ(job.dstMetrics[0], "Enhancement = Hi-Res + Groove");
    EXPECT_TRUE(
        std::regex_match(job.dstMetrics[1], std::regex(R"(Date = \d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4})")))
        << job.dstMetrics[1];
    const std::vector<std::string> rest = {"Time = 01:15",      "Frames = 7200000", "Frame Rate = 96000.0",
                                           "Channels = 2",      "Bit Depth = 24",   "Hi-Res enabled = YES",
                                           "Hi-Res used = YES", "Dither = Off"};
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), job.dstMetrics.begin() + 2));

    // Hi-Res is enabled by the setting too, and off only when neither asks for it.
    AudioFile other("/music/b.wav", false, false);
    other.filterType_1 = catalogue::kTypeQW;
    other.hiResType = 2;
    other.upsampleType = 1;
    other.ditherType = 1;
    AnalyseAudioMetricsBasic(other, 4);
    EXPECT_EQ(other.dstMetrics[7], "Hi-Res enabled = NO");
    EXPECT_EQ(other.dstMetrics[8], "Hi-Res used = NO");
    EXPECT_EQ(other.dstMetrics[9], "Dither = On");
}

struct StereoCase {
    const char* name;
    std::vector<double> samples;
    std::vector<std::string> lines;  // the report lines after the header that must be present
    double ccc;                      // NAN: not checked
};

// Level figures with closed-form answers, through the source point (16-bit, FS = 32768).
TEST(LevelMetricsTest, StereoFigures) {
    const size_t n = 44100;
    const StereoCase cases[] = {
        // A left channel reaching +32767 is full scale: 0 dBFS, peak shown as 32768.
        {"full-scale peak",
         stereo(n,
                [](size_t i) {
                    return std::pair{i == 100 ? 32767.0 : 0.0, 0.0};
                }),
         {platform::format("Ch 1: Peak = 32768.0 (0.000 dBFS), RMS = %.3f, Crest = %.3f", 32767.0 / 210.0,
                           20.0 * std::log10(32768.0 / (32767.0 / 210.0)))},
         0.0},
        // Identical channels: no side signal, +40 dB.
        {"mono",
         stereo(n,
                [](size_t i) {
                    return std::pair{sine(i, 10000.0), sine(i, 10000.0)};
                }),
         {"L/R RMS Ratio = 1.00000 (0.000 dBFS)", "(L-R)/2: Peak = 0.0 (-inf dBFS), RMS = 0.000"},
         40.0},
        // Opposed channels: no mid signal, -40 dB.
        {"antiphase",
         stereo(n,
                [](size_t i) {
                    return std::pair{sine(i, 10000.0), -sine(i, 10000.0)};
                }),
         {"(L+R)/2: Peak = 0.0 (-inf dBFS), RMS = 0.000"},
         -40.0},
        // A full-scale square wave: peak and RMS are the same, no crest.
        {"square",
         stereo(n,
                [](size_t i) {
                    return std::pair{(i / 50) % 2 ? -32768.0 : 32767.0, (i / 50) % 2 ? 32767.0 : -32768.0};
                }),
         {"Ch 1: Peak = 32768.0 (0.000 dBFS), RMS = 32767.500, Crest = 0.000",
          "Ch 2: Peak = 32768.0 (0.000 dBFS), RMS = 32767.500, Crest = 0.000"},
         NAN},
    };
    for (const StereoCase& c : cases) {
        SCOPED_TRACE(c.name);
        AudioFile job("/music/a.wav", false, false);
        fill(job.audioIn, c.samples);
        job.srcFrames = n;
        job.srcChannels = 2;
        job.srcSampleBits = 16;
        AnalyseAudioMetricsVeltrane(job, 1);
        ASSERT_EQ(job.srcMetrics.size(), 8u);
        EXPECT_EQ(job.srcMetrics[0], "---- Veltrane Metrics ----");
        for (const auto& line : c.lines) {
            EXPECT_NE(std::find(job.srcMetrics.begin(), job.srcMetrics.end(), line), job.srcMetrics.end())
                << line;
        }
        if (!std::isnan(c.ccc)) {
            EXPECT_NEAR(job.ccc, c.ccc, 1e-9);
            EXPECT_EQ(job.srcMetrics[7],
                      platform::format("Channel Correlation Coefficient (CCC) = %.3f dB", c.ccc));
        }
    }
}

TEST(LevelMetricsTest, RatioAndLeqOfAKnownPair) {
    // Left at twice the amplitude of the right: a power ratio of 4 (6.021 dB); mid RMS
    // 1.5 × 10000 / √2 gives the Leq.
    const size_t n = 44100;
    AudioFile job("/music/a.wav", false, false);
    std::vector<double> samples(n * 2);
    for (size_t i = 0; i < n; ++i) {
        const double s = 10000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 44100.0);
        samples[2 * i] = 2.0 * s, samples[2 * i + 1] = s;
    }
    fill(job.audioBuf_2, samples);
    job.dstFrames = n;
    job.dstChannels_2 = 2;
    job.dstSampleBits = 16;
    platform::ScopedMemoryLog log;
    AnalyseAudioMetricsVeltrane(job, 4);
    EXPECT_NEAR(job.rmsRatio, 4.0, 1e-9);
    EXPECT_EQ(job.dstMetrics[3], "L/R RMS Ratio = 4.00000 (12.041 dBFS)");
    const double leq = 20.0 * std::log10(1.5 * 10000.0 / std::sqrt(2.0) / 32768.0);
    EXPECT_EQ(job.dstMetrics[6], platform::format("Equivalent Continuous Sound Level (Leq) = %.3f dB", leq));
    EXPECT_EQ(job.text(Column::state), "Analysing converted Veltrane metrics...");
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "<Info> Analysing the destination audio Veltrane metrics");
    EXPECT_EQ(lines[1].rfind("<Info>  Ch0: Peak = ", 0), 0u);
    EXPECT_EQ(lines[6], platform::format("<Info>  Channel correlation coefficient (CCC) = %.3f dB", job.ccc));
}

// Six channels (L, R, C, LFE, sL, sR): six channel lines and the two 5.1 lines, no stereo
// lines; the LFE is left out of the 5.1 RMS and the surrounds weigh 1.41.
TEST(LevelMetricsTest, SixChannelReport) {
    const size_t n = 1000;
    std::vector<double> samples(n * 6);
    const double level[6] = {1000.0, 2000.0, 3000.0, 30000.0, 500.0, 700.0};
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 6; ++c) samples[i * 6 + c] = (i % 2 ? -1.0 : 1.0) * level[c];
    }
    AudioFile job("/music/a.wav", false, false);
    fill(job.audioBuf_1, samples);
    job.dstFrames = n;
    job.dstChannels_1 = 6;
    job.dstSampleBits = 24;
    AnalyseAudioMetricsVeltrane(job, 2);
    ASSERT_EQ(job.midMetrics.size(), 9u);
    EXPECT_EQ(job.midMetrics[1], "Ch 1: Peak = 1000.0 (-78.474 dBFS), RMS = 1000.000, Crest = 0.000");
    EXPECT_EQ(job.midMetrics[4].rfind("Ch 4: Peak = 30000.0", 0), 0u);
    const double rms51 = std::sqrt((500.0 * 500.0 + 700.0 * 700.0) * 1.41 + 1000.0 * 1000.0 +
                                   2000.0 * 2000.0 + 3000.0 * 3000.0);
    EXPECT_EQ(job.midMetrics[7], platform::format("RMS 5.1 = %.3f", rms51));
    EXPECT_EQ(job.midMetrics[8], platform::format("Equivalent Continuous Sound Level (Leq 5.1) = %.3f dB",
                                                  20.0 * std::log10(rms51 / 8388608.0)));
}

// A silent channel has no level: the line is still written, with -inf dBFS and no crest,
// and the stored ratio stays neutral so that a later balance step cannot wipe the audio.
TEST(LevelMetricsTest, SilentChannel) {
    const size_t n = 100;
    AudioFile job("/music/a.wav", false, false);
    fill(job.audioIn, stereo(n, [](size_t i) { return std::pair{sine(i, 1000.0), 0.0}; }));
    job.srcFrames = n;
    job.srcChannels = 2;
    job.srcSampleBits = 16;
    AnalyseAudioMetricsVeltrane(job, 1);
    EXPECT_EQ(job.srcMetrics[2], "Ch 2: Peak = 0.0 (-inf dBFS), RMS = 0.000, Crest = nan");
    EXPECT_EQ(job.srcMetrics[3], "L/R RMS Ratio = inf (inf dBFS)");
    EXPECT_EQ(job.rmsRatio, 1.0);

    AudioFile silent("/music/b.wav", false, false);
    fill(silent.audioIn, std::vector<double>(n * 2, 0.0));
    silent.srcFrames = n;
    silent.srcChannels = 2;
    silent.srcSampleBits = 16;
    AnalyseAudioMetricsVeltrane(silent, 1);
    EXPECT_EQ(silent.srcMetrics.size(), 8u);
    EXPECT_EQ(silent.rmsRatio, 1.0);
    EXPECT_EQ(silent.ccc, 0.0);
}

TEST(LevelMetricsTest, NothingAtOtherPoints) {
    AudioFile job("/music/a.wav", false, false);
    for (const unsigned point : {0u, 3u, 5u, 8u}) AnalyseAudioMetricsVeltrane(job, point);
    EXPECT_TRUE(job.srcMetrics.empty() && job.midMetrics.empty() && job.dstMetrics.empty());
}

}  // namespace
}  // namespace quiramo
