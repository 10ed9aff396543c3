#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/ClippingManagement.h"
#include "engine/record/AudioFile.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

class ClippingTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }

    // The final buffer as the pipeline leaves it: stereo frames of the output word length.
    std::unique_ptr<AudioFile> job(const std::vector<double>& samples, unsigned bits = 16,
                                   double threshold = 2.0) {
        auto j = std::make_unique<AudioFile>("/tmp/side-b.wav", false, false);
        j->dstSampleBits = bits;
        j->dstChannels_2 = 2;
        j->dstFrames = static_cast<uint32_t>(samples.size() / 2);
        j->clipThreshold = threshold;
        EXPECT_TRUE(allocateBuffer(*j, j->audioBuf_2, samples.size()));
        std::copy(samples.begin(), samples.end(), j->audioBuf_2.begin());
        return j;
    }
    static std::vector<double> samples(const AudioFile& j) {
        return {j.audioBuf_2.begin(), j.audioBuf_2.end()};
    }
    bool logged(const std::string& line) const {
        const auto lines = log_.lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    void preference(const char* value) { host_.setStoredSetting("ClipManagement", value); }

    platform::HeadlessHost host_;
    platform::ScopedMemoryLog log_;
};

TEST_F(ClippingTest, OneSampleJustOverIsClampedSilently) {
    auto j = job({0.0, 100.0, 32768.0, -5.0});
    ClippingManagement(*j, 4);

    EXPECT_EQ(samples(*j), (std::vector<double>{0.0, 100.0, 32767.0, -5.0}));
    EXPECT_DOUBLE_EQ(j->clipPercent, 25.0);
    EXPECT_NEAR(j->clipdB, 0.000265, 0.0000005);
    EXPECT_EQ(j->warning.load(), 0);
    EXPECT_TRUE(host_.clipAlertsShown().empty());
    EXPECT_TRUE(logged("<Info>  highClamp = 32767.0, lowClamp = -32768.0"));
    EXPECT_TRUE(logged("<Info>  Maximum absolute value = 32768.0 (0.000265 dB)"));
    EXPECT_TRUE(
        logged("<WARNING> 25.00% of audio samples are out of range. Worst case clipping is 0.000 dBFS."));
    EXPECT_TRUE(logged("<WARNING>  Automatically clamping processed samples which clip"));
}

// The negative end of the range is one further out than the positive end.
TEST_F(ClippingTest, RangeFollowsTheOutputWordLength) {
    struct Case {
        unsigned bits;
        double in, out;
        bool counted;
    };
    const Case cases[] = {
        {16, -32768.0, -32768.0, false},    {16, -32769.0, -32768.0, true},
        {16, 32767.0, 32767.0, false},      {24, -8388608.0, -8388608.0, false},
        {24, -8388609.0, -8388608.0, true}, {24, 8388608.0, 8388607.0, true},
        {24, 32768.0, 32768.0, false},
    };
    for (const auto& c : cases) {
        auto j = job({c.in, 0.0}, c.bits);
        ClippingManagement(*j, 4);
        EXPECT_EQ(j->audioBuf_2[0], c.out) << c.bits << " bits, " << c.in;
        EXPECT_EQ(j->clipPercent > 0.0, c.counted) << c.bits << " bits, " << c.in;
        EXPECT_EQ(j->warning.load(), 0) << c.bits << " bits, " << c.in;
    }
}

TEST_F(ClippingTest, NothingOutOfRangeChangesNothing) {
    preference("4");
    const std::vector<double> in = {32767.0, -32768.0, 0.4, -12000.0};
    auto j = job(in);
    ClippingManagement(*j, 4);

    EXPECT_EQ(samples(*j), in);
    EXPECT_EQ(j->clipPercent, 0.0);
    EXPECT_EQ(j->warning.load(), 0);
    EXPECT_FALSE(logged("<WARNING>  Attenuating entire audio file to prevent any clipping"));
}

TEST_F(ClippingTest, AttenuatePreferenceHalvesADoubledPeak) {
    preference("4");
    auto j = job({65534.0, -30000.0, 1000.0, -65534.0});
    ClippingManagement(*j, 4);

    EXPECT_EQ(samples(*j), (std::vector<double>{32767.0, -15000.0, 500.0, -32767.0}));
    EXPECT_EQ(j->clipFactor, 2.0);
    EXPECT_EQ(j->warning.load(), kWarningAttenuated);
    EXPECT_EQ(j->processingResultText(), "Attenuated by 6.02dB to avoid excessive clipping. Complete.");
    EXPECT_TRUE(logged("<WARNING>  Attenuating entire audio file to prevent any clipping"));
    EXPECT_TRUE(host_.clipAlertsShown().empty());
}

