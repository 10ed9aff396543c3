#include <gtest/gtest.h>

#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"

namespace quiramo {
namespace {

// Collects every reported percentage; answers "stop" once `stopAt` is reported.
struct Recorder {
    std::vector<unsigned> reported;
    unsigned stopAt = ~0u;

    static bool report(void* self, unsigned percent) {
        auto* r = static_cast<Recorder*>(self);
        r->reported.push_back(percent);
        return percent != r->stopAt;
    }
    Progress progress(uint64_t interval, unsigned start) { return Progress(&report, this, interval, start); }
};

TEST(ProgressCountdown, ReportsEachTimeTheCountdownRunsOut) {
    struct Case {
        uint64_t interval;
        unsigned start;
        uint64_t steps;
        std::vector<unsigned> expected;
    };
    const Case cases[] = {
        {1, 10, 3, {11, 12, 13}},
        {0, 0, 100000, {}},  // an interval of 0 never runs out
        {5, 0, 4, {}},       // more than the steps taken
        {5, 0, 5, {1}},
        {3, 0, 10, {1, 2, 3}},      // steps 3, 6 and 9
        {4, 33, 12, {34, 35, 36}},  // the second pass of a chain starts where the first ended
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("interval " + std::to_string(c.interval) + " start " + std::to_string(c.start));
        Recorder r;
        Progress p = r.progress(c.interval, c.start);
        for (uint64_t i = 0; i < c.steps; ++i) ASSERT_TRUE(p.step());
        EXPECT_EQ(r.reported, c.expected);

        // steps(n) counts exactly like n single steps.
        Recorder bulk;
        Progress q = bulk.progress(c.interval, c.start);
        ASSERT_TRUE(q.steps(c.steps));
        EXPECT_EQ(bulk.reported, c.expected);
    }
}

TEST(ProgressCountdown, AStopAnswerEndsTheLoopAtOnce) {
    Recorder r;
    r.stopAt = 3;
    Progress p = r.progress(2, 0);
    uint64_t taken = 0;
    while (taken < 1000 && p.step()) ++taken;
    EXPECT_EQ(taken, 5u);  // the 6th step reported 3 and was told to stop
    EXPECT_EQ(r.reported, (std::vector<unsigned>{1, 2, 3}));

    Recorder bulk;
    bulk.stopAt = 2;
    Progress q = bulk.progress(1, 0);
    EXPECT_FALSE(q.steps(50));
    EXPECT_EQ(bulk.reported, (std::vector<unsigned>{1, 2}));  // no step after the stop
}

TEST(ProgressCountdown, SetReportsAnExplicitValueAndContinuesFromIt) {
    Recorder r;
    Progress p = r.progress(1, 0);
    EXPECT_TRUE(p.set(50));
    EXPECT_TRUE(p.step());
    EXPECT_EQ(r.reported, (std::vector<unsigned>{50, 51}));
    EXPECT_TRUE(noProgress().step());
    Progress none = noProgress();
    EXPECT_TRUE(none.set(10));
}

TEST(ProgressCountdown, IntervalOfAPassOrAChainOfPasses) {
    EXPECT_EQ(progressInterval(0), 1u);
    EXPECT_EQ(progressInterval(99), 1u);
    EXPECT_EQ(progressInterval(100), 1u);
    EXPECT_EQ(progressInterval(1000), 10u);
    EXPECT_EQ(progressInterval(1050), 10u);
    EXPECT_EQ(progressInterval(1000, 3), 30u);
    // A chain of three passes over F steps walks 0 -> 33 -> 66 -> 99.
    Recorder r;
    const uint64_t f = 1000;
    const uint64_t n = progressInterval(f, 3);
    for (unsigned start : {0u, 33u, 66u}) {
        Progress p = r.progress(n, start);
        ASSERT_TRUE(p.steps(f));
    }
    EXPECT_EQ(r.reported.back(), 99u);
    EXPECT_EQ(r.reported.size(), 99u);
}

TEST(ProgressCountdown, JobProgressDrivesTheProgressColumn) {
    AudioFile job("/x/a.wav", false, false);
    Progress p = jobProgress(job, 1, 98);
    job.progressTableTextLastUpdate -= std::chrono::seconds(1);
    ASSERT_TRUE(p.step());
    EXPECT_EQ(job.text(Column::progress), "99%");
    ASSERT_TRUE(p.steps(5));  // 100 shows at once, beyond 100 stays 100
    EXPECT_EQ(job.text(Column::progress), "100%");
    job.requestCancel();
    EXPECT_FALSE(p.step());
    EXPECT_EQ(job.error, kErrorCancelled);
}

}  // namespace
}  // namespace quiramo
