#include "spatial/Dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using namespace catalogue;

// A stereo job between the stages: audioBuf_0 holds the source, the stage outputs are
// allocated and zero-filled as the pipeline leaves them.
class DispatcherTest : public ::testing::Test {
protected:
    static constexpr uint32_t kFrames = 1234;

    void SetUp() override {
        job.srcChannels = job.dstChannels_1 = job.dstChannels_2 = 2;
        job.dstFrames = kFrames;
        job.dstFrameRate = 44100.0;
        ASSERT_TRUE(job.audioBuf_0.allocate(kFrames * 2));
        ASSERT_TRUE(job.audioBuf_1.allocate(kFrames * 2));
        ASSERT_TRUE(job.audioBuf_2.allocate(kFrames * 2));
        for (size_t i = 0; i < kFrames * 2; ++i) job.audioBuf_0[i] = static_cast<double>(i % 97) * 311.5 - 9000.0;
        source.assign(job.audioBuf_0.begin(), job.audioBuf_0.end());
    }

    static std::vector<double> contents(const SampleBuffer& b) { return {b.begin(), b.end()}; }

    // The assertion text a call raises, or "" if none.
    template <typename Call>
    static std::string assertionOf(Call call) {
        try {
            call();
        } catch (const platform::AssertionError& e) {
            return e.what();
        }
        return "";
    }

    AudioFile job{"/music/side.wav", false, false};
    std::vector<double> source;
    platform::ScopedMemoryLog log;
};

TEST_F(DispatcherTest, NoneAndHiResCopyEachStage) {
    struct Case {
        uint64_t type;
        std::vector<std::string> lines;
        const char* state;
    };
    const Case cases[] = {
        {kTypeNO, {"<Info> Apply no stereo enhancement", "<Info>  None"}, "None..."},
        {kTypeHR, {"<Info> Apply the Hi-Res enhancement", "<Info>  Hi-Res upconversion"}, "Hi-Res upconversion..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(displayName(c.type));
        SetUp();
        log.clear();
        job.filterType_1 = c.type;
        job.filterType_2 = kTypeNO;
        job.error = 1;  // a completed stage sets 0, whatever the error held
        StereoEnhancement(job, 1);
        EXPECT_EQ(job.error, 0);
        EXPECT_EQ(contents(job.audioBuf_1), source);
        EXPECT_EQ(contents(job.audioBuf_0), source) << "the stage input is never written";
        EXPECT_EQ(log.lines(), c.lines);
        EXPECT_EQ(job.text(Column::state), c.state);
        EXPECT_EQ(job.text(Column::progress), "100%");

        // Stage 2 reads its own type and copies audioBuf_1 on to audioBuf_2.
        SetUp();
        log.clear();
        job.filterType_1 = kTypeNO;
        job.filterType_2 = c.type;
        job.audioBuf_1[5] = 42.0;
        const std::vector<double> stage2Input = contents(job.audioBuf_1);
        job.error = 1;
        StereoEnhancement(job, 2);
        EXPECT_EQ(job.error, 0);
        EXPECT_EQ(contents(job.audioBuf_2), stage2Input);
        EXPECT_EQ(log.lines(), c.lines);
    }
}

TEST_F(DispatcherTest, NoneThenNoneReproducesTheSource) {
    job.filterType_1 = job.filterType_2 = kTypeNO;
    StereoEnhancement(job, 1);
    ASSERT_EQ(job.error, 0);
    StereoEnhancement(job, 2);
    EXPECT_EQ(job.error, 0);
    EXPECT_EQ(contents(job.audioBuf_2), source);
    const std::vector<std::string> expected = {"<Info> Apply no stereo enhancement", "<Info>  None",
                                               "<Info> Apply no stereo enhancement", "<Info>  None"};
    EXPECT_EQ(log.lines(), expected);
}

// Types outside the catalogue, and catalogue types whose operations are not in this build,
// raise the dispatcher's assertion, log nothing and leave the output alone.
TEST_F(DispatcherTest, UnknownTypesAssertAndDoNothing) {
    std::vector<uint64_t> types = {0, kTypeNO | kTypeHR, bit(54), bit(63)};
    for (const Enhancement& e : enhancements()) {
        if (!(availableTypes() & e.value())) types.push_back(e.value());
    }
    for (uint64_t type : types) {
        for (unsigned stage : {1u, 2u}) {
            SCOPED_TRACE("type " + std::to_string(type) + " stage " + std::to_string(stage));
            log.clear();
            (stage == 1 ? job.filterType_1 : job.filterType_2) = type;
            EXPECT_EQ(assertionOf([&] { StereoEnhancement(job, stage); }),
                      "Unknown enhancement type " + std::to_string(type) + " in StereoEnhancement");
            EXPECT_TRUE(log.lines().empty());
            EXPECT_EQ(contents(stage == 1 ? job.audioBuf_1 : job.audioBuf_2), std::vector<double>(kFrames * 2, 0.0));
            (stage == 1 ? job.filterType_1 : job.filterType_2) = kTypeNO;
        }
    }
}

TEST_F(DispatcherTest, ConsistencyFailuresAssert) {
    for (unsigned stage : {0u, 3u}) {
        EXPECT_EQ(assertionOf([&] { StereoEnhancement(job, stage); }),
                  "Unexpected enhancement number in StereoEnhancement");
        EXPECT_EQ(assertionOf([&] { StereoCorrectionNone(job, stage); }),
                  "Unexpected enhancement number in StereoCorrectionNone");
    }
    // The copy serves None and Hi-Res only.
    job.filterType_1 = kTypeQW;
    EXPECT_EQ(assertionOf([&] { StereoCorrectionNone(job, 1); }),
              "Unknown enhancement type 2 in StereoCorrectionNone");
    // A stage output the pipeline failed to provide is refused, not written past.
    job.filterType_1 = kTypeNO;
    job.audioBuf_1.release();
    EXPECT_NE(assertionOf([&] { StereoEnhancement(job, 1); }), "");
    EXPECT_TRUE(job.audioBuf_1.empty());
}

// A stopped copy must not report the stage as done.
TEST_F(DispatcherTest, CancelledStageKeepsTheError) {
    job.filterType_1 = kTypeHR;
    job.requestCancel();
    StereoEnhancement(job, 1);
    EXPECT_EQ(job.error, kErrorCancelled);
}

}  // namespace
}  // namespace quiramo
