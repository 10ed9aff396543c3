#include <gtest/gtest.h>

#include <string>

#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo::platform {
namespace {

struct Seen {
    std::string file;
    int line = 0;
    std::string message;
    int calls = 0;
};
Seen seen;

void recordingHandler(const char* file, int line, const std::string& message) {
    seen.file = file;
    seen.line = line;
    seen.message = message;
    ++seen.calls;
}

int sideEffects = 0;
const char* costly() {
    ++sideEffects;
    return "costly";
}

TEST(Assert, TheInstalledHandlerThrowsInTests) {
    try {
        QRM_FAIL("Unknown enhancement type %lu in %s", 7ul, "StereoEnhancement");
        FAIL() << "no assertion";
    } catch (const AssertionError& e) {
        EXPECT_STREQ(e.what(), "Unknown enhancement type 7 in StereoEnhancement");
    }
    EXPECT_THROW(QRM_ASSERT(1 + 1 == 3, "Arithmetic in %s", __func__), AssertionError);
    EXPECT_NO_THROW(QRM_ASSERT(1 + 1 == 2, "Arithmetic in %s", __func__));
}

TEST(Assert, HandlerGetsFileLineAndMessageAndIsRestored) {
    const AssertionHandler previous = setAssertionHandler(&recordingHandler);
    seen = {};
    sideEffects = 0;
    QRM_ASSERT(true, "never %s in %s", costly(), __func__);
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(sideEffects, 0);  // the message is built only when the check fails

    const int line = __LINE__ + 1;
    QRM_ASSERT(false, "There is an error too early in the thread in %s", "AnalyseFileThread");
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.line, line);
    EXPECT_TRUE(std::string(seen.file).ends_with("AssertTest.cpp")) << seen.file;
    EXPECT_EQ(seen.message, "There is an error too early in the thread in AnalyseFileThread");

    const std::string longArg(2000, 'y');  // a long message is cut, never overrun
    QRM_FAIL("%s in %s", longArg.c_str(), __func__);
    EXPECT_EQ(seen.calls, 2);
    EXPECT_GT(seen.message.size(), 500u);
    EXPECT_LT(seen.message.size(), 2000u);

    EXPECT_EQ(setAssertionHandler(previous), &recordingHandler);
    EXPECT_THROW(QRM_FAIL("x in %s", __func__), AssertionError);
}

TEST(AssertDeathTest, TheDefaultHandlerLogsAndAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            setLogSink(makeStderrSink());
            setAssertionHandler(nullptr);
            QRM_FAIL("Unexpected paramter in %s", "groupOf");
        },
        "<ERROR> Unexpected paramter in groupOf \\(.*AssertTest.cpp:[0-9]+\\)");
}

}  // namespace
}  // namespace quiramo::platform
