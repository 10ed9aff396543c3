#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "engine/record/AudioFile.h"
#include "engine/record/Buffer.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

struct LimitGuard {
    explicit LimitGuard(size_t bytes) { setAllocationLimitForTesting(bytes); }
    ~LimitGuard() { setAllocationLimitForTesting(0); }
};

bool allZero(const SampleBuffer& b) {
    return std::all_of(b.begin(), b.end(), [](double v) { return v == 0.0; });
}

// Small buffers come from the heap, large ones (from 4 MiB) from a huge-page mapping.
constexpr size_t kSmall = 1000;
constexpr size_t kLarge = (size_t{5} << 20) / sizeof(double) + 3;  // just over 5 MiB

TEST(SampleBuffer, ComesZeroFilledAgainAfterReuse) {
    for (size_t count : {kSmall, kLarge}) {
        SCOPED_TRACE(count);
        for (int round = 0; round < 3; ++round) {
            SampleBuffer b;
            ASSERT_TRUE(b.allocate(count));
            ASSERT_EQ(b.size(), count);
            ASSERT_FALSE(b.empty());
            EXPECT_TRUE(allZero(b));
            std::fill(b.begin(), b.end(), -1.5);  // dirty memory a later allocation may be given
            ASSERT_TRUE(b.allocate(count));       // re-allocating replaces the contents
            EXPECT_TRUE(allZero(b));
            std::fill(b.begin(), b.end(), 7.0);
        }
    }
}

TEST(SampleBuffer, LargeBuffersStartOnA2MiBBoundary) {
    SampleBuffer b;
    ASSERT_TRUE(b.allocate(kLarge));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.data()) % (uintptr_t{2} << 20), 0u);
    b[kLarge - 1] = 1.0;  // the last element is inside the mapping
    EXPECT_EQ(b[kLarge - 1], 1.0);
    b.release();
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.data(), nullptr);
}

TEST(SampleBuffer, ResizeKeepsThePrefixAndZeroesTheRest) {
    struct Case {
        size_t from, to;
    };
    // Within each path and across the heap/mapping threshold both ways.
    const Case cases[] = {{10, 20}, {20, 10}, {kSmall, kLarge}, {kLarge, kSmall}, {kLarge, kLarge + 1000},
                          {10, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        SampleBuffer b;
        ASSERT_TRUE(b.allocate(c.from));
        for (size_t i = 0; i < c.from; ++i) b[i] = static_cast<double>(i) + 0.5;
        ASSERT_TRUE(b.resize(c.to));
        ASSERT_EQ(b.size(), c.to);
        const size_t keep = std::min(c.from, c.to);
        size_t wrong = 0;
        for (size_t i = 0; i < keep; ++i) wrong += b[i] != static_cast<double>(i) + 0.5;
        for (size_t i = keep; i < c.to; ++i) wrong += b[i] != 0.0;
        EXPECT_EQ(wrong, 0u);
    }
}

TEST(SampleBuffer, RefusesSizesThatCannotBeHad) {
    SampleBuffer b;
    ASSERT_TRUE(b.allocate(4));
    EXPECT_FALSE(b.allocate(SIZE_MAX / sizeof(double) + 1));  // the byte count would overflow
    EXPECT_TRUE(b.empty());
    EXPECT_FALSE(b.allocate(SIZE_MAX / sizeof(double)));  // no mapping that large
    EXPECT_TRUE(b.empty());
    EXPECT_TRUE(b.allocate(0));
    EXPECT_TRUE(b.empty());

    ASSERT_TRUE(b.allocate(16));
    b[3] = 2.0;
    {
        LimitGuard limit(64);
        EXPECT_FALSE(b.resize(100));  // a failed resize leaves the buffer as it was
    }
    EXPECT_EQ(b.size(), 16u);
    EXPECT_EQ(b[3], 2.0);
}

TEST(SampleBuffer, MovesOwnership) {
    SampleBuffer a;
    ASSERT_TRUE(a.allocate(kLarge));
    a[5] = 3.0;
    const double* p = a.data();
    SampleBuffer b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(b.data(), p);
    SampleBuffer c;
    ASSERT_TRUE(c.allocate(8));
    c = std::move(b);
    EXPECT_EQ(c.data(), p);
    EXPECT_EQ(c[5], 3.0);
}

TEST(AllocateBuffer, AFailureLogsAndSetsError2) {
    platform::ScopedMemoryLog log;
    AudioFile job("/x/a.wav", false, false);
    SampleBuffer samples;
    ByteBuffer bytes;
    {
        LimitGuard limit(4096);
        EXPECT_TRUE(allocateBuffer(job, samples, 512));  // exactly at the limit
        EXPECT_EQ(job.error, 0);
        EXPECT_TRUE(log.lines().empty());
        EXPECT_FALSE(allocateBuffer(job, samples, 513));
        EXPECT_TRUE(samples.empty());
        EXPECT_FALSE(allocateBuffer(job, bytes, 4097));
    }
    EXPECT_EQ(job.error, kErrorMemory);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"<ERROR> Memory allocation", "<ERROR> Memory allocation"}));
    EXPECT_TRUE(allocateBuffer(job, bytes, 4097));
    EXPECT_EQ(bytes.size(), 4097u);
}

}  // namespace
}  // namespace quiramo

namespace quiramo {
namespace {

// A large block comes back from the spare pool for the next buffer of about its size; it
// must come back zeroed, and a block of very different size must not be handed out.
TEST(BufferRecycling, ARecycledBlockIsZeroedAgain) {
    constexpr size_t kCount = (size_t{16} << 20) / sizeof(double);
    SampleBuffer first;
    ASSERT_TRUE(first.allocate(kCount));
    for (auto& v : first) v = 1.5;
    const double* oldBlock = first.data();
    first.release();

    SampleBuffer second;
    ASSERT_TRUE(second.allocate(kCount - 1000));
    EXPECT_EQ(second.data(), oldBlock) << "a block of about the same size is reused";
    EXPECT_TRUE(std::all_of(second.begin(), second.end(), [](double v) { return v == 0.0; }));
    second.release();

    SampleBuffer small;
    ASSERT_TRUE(small.allocate(kCount / 3));
    EXPECT_NE(small.data(), oldBlock) << "a much smaller buffer gets its own block";
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](double v) { return v == 0.0; }));
    releaseSpareMemory();
}

}  // namespace
}  // namespace quiramo
