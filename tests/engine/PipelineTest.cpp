#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Pipeline.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Progress.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using namespace catalogue;
using Bytes = std::vector<uint8_t>;

// ---- Kernels ---------------------------------------------------------------------------

struct DecodeCase {
    unsigned sampleBytes;
    int order;
    Bytes stored;
    double expected;
};

TEST(PipelineIntegersToDoubles, SignExtendsInStoredOrder) {
    const DecodeCase cases[] = {
        {2, kBigEndian, {0xFF, 0xFE}, -2.0},
        {2, kLittleEndian, {0xFE, 0xFF}, -2.0},
        {2, kBigEndian, {0x7F, 0xFF}, 32767.0},
        {2, kLittleEndian, {0x00, 0x80}, -32768.0},
        {2, kBigEndian, {0x01, 0x02}, 258.0},
        {3, kLittleEndian, {0x00, 0x00, 0x80}, -8388608.0},
        {3, kBigEndian, {0x80, 0x00, 0x00}, -8388608.0},
        {3, kBigEndian, {0x7F, 0xFF, 0xFF}, 8388607.0},
        {3, kLittleEndian, {0xFF, 0xFF, 0xFF}, -1.0},
        {3, kLittleEndian, {0x01, 0x02, 0x03}, 0x030201},
        {3, kBigEndian, {0x01, 0x02, 0x03}, 0x010203},
    };
    for (const auto& c : cases) {
        double out = 12345.0;
        Progress progress = noProgress();
        ASSERT_TRUE(pipeline::integersToDoubles(c.stored.data(), 1, c.sampleBytes, c.order, &out, progress));
        EXPECT_EQ(out, c.expected) << c.sampleBytes << " bytes, order " << c.order << ", first byte "
                                   << int(c.stored[0]);
    }
}

struct EncodeCase {
    double value;
    unsigned sampleBytes;
    int order;
    Bytes expected;
};

