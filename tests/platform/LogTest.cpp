#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Log.h"

namespace quiramo::platform {
namespace {

TEST(Log, MemorySinkKeepsTheExactLines) {
    ScopedMemoryLog log;
    platform::log("<Info> Reading user defaults...");
    platform::log("<Info>  Mode: %s (%u)", "Headphones", 64u);
    platform::log("<Info>  Enhancement 1: %s (%lu)", "QUERNWALD T-Sym", 4294967296ul);
    platform::log("<Info>  Clip threshold: %.3f dB", 2.0);
    platform::log("<Info>  Sizes: %x (hex) %u (dec)", 0x2Cu, 44u);
    logText("<WARNING> 100% literal, no formatting: %s %n");
    platform::log("<Info>  50/15 \xCE\xBCs");
    platform::log("%s", "");
    const std::string longLine = "<ERROR> " + std::string(3000, 'x');  // beyond the small buffer
    platform::log("%s", longLine.c_str());
    const std::vector<std::string> expected = {
        "<Info> Reading user defaults...",
        "<Info>  Mode: Headphones (64)",
        "<Info>  Enhancement 1: QUERNWALD T-Sym (4294967296)",
        "<Info>  Clip threshold: 2.000 dB",
        "<Info>  Sizes: 2c (hex) 44 (dec)",
        "<WARNING> 100% literal, no formatting: %s %n",
        "<Info>  50/15 \xCE\xBCs",
        "",
        longLine,
    };
    EXPECT_EQ(log.lines(), expected);
    log.clear();
    EXPECT_TRUE(log.lines().empty());
}

TEST(Log, ScopedSinksNestAndRestoreThePreviousOne) {
    ScopedMemoryLog outer;
    platform::log("<Info> one");
    {
        ScopedMemoryLog inner;
        platform::log("<Info> two");
        EXPECT_EQ(inner.lines(), std::vector<std::string>{"<Info> two"});
    }
    platform::log("<Info> three");
    EXPECT_EQ(outer.lines(), (std::vector<std::string>{"<Info> one", "<Info> three"}));

    auto mine = std::make_shared<MemoryLogSink>();
    auto previous = setLogSink(mine);
    platform::log("<Info> four");
    EXPECT_EQ(setLogSink(previous), mine);
    platform::log("<Info> five");
    EXPECT_EQ(mine->lines(), std::vector<std::string>{"<Info> four"});
    EXPECT_EQ(outer.lines().back(), "<Info> five");
}

TEST(Log, LinesFromManyThreadsStayWhole) {
    ScopedMemoryLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) platform::log("<Info> thread %d line %d", t, i);
        });
    }
    for (auto& th : threads) th.join();
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) EXPECT_TRUE(line.starts_with("<Info> thread ")) << line;
}

TEST(Format, FormatsShortAndLongTexts) {
    EXPECT_EQ(format("%u%%", 42u), "42%");
    EXPECT_EQ(format("%02lu:%02lu", 3ul, 7ul), "03:07");
    EXPECT_EQ(format("%.0f", 44100.0), "44100");
    const std::string big(10000, 'a');
    EXPECT_EQ(format("[%s]", big.c_str()), "[" + big + "]");
    EXPECT_EQ(format("%s", ""), "");
}

}  // namespace
}  // namespace quiramo::platform