TEST_F(ClippingTest, ClampPreferenceWarnsOnlyAboveTheThreshold) {
    preference("2");
    for (double peak : {40000.0, 33000.0}) {  // 1.73 dB over with a 1.5 dB threshold, then 0.06 dB
        auto j = job({peak, 0.0}, 16, 1.5);
        ClippingManagement(*j, 4);
        EXPECT_EQ(j->audioBuf_2[0], 32767.0);
        EXPECT_EQ(j->warning.load(), peak == 40000.0 ? kWarningExcessiveClipping : 0) << peak;
        EXPECT_TRUE(host_.clipAlertsShown().empty());
    }
}

// 3 dB over full scale with the default preference asks; "always" makes the answer stick for
// the next conversion, which then no longer asks.
TEST_F(ClippingTest, AlertAnswerClampAlwaysBecomesThePreference) {
    host_.setClipAnswer({platform::kClipOptionClamp, true});
    auto first = job({46286.0, 0.0, 0.0, 0.0});
    ClippingManagement(*first, 4);

    ASSERT_EQ(host_.clipAlertsShown().size(), 1u);
    EXPECT_EQ(
        host_.clipAlertsShown()[0],
        "Note that 25.00% of audio samples need to be clamped. The worst case clipping gain is 3.00dB, which "
        "exceeds your 2.00dB threshold. You should probably choose to attenuate the entire track. However, "
        "if "
        "you wish to retain the power of the audio track, you may choose only to clamp any out-of-range "
        "samples.");
    EXPECT_EQ(first->clipOption, platform::kClipOptionClamp);
    EXPECT_EQ(first->audioBuf_2[0], 32767.0);
    EXPECT_EQ(first->warning.load(), kWarningExcessiveClipping);
    EXPECT_TRUE(logged("<WARNING>  Showing clip warning dialog"));
    EXPECT_TRUE(logged("<WARNING>  <Clamp> Clamping processed samples which clip"));
    EXPECT_EQ(host_.readStoredSetting("ClipManagement"), "2");

    log_.clear();
    auto second = job({46286.0, 0.0});
    ClippingManagement(*second, 4);
    EXPECT_EQ(host_.clipAlertsShown().size(), 1u);
    EXPECT_TRUE(logged("<WARNING>  Automatically clamping processed samples which clip"));
    EXPECT_EQ(second->warning.load(), kWarningExcessiveClipping);
}

TEST_F(ClippingTest, AlertAnswerAttenuateOnceLeavesThePreference) {
    host_.setClipAnswer({platform::kClipOptionAttenuate, false});
    auto j = job({-65536.0, 16384.0});
    ClippingManagement(*j, 4);

    EXPECT_EQ(host_.clipAlertsShown().size(), 1u);
    EXPECT_NEAR(j->audioBuf_2[0], -32767.0, 1e-9);
    EXPECT_NEAR(j->audioBuf_2[1], 16384.0 * 32767.0 / 65536.0, 1e-9);
    EXPECT_EQ(j->warning.load(), kWarningAttenuated);
    EXPECT_TRUE(logged("<WARNING>  <Attenuate> Attenuating entire audio file to prevent any clipping"));
    EXPECT_EQ(host_.readStoredSetting("ClipManagement"), "1");

    host_.setClipAnswer({platform::kClipOptionAttenuate, true});
    auto k = job({-65536.0, 16384.0});
    ClippingManagement(*k, 4);
    EXPECT_EQ(host_.readStoredSetting("ClipManagement"), "4");
}

TEST_F(ClippingTest, OnlyTheFinalBufferIsManaged) {
    auto j = job({40000.0, 0.0});
    EXPECT_THROW(
        {
            try {
                ClippingManagement(*j, 2);
            } catch (const platform::AssertionError& e) {
                EXPECT_STREQ(e.what(), "Unexpected type 2 in ClippingManagement");
                throw;
            }
        },
        platform::AssertionError);
    EXPECT_EQ(j->audioBuf_2[0], 40000.0);
}

}  // namespace
}  // namespace quiramo