TEST(PipelineDoublesToIntegers, RoundsHalfUpAndKeepsTheLowBytes) {
    const EncodeCase cases[] = {
        {1.5, 2, kLittleEndian, {0x02, 0x00}},
        {-1.5, 2, kLittleEndian, {0xFF, 0xFF}},  // -1
        {-0.4, 2, kLittleEndian, {0x00, 0x00}},
        {2.5, 2, kBigEndian, {0x00, 0x03}},
        {-2.5, 2, kBigEndian, {0xFF, 0xFE}},  // -2
        {-2.0, 2, kBigEndian, {0xFF, 0xFE}},  // whole negatives stay where they are
        {-1.0, 2, kLittleEndian, {0xFF, 0xFF}},
        {-32768.0, 2, kLittleEndian, {0x00, 0x80}},
        {32767.0, 2, kBigEndian, {0x7F, 0xFF}},
        {32767.6, 2, kLittleEndian, {0x00, 0x00}},  // 32768 wraps: level management must prevent it
        {-32769.0, 2, kLittleEndian, {0xFF, 0x7F}},
        {256000.0, 3, kLittleEndian, {0x00, 0xE8, 0x03}},
        {-8388608.0, 3, kBigEndian, {0x80, 0x00, 0x00}},
        {-8388607.5, 3, kBigEndian, {0x80, 0x00, 0x01}},
        {8388608.0, 3, kLittleEndian, {0x00, 0x00, 0x00}},
        {-3.0, 3, kLittleEndian, {0xFD, 0xFF, 0xFF}},
        {-2.0, 4, kBigEndian, {0xFF, 0xFF, 0xFF, 0xFE}},
        {8388608.0, 4, kLittleEndian, {0x00, 0x00, 0x80, 0x00}},  // four-byte samples keep v whole
        {-8388608.0, 4, kLittleEndian, {0x00, 0x00, 0x80, 0xFF}},
        {1e300, 4, kBigEndian, {0x7F, 0xFF, 0xFF, 0xFF}},  // beyond 32 bits: pinned, not undefined
        {NAN, 4, kBigEndian, {0x80, 0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        Bytes out(c.sampleBytes, 0xAA);
        Progress progress = noProgress();
        ASSERT_TRUE(
            pipeline::doublesToIntegers(&c.value, 1, 1, 0, 1, c.sampleBytes, c.order, out.data(), progress));
        EXPECT_EQ(out, c.expected) << c.value << " as " << c.sampleBytes << " bytes, order " << c.order;
    }
}

// Every stored 16-bit value, and 24-bit values across the range, come back byte for byte:
// above all the negative ones, which a plain "+ 0.5 and truncate" would move up by one.
TEST(PipelineDoublesToIntegers, WholeSamplesRoundTripUnchanged) {
    for (unsigned sampleBytes : {2u, 3u}) {
        for (int order : {kBigEndian, kLittleEndian}) {
            Bytes stored;
            const uint32_t stride = sampleBytes == 2 ? 1 : 251;
            for (uint32_t v = 0; v < (1u << (8 * sampleBytes)); v += stride) {
                for (unsigned b = 0; b < sampleBytes; ++b) {
                    const unsigned shift = order == kBigEndian ? 8 * (sampleBytes - 1 - b) : 8 * b;
                    stored.push_back(static_cast<uint8_t>(v >> shift));
                }
            }
            const size_t n = stored.size() / sampleBytes;
            std::vector<double> samples(n);
            Bytes back(stored.size());
            Progress progress = noProgress();
            ASSERT_TRUE(
                pipeline::integersToDoubles(stored.data(), n, sampleBytes, order, samples.data(), progress));
            ASSERT_TRUE(pipeline::doublesToIntegers(samples.data(), n, 1, 0, 1, sampleBytes, order,
                                                    back.data(), progress));
            EXPECT_EQ(back, stored) << sampleBytes << " bytes, order " << order;
        }
    }
}

// The channel-subset outputs pack only their channels of the L, R, C, LFE, sL, sR frame.
TEST(PipelineDoublesToIntegers, SplitOutputsTakeTheirChannelsOfSix) {
    constexpr size_t kFrames = 3;
    std::vector<double> six;
    for (size_t f = 0; f < kFrames; ++f) {
        for (int c = 0; c < 6; ++c) six.push_back(100.0 * (f + 1) + c);  // 10c: frame f, channel c
    }
    struct Split {
        const char* name;
        unsigned first, count;
    };
    for (const Split& s : {Split{"WAV R", 1, 1}, Split{"WAV C+LFE", 2, 2}, Split{"WAV sL+sR", 4, 2},
                           Split{"WAV sR", 5, 1}, Split{"WAV audio", 0, 6}}) {
        Bytes out(kFrames * s.count * 2 + 1, 0xAA);  // one guard byte past the end
        Progress progress = noProgress();
        ASSERT_TRUE(pipeline::doublesToIntegers(six.data(), kFrames, 6, s.first, s.count, 2, kLittleEndian,
                                                out.data(), progress));
        Bytes expected;
        for (size_t f = 0; f < kFrames; ++f) {
            for (unsigned c = s.first; c < s.first + s.count; ++c) {
                const auto v = static_cast<uint16_t>(100 * (f + 1) + c);
                expected.push_back(static_cast<uint8_t>(v));
                expected.push_back(static_cast<uint8_t>(v >> 8));
            }
        }
        expected.push_back(0xAA);
        EXPECT_EQ(out, expected) << s.name;
    }
}

// Triangular dither of one step: u(n) - u(n-1) lies in (-1, 1), the additions telescope to
// the last u (within [-0.5, 0.5)), their variance is 2/12 and neighbours correlate at -1/2.
TEST(PipelineDither, IsTheDifferenceOfSuccessiveUniformValues) {
    constexpr size_t kN = 200000;
    std::vector<double> d(kN, 0.0);
    Progress progress = noProgress();
    ASSERT_TRUE(pipeline::addDither(d.data(), kN, progress));
    double sum = 0.0, sumSq = 0.0, lag = 0.0;
    for (size_t i = 0; i < kN; ++i) {
        ASSERT_GT(d[i], -1.0);
        ASSERT_LT(d[i], 1.0);
        sum += d[i];
        sumSq += d[i] * d[i];
        if (i > 0) lag += d[i] * d[i - 1];
    }
    EXPECT_GE(sum, -0.5 - 1e-6);
    EXPECT_LT(sum, 0.5 + 1e-6);
    const double variance = sumSq / kN;
    EXPECT_NEAR(variance, 1.0 / 6.0, 0.005);
    EXPECT_NEAR(lag / (kN - 1) / variance, -0.5, 0.02);
}

TEST(PipelineDither, AppliesOnlyWithAnEnhancementAndWithoutGrooveNoise) {
    struct Case {
        uint64_t type1, type2;
        int ditherType;
        double grooveNoise;
        bool expected;
    };
    const Case cases[] = {
        {kTypeHR, kTypeNO, 1, -50.0, true},
        {kTypeNO, kTypeNO, 1, -50.0, false},  // Enhancement 1 None: never, whatever ditherType says
        {kTypeNO, kTypeCNR, 1, -50.0, false},
        {kTypeHR, kTypeNO, 2, -50.0, false},
        {kTypeQW, kTypeGR, 1, -50.0, false},
        {kTypeGR, kTypeNO, 1, -50.0, false},
        {kTypeGR, kTypeNO, 1, -70.0, true},
        {kTypeQW, kTypeGR, 1, -70.0, true},
        {kTypeQW, kTypeGR, 1, -69.9, false},
    };
    for (const auto& c : cases) {
        AudioFile job("/tmp/x.wav", false, false);
        job.filterType_1 = c.type1;
        job.filterType_2 = c.type2;
        job.ditherType = c.ditherType;
        job.grooveNoise = c.grooveNoise;
        EXPECT_EQ(pipeline::ditherApplies(job), c.expected)
            << displayName(c.type1) << " + " << displayName(c.type2) << ", dither " << c.ditherType
            << ", noise " << c.grooveNoise;
    }
}

TEST(PipelineKernels, StopAtTheFirstRefusedStep) {
    std::vector<double> samples(1000, 1.0);
    unsigned reports = 0;
    auto refuseSecond = [](void* context, unsigned) { return ++*static_cast<unsigned*>(context) < 2; };
    Progress progress(refuseSecond, &reports, 1, 0);
    EXPECT_FALSE(pipeline::scaleSamples(samples.data(), samples.size(), 2.0, progress));
    EXPECT_EQ(reports, 2u);
    // Two blocks of a hundredth were done, nothing after them.
    EXPECT_EQ(std::count(samples.begin(), samples.end(), 2.0), 20);
}

// ---- ProcessAudioData ---------------------------------------------------------------------

bool anyDoubleBuffer(const AudioFile& job) {
    return !job.audioIn.empty() || !job.audioBuf_0.empty() || !job.audioBuf_0_sub.empty() ||
           !job.audioBuf_1.empty() || !job.audioBuf_2.empty();
}

// Watches the job at every refresh the pipeline posts: how many full-length double buffers
// are alive, and optionally asks the job to stop when a given stage starts.
class WatchingHost : public platform::HeadlessHost {
  public:
    AudioFile* job = nullptr;
    std::string cancelAtState;
    size_t mostBuffers = 0;
    std::vector<std::string> states;

    void postRefresh(const AudioFile* refreshed) override {
        HeadlessHost::postRefresh(refreshed);
        if (!job || refreshed != job) return;
        const size_t live = !job->audioIn.empty() + !job->audioBuf_0.empty() + !job->audioBuf_0_sub.empty() +
                            !job->audioBuf_1.empty() + !job->audioBuf_2.empty();
        mostBuffers = std::max(mostBuffers, live);
        const std::string state = job->text(Column::state);
        if (states.empty() || states.back() != state) states.push_back(state);
        if (!cancelAtState.empty() && state == cancelAtState) job->requestCancel();
    }
};

class PipelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.job = job_.get();
        platform::setHost(&host_);
    }
    void TearDown() override {
        platform::setHost(nullptr);
        setAllocationLimitForTesting(0);
    }

    // A stereo source as the processing driver leaves it before the pipeline: plan 1, the
    // output parameters defaulting to the source's, little-endian WAV output.
    void source(unsigned sampleBytes, int order, const Bytes& stored, double rate = 44100.0) {
        AudioFile& j = *job_;
        j.srcChannels = 2;
        j.srcSampleBytes = sampleBytes;
        j.srcSampleBits = sampleBytes * 8;
        j.srcEndianessData = order;
        j.srcFrames = static_cast<uint32_t>(stored.size() / (2 * sampleBytes));
        j.srcFrameRate = rate;
        j.upsampleType = 1;
        j.dstFrames = j.srcFrames;
        j.dstFrameRate = j.srcFrameRate;
        j.dstSampleBits = j.srcSampleBits;
        j.dstSampleBytes = sampleBytes;
        j.dstChannels_1 = j.dstChannels_2 = j.dstChannelsData = 2;
        j.dstChannelsStart = 0;
        j.dstEndianessData = kLittleEndian;
        j.filterType_1 = j.filterType_2 = kTypeNO;
        CreateSrcAudioData(j, stored.data(), stored.size());
    }

    // 16-bit source samples as stored little-endian.
    static Bytes le16(const std::vector<int>& values) {
        Bytes b;
        for (int v : values) {
            b.push_back(static_cast<uint8_t>(v));
            b.push_back(static_cast<uint8_t>(v >> 8));
        }
        return b;
    }
    static std::vector<int> decodeLe(const ByteBuffer& data, unsigned sampleBytes) {
        std::vector<int> out;
        for (size_t i = 0; i + sampleBytes <= data.size(); i += sampleBytes) {
            uint32_t u = 0;
            for (unsigned b = 0; b < sampleBytes; ++b) u |= uint32_t{data[i + b]} << (8 * b);
            const unsigned unused = 32 - 8 * sampleBytes;
            out.push_back(static_cast<int32_t>(u << unused) >> unused);
        }
        return out;
    }

    std::unique_ptr<AudioFile> job_ = std::make_unique<AudioFile>("/tmp/side-a.wav", false, false);
    WatchingHost host_;
};

