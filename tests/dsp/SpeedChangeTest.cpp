#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/FilterTables.h"
#include "dsp/SpeedChange.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Log.h"
#include "tests/dsp/Noise.h"
#include "tests/dsp/RateTestSignals.h"

namespace quiramo {
namespace {

using catalogue::kTypeCD;
using catalogue::kTypePA1;
using catalogue::kTypePP3;
using catalogue::kTypeRF;
using test::noise;

// The speed change written as plainly as it is defined: two zeros after every frame, the
// tripled taps at the tripled rate, every n-th frame kept.
std::vector<double> referenceWindUp(const std::vector<double>& in, unsigned n,
                                    const std::array<double, 31>& h) {
    const size_t frames = in.size() / 2;
    std::vector<double> stuffed(6 * frames, 0.0), filtered(6 * frames, 0.0);
    for (size_t k = 0; k < frames; ++k)
        for (size_t c = 0; c < 2; ++c) stuffed[6 * k + c] = in[2 * k + c];
    for (size_t i = 0; i < 3 * frames; ++i)
        for (size_t j = 0; j <= std::min<size_t>(i, 30); ++j)
            for (size_t c = 0; c < 2; ++c) filtered[2 * i + c] += 3.0 * h[j] * stuffed[2 * (i - j) + c];
    std::vector<double> out(2 * (3 * frames / n));
    for (size_t i = 0; i < out.size() / 2; ++i)
        for (size_t c = 0; c < 2; ++c) out[2 * i + c] = filtered[2 * i * n + c];
    return out;
}

TEST(SpeedKernel, MatchesThePlainResamplerForEveryFactorAndLength) {
    Progress none = noProgress();
    for (const auto* taps : {&dsp::kWindUpTaps441Quarter, &dsp::kWindUpTaps441, &dsp::kWindUpTaps882Quarter,
                             &dsp::kWindUpTaps882}) {
        for (unsigned n : {4u, 6u, 7u, 8u}) {
            // Around the kept frames that wait in the side buffer of the in-place pass.
            for (size_t frames : {0, 1, 2, 3, 10, 39, 40, 41, 42, 55, 1000}) {
                SCOPED_TRACE(testing::Message() << "n " << n << ", " << frames << " frames");
                const std::vector<double> in = noise(2 * frames, static_cast<unsigned>(frames + n));
                const std::vector<double> expected = referenceWindUp(in, n, *taps);
                std::vector<double> audio = in;
                uint64_t kept = 99;
                ASSERT_TRUE(dsp::windUpStereo(audio.data(), frames, n, taps->data(), 31, kept, none));
                ASSERT_EQ(kept, expected.size() / 2);
                for (size_t s = 0; s < expected.size(); ++s)
                    ASSERT_NEAR(audio[s], expected[s], 1e-8) << "sample " << s;
            }
        }
    }
}

// A stereo needle drop in audioBuf_0 as the pipeline hands it over.
void setUp(AudioFile& job, uint64_t enhancement, int captureSpeed, double rate, uint32_t frames,
           const std::vector<double>& audio) {
    job.filterType_1 = enhancement;
    job.captureSpeed = captureSpeed;
    job.srcChannels = 2;
    job.srcFrames = job.dstFrames = frames;
    job.srcFrameRate = job.dstFrameRate = rate;
    ASSERT_TRUE(job.audioBuf_0.allocate(size_t{frames} * 2));
    std::copy(audio.begin(), audio.end(), job.audioBuf_0.begin());
}

struct SpeedCase {
    int captureSpeed;
    double rate;
    uint32_t frames, expectedFrames;
    double toneIn, toneOut;  // Hz; 0: frame count only
    const char* speedText;
};

TEST(SpeedChange, ShortensAndRaisesByTheCorrectionAtTheSameRate) {
    const SpeedCase cases[] = {
        {3, 44100, 44100, 18900, 1000, 7000.0 / 3.0, "33.3 to 78 RPM"},
        {4, 44100, 44101, 22050, 1000, 2000, "33.3 to 68 RPM"},
        {4, 96000, 96001, 48000, 1000, 2000, "33.3 to 68 RPM"},
        {5, 48000, 48000, 18000, 1000, 8000.0 / 3.0, "33.3 to 89 RPM"},
        {6, 44100, 1000, 750, 0, 0, "25 to 33.3 RPM"},
        {6, 44100, 44100, 33075, 3000, 4000, "25 to 33.3 RPM"},
        {6, 88200, 88200, 66150, 3000, 4000, "25 to 33.3 RPM"},
    };
    for (const SpeedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "captureSpeed " << c.captureSpeed << " at " << c.rate);
        platform::ScopedMemoryLog log;
        AudioFile job("/tmp/drop.wav", false, false);
        setUp(job, kTypePA1, c.captureSpeed, c.rate, c.frames,
              test::stereoTone(c.frames, c.toneIn, c.rate, 10000.0));
        WindUpSpeedChange(job);
        EXPECT_EQ(job.dstFrames, c.expectedFrames);
        EXPECT_EQ(job.dstFrameRate, c.rate);
        EXPECT_EQ(job.srcFrameRate, c.rate);
        EXPECT_EQ(job.text(Column::state), std::string("Wind-up processing from ") + c.speedText + "...");
        EXPECT_EQ(job.text(Column::progress), "100%");
        EXPECT_EQ(log.lines(), std::vector<std::string>{"<Info>  Wind-up processing"});
        if (c.toneIn == 0) continue;
        // Away from the filter's start-up; both channels, with the tone's level kept within
        // the short filters' ripple and images and aliases well below it.
        const uint64_t start = 200, count = c.expectedFrames - 400;
        for (unsigned ch = 0; ch < 2; ++ch) {
            const double measured =
                test::zeroCrossingFrequency(job.audioBuf_0.data(), 2, ch, start, count, c.rate);
            EXPECT_NEAR(measured, c.toneOut, 0.01);
            const auto fit = test::fitTone(job.audioBuf_0.data(), 2, ch, start, count, c.toneOut, c.rate);
            EXPECT_NEAR(20.0 * std::log10(fit.amplitude / (ch == 0 ? 10000.0 : 5000.0)), 0.0, 1.0);
            EXPECT_LT(fit.residualDb, -30.0);
        }
    }
}

// The filter follows the frame rate the stages run at and the factor.
TEST(SpeedChange, PicksTheFilterForTheRateAndFactor) {
    struct Pick {
        double rate;
        int captureSpeed;
        unsigned n;
        const std::array<double, 31>* taps;
    };
    const Pick picks[] = {
        {44100, 6, 4, &dsp::kWindUpTaps441Quarter}, {48000, 6, 4, &dsp::kWindUpTaps441Quarter},
        {44100, 3, 7, &dsp::kWindUpTaps441},        {48000, 5, 8, &dsp::kWindUpTaps441},
        {88200, 6, 4, &dsp::kWindUpTaps882Quarter}, {96000, 6, 4, &dsp::kWindUpTaps882Quarter},
        {88200, 4, 6, &dsp::kWindUpTaps882},        {96000, 3, 7, &dsp::kWindUpTaps882},
    };
    for (const Pick& p : picks) {
        SCOPED_TRACE(testing::Message() << p.rate << " captureSpeed " << p.captureSpeed);
        const std::vector<double> audio = noise(2 * 500, 5);
        AudioFile job("/tmp/drop.wav", false, false);
        setUp(job, kTypePP3, p.captureSpeed, p.rate, 500, audio);
        WindUpSpeedChange(job);
        std::vector<double> expected = audio;
        uint64_t kept = 0;
        Progress none = noProgress();
        ASSERT_TRUE(dsp::windUpStereo(expected.data(), 500, p.n, p.taps->data(), 31, kept, none));
        ASSERT_EQ(job.dstFrames, kept);
        EXPECT_EQ(std::memcmp(job.audioBuf_0.data(), expected.data(), 2 * kept * sizeof(double)), 0);
    }
}

TEST(SpeedChange, LeavesOtherEnhancementsAndSpeedsAlone) {
    struct Case {
        uint64_t enhancement;
        int captureSpeed;
    };
    // CD de-emphasis and the rumble filter are not replay curves; speeds 1 (as captured) and
    // 2 (half-speed, done by the driver) and unknown values need no resampling.
    for (Case c : {Case{kTypeCD, 3}, Case{kTypeRF, 4}, Case{kTypePA1, 1}, Case{kTypePA1, 2},
                   Case{kTypePA1, 7}, Case{kTypePA1, 0}}) {
        SCOPED_TRACE(testing::Message() << c.enhancement << " captureSpeed " << c.captureSpeed);
        platform::ScopedMemoryLog log;
        const std::vector<double> audio = noise(2 * 300, 9);
        AudioFile job("/tmp/drop.wav", false, false);
        setUp(job, c.enhancement, c.captureSpeed, 44100, 300, audio);
        WindUpSpeedChange(job);
        EXPECT_EQ(job.dstFrames, 300u);
        EXPECT_EQ(std::memcmp(job.audioBuf_0.data(), audio.data(), audio.size() * sizeof(double)), 0);
        EXPECT_TRUE(log.lines().empty());
    }
}

TEST(SpeedChange, InconsistentJobsAreInternalErrors) {
    struct Case {
        double rate;
        uint32_t channels;
        const char* expected;
    };
    for (Case c : {Case{176400, 2, "Invalid frame rate in WindUpSpeedChange"},
                   Case{32000, 2, "Invalid frame rate in WindUpSpeedChange"},
                   Case{44100, 1, "The number of channels must be 2 in WindUpSpeedChange"}}) {
        SCOPED_TRACE(c.expected);
        AudioFile job("/tmp/drop.wav", false, false);
        setUp(job, kTypePA1, 3, c.rate, 100, noise(200, 2));
        job.srcChannels = c.channels;
        try {
            WindUpSpeedChange(job);
            ADD_FAILURE() << "no assertion";
        } catch (const platform::AssertionError& e) {
            EXPECT_EQ(std::string(e.what()), c.expected);
        }
        EXPECT_EQ(job.dstFrames, 100u);
    }
}

}  // namespace
}  // namespace quiramo