TEST_F(PipelineTest, BigEndianSourceComesOutAsTheSameLittleEndianSamples) {
    const std::vector<int> values = {-2, 1, -32768, 32767, 0, -1, 1000, -1000};
    Bytes stored;
    for (int v : values) {
        stored.push_back(static_cast<uint8_t>(v >> 8));
        stored.push_back(static_cast<uint8_t>(v));
    }
    source(2, kBigEndian, stored);
    ProcessAudioData(*job_);

    EXPECT_EQ(job_->error.load(), 0);
    EXPECT_EQ(job_->warning.load(), 0);
    EXPECT_EQ(decodeLe(job_->dstAudioData, 2), values);
    EXPECT_EQ(job_->dstAudioData.size(), stored.size());
    EXPECT_TRUE(job_->srcAudioData.empty());
    EXPECT_FALSE(anyDoubleBuffer(*job_));
    EXPECT_LE(host_.mostBuffers, 2u);
    const std::vector<std::string> stages = {"Converting to double precision...", "Clipping management...",
                                             "Converting to 16-bit..."};
    for (const auto& s : stages)
        EXPECT_NE(std::find(host_.states.begin(), host_.states.end(), s), host_.states.end()) << s;
}

TEST_F(PipelineTest, SixteenBitSourceScalesToTwentyFourBitOutput) {
    source(2, kLittleEndian, le16({1000, -1000, -32768, 32767}));
    job_->dstSampleBits = 24;
    job_->dstSampleBytes = 3;
    ProcessAudioData(*job_);

    EXPECT_EQ(job_->error.load(), 0);
    EXPECT_EQ(decodeLe(job_->dstAudioData, 3), (std::vector<int>{256000, -256000, -8388608, 8388352}));
    EXPECT_EQ(job_->text(Column::sampleSizeBits), "16 > 24");
    EXPECT_FALSE(anyDoubleBuffer(*job_));
}

TEST_F(PipelineTest, FourByteSamplesForFlacOutput) {
    source(3, kLittleEndian, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F});
    job_->dstSampleBytes = 4;
    job_->dstEndianessData = kBigEndian;
    ProcessAudioData(*job_);

    ASSERT_EQ(job_->error.load(), 0);
    EXPECT_EQ(Bytes(job_->dstAudioData.begin(), job_->dstAudioData.end()),
              (Bytes{0xFF, 0x80, 0x00, 0x00, 0x00, 0x7F, 0xFF, 0xFF}));
}

// Dither moves a steady 24-bit level by at most one step, and only when it applies.
TEST_F(PipelineTest, DitherOnlyWithAnEnhancement) {
    for (uint64_t type1 : {kTypeNO, kTypeHR}) {
        job_ = std::make_unique<AudioFile>("/tmp/side-a.wav", false, false);
        host_.job = job_.get();
        Bytes stored;
        for (int i = 0; i < 4096; ++i) stored.insert(stored.end(), {0xE8, 0x03, 0x00});  // 1000
        source(3, kLittleEndian, stored, 96000.0);  // Hi-Res changes neither rate nor word length here
        job_->filterType_1 = type1;
        job_->ditherType = 1;
        ProcessAudioData(*job_);

        ASSERT_EQ(job_->error.load(), 0) << displayName(type1);
        const auto out = decodeLe(job_->dstAudioData, 3);
        ASSERT_EQ(out.size(), 4096u);
        const auto moved = std::count_if(out.begin(), out.end(), [](int v) { return v != 1000; });
        const auto far = std::count_if(out.begin(), out.end(), [](int v) { return std::abs(v - 1000) > 1; });
        EXPECT_EQ(far, 0) << displayName(type1);
        if (type1 == kTypeNO) {
            EXPECT_EQ(moved, 0);
        } else {
            EXPECT_GT(moved, 500);  // a quarter of the samples, about 1000, move by one step
        }
    }
}

TEST_F(PipelineTest, StopHalfWayFreesEveryBufferAndLeavesNoOutput) {
    source(2, kLittleEndian, le16(std::vector<int>(2000, 7)), 96000.0);
    job_->filterType_1 = kTypeHR;
    job_->dstSampleBits = 24;  // Hi-Res output
    job_->dstSampleBytes = 3;
    host_.cancelAtState = "Adding dither noise...";
    ProcessAudioData(*job_);

    EXPECT_EQ(job_->error.load(), kErrorCancelled);
    EXPECT_TRUE(job_->dstAudioData.empty());
    EXPECT_TRUE(job_->srcAudioData.empty());
    EXPECT_FALSE(anyDoubleBuffer(*job_));
    EXPECT_LE(host_.mostBuffers, 2u);
    EXPECT_EQ(std::find(host_.states.begin(), host_.states.end(), "Clipping management..."),
              host_.states.end());
}

TEST_F(PipelineTest, StopWhilePackingLeavesNoHalfOutput) {
    source(2, kLittleEndian, le16(std::vector<int>(2000, 7)));
    host_.cancelAtState = "Converting to 16-bit...";
    ProcessAudioData(*job_);

    EXPECT_EQ(job_->error.load(), kErrorCancelled);
    EXPECT_TRUE(job_->dstAudioData.empty());
    EXPECT_FALSE(anyDoubleBuffer(*job_));
}

TEST_F(PipelineTest, AllocationFailureReportsAndFreesTheSource) {
    source(2, kLittleEndian, le16(std::vector<int>(2000, 7)));
    setAllocationLimitForTesting(1000);  // the source bytes are in; no double buffer fits
    platform::ScopedMemoryLog log;
    ProcessAudioData(*job_);

    EXPECT_EQ(job_->error.load(), kErrorMemory);
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "<ERROR> Memory allocation"), lines.end());
    EXPECT_TRUE(job_->srcAudioData.empty());
    EXPECT_TRUE(job_->dstAudioData.empty());
    EXPECT_FALSE(anyDoubleBuffer(*job_));
}

}  // namespace
}  // namespace quiramo
