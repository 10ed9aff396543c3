#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/FilterTables.h"
#include "dsp/RateConversion.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Log.h"
#include "tests/dsp/Noise.h"
#include "tests/dsp/RateTestSignals.h"

namespace quiramo {
namespace {

using test::fitTone;
using test::noise;
using test::stereoTone;

// The filters written as plainly as they are defined, for comparison with the fast kernels.
// Decimation: filter every frame at the input rate, keep the even ones.
std::vector<double> referenceDecimate(const std::vector<double>& in, const double* h, size_t taps) {
    const size_t frames = in.size() / 2;
    std::vector<double> filtered(in.size(), 0.0), out(in.size(), 0.0);
    for (size_t i = 0; i < frames; ++i)
        for (size_t j = 0; j <= std::min(i, taps - 1); ++j)
            for (size_t c = 0; c < 2; ++c) filtered[2 * i + c] += h[j] * in[2 * (i - j) + c];
    for (size_t k = 0; k < frames / 2; ++k)
        for (size_t c = 0; c < 2; ++c) out[2 * k + c] = filtered[4 * k + c];
    return out;
}

// Interpolation: a zero after every frame, then the doubled taps at the output rate.
std::vector<double> referenceInterpolate(const std::vector<double>& in, unsigned channels, const double* h,
                                         size_t taps) {
    const size_t frames = in.size() / channels;
    std::vector<double> stuffed(2 * in.size(), 0.0), out(2 * in.size(), 0.0);
    for (size_t i = 0; i < frames; ++i)
        for (unsigned c = 0; c < channels; ++c) stuffed[2 * i * channels + c] = in[i * channels + c];
    for (size_t n = 0; n < 2 * frames; ++n)
        for (size_t k = 0; k <= std::min(n, taps - 1); ++k)
            for (unsigned c = 0; c < channels; ++c)
                out[n * channels + c] += 2.0 * h[k] * stuffed[(n - k) * channels + c];
    return out;
}

void expectClose(const std::vector<double>& actual, const std::vector<double>& expected, size_t count) {
    ASSERT_GE(actual.size(), count);
    ASSERT_GE(expected.size(), count);
    for (size_t n = 0; n < count; ++n) ASSERT_NEAR(actual[n], expected[n], 1e-8) << "sample " << n;
}

TEST(RateKernels, DecimationMatchesThePlainFilterAtEveryLength) {
    Progress none = noProgress();
    // Around the frames that need the cut-off sum, the side buffer of the in-place pass and
    // the unrolled blocks.
    for (size_t frames : {0, 1, 2, 3, 117, 118, 119, 235, 236, 237, 238, 239, 240, 245, 1001}) {
        SCOPED_TRACE(frames);
        const std::vector<double> in = noise(2 * frames, static_cast<unsigned>(frames));
        const std::vector<double> expected = referenceDecimate(in, dsp::kDecimationTaps.data(), 119);
        std::vector<double> audio = in;
        ASSERT_TRUE(dsp::decimateStereoByTwo(audio.data(), frames, dsp::kDecimationTaps.data(), 119, none));
        expectClose(audio, expected, audio.size());  // kept frames, then zeros
    }
}

TEST(RateKernels, InterpolationMatchesThePlainFilterInPlaceOrNot) {
    Progress none = noProgress();
    struct Filter {
        const double* taps;
        size_t count;
    };
    for (Filter f : {Filter{dsp::kInterpolationTaps.data(), 119}, Filter{dsp::kHiResTaps.data(), 253}}) {
        for (unsigned channels : {1u, 2u, 3u, 6u}) {
            for (size_t frames : {0, 1, 2, 58, 59, 60, 61, 125, 126, 127, 128, 131, 700}) {
                SCOPED_TRACE(testing::Message()
                             << f.count << " taps, " << channels << " channels, " << frames);
                const std::vector<double> in =
                    noise(frames * channels, static_cast<unsigned>(frames + channels));
                const std::vector<double> expected = referenceInterpolate(in, channels, f.taps, f.count);
                std::vector<double> out(2 * in.size(), 0.0);
                ASSERT_TRUE(
                    dsp::interpolateByTwo(in.data(), out.data(), frames, channels, f.taps, f.count, none));
                expectClose(out, expected, out.size());
                std::vector<double> inPlace(2 * in.size(), 0.0);
                std::copy(in.begin(), in.end(), inPlace.begin());
                ASSERT_TRUE(dsp::interpolateByTwo(inPlace.data(), inPlace.data(), frames, channels, f.taps,
                                                  f.count, none));
                expectClose(inPlace, expected, inPlace.size());
            }
        }
    }
}

// A stop answered by the progress report ends a kernel at once.
TEST(RateKernels, StopAtTheNextProgressReport) {
    struct Stopper {
        int reports = 0;
        static bool report(void* self, unsigned) { return ++static_cast<Stopper*>(self)->reports < 3; }
    };
    std::vector<double> audio = noise(2 * 4000, 1), out(4 * 4000);
    Stopper a, b;
    Progress pa(&Stopper::report, &a, 10, 0), pb(&Stopper::report, &b, 10, 0);
    EXPECT_FALSE(dsp::decimateStereoByTwo(audio.data(), 4000, dsp::kDecimationTaps.data(), 119, pa));
    EXPECT_FALSE(dsp::interpolateByTwo(audio.data(), out.data(), 4000, 2, dsp::kHiResTaps.data(), 253, pb));
    EXPECT_EQ(a.reports, 3);
    EXPECT_EQ(b.reports, 3);
}

// A stereo job at `rate` with `frames` frames of `audio` in audioIn, as the processing driver
// sets it up for plan `upsampleType`.
void setUp(AudioFile& job, double rate, uint32_t frames, int upsampleType, const std::vector<double>& audio) {
    job.srcChannels = job.dstChannels_1 = job.dstChannels_2 = job.dstChannelsData = 2;
    job.upsampleType = upsampleType;
    job.srcFrames = frames;
    job.srcFrameRate = rate;
    job.dstFrames = upsampleType == 2 ? 2 * frames : frames;
    job.dstFrameRate = upsampleType == 2 ? 2 * rate : rate;
    ASSERT_TRUE(job.audioIn.allocate(size_t{frames} * 2));
    std::copy(audio.begin(), audio.end(), job.audioIn.begin());
}

// What the pipeline does around the stages: down-sampling, audioBuf_0, the stages (here a
// copy into audioBuf_2, with room for the doubling in plan 4), up-sampling back.
void runRateChain(AudioFile& job) {
    QuadDownSample(job);
    ASSERT_TRUE(job.audioBuf_0.allocate(size_t{job.dstFrames} * 2));
    DualUpSample(job);
    job.audioIn.release();
    const size_t samples = size_t{job.dstFrames} * 2;
    ASSERT_TRUE(job.audioBuf_2.allocate(job.upsampleType == 4 ? 2 * samples : samples));
    std::copy(job.audioBuf_0.data(), job.audioBuf_0.data() + samples, job.audioBuf_2.data());
    job.audioBuf_0.release();
    QuadUpSample(job);
}

struct ToneCase {
    double freq;
    double minLoss, maxLoss;  // dB
};

void expectLoss(double amplitudeIn, double amplitudeOut, const ToneCase& t) {
    const double loss = 20.0 * std::log10(amplitudeIn / amplitudeOut);
    EXPECT_GE(loss, t.minLoss);
    EXPECT_LE(loss, t.maxLoss);
}

TEST(RateConversion, RoundTripAt192kHzKeepsTheRateEvensTheFramesAndShapesTones) {
    // 1 kHz passes, 36 kHz sits at the decimation filter's -6 dB point, 40 kHz in its
    // transition band.
    for (ToneCase t : {ToneCase{1000, -0.1, 0.1}, ToneCase{36000, 5.5, 7.5}, ToneCase{40000, 28.0, 30.0}}) {
        SCOPED_TRACE(t.freq);
        AudioFile job("/tmp/high.wav", false, false);
        setUp(job, 192000, 48001, 4, stereoTone(48001, t.freq, 192000, 10000.0));
        runRateChain(job);
        EXPECT_EQ(job.srcFrames, 48000u);
        EXPECT_EQ(job.dstFrames, 48000u);
        EXPECT_EQ(job.srcFrameRate, 192000.0);
        EXPECT_EQ(job.dstFrameRate, 192000.0);
        // Away from the filters' start-up and the end.
        const auto left = fitTone(job.audioBuf_2.data(), 2, 0, 1000, 46000, t.freq, 192000);
        const auto right = fitTone(job.audioBuf_2.data(), 2, 1, 1000, 46000, t.freq, 192000);
        expectLoss(10000.0, left.amplitude, t);
        expectLoss(5000.0, right.amplitude, t);
    }
}

TEST(RateConversion, HiResDoublesFramesAndRateAndShapesTones) {
    // 10 kHz passes, 18 kHz sits at the filter's -6 dB point, 20 kHz is stopped: the doubled
    // material keeps nothing above the old band.
    for (ToneCase t :
         {ToneCase{10000, -0.1, 0.1}, ToneCase{18000, 5.25, 6.75}, ToneCase{20000, 70.0, 200.0}}) {
        SCOPED_TRACE(t.freq);
        AudioFile job("/tmp/cd.wav", false, false);
        setUp(job, 44100, 22051, 2, stereoTone(22051, t.freq, 44100, 10000.0));
        runRateChain(job);
        EXPECT_EQ(job.srcFrames, 22051u);
        EXPECT_EQ(job.dstFrames, 44102u);
        EXPECT_EQ(job.dstFrameRate, 88200.0);
        const auto left = fitTone(job.audioBuf_2.data(), 2, 0, 1000, 42000, t.freq, 88200);
        const auto right = fitTone(job.audioBuf_2.data(), 2, 1, 1000, 42000, t.freq, 88200);
        expectLoss(10000.0, left.amplitude, t);
        expectLoss(5000.0, right.amplitude, t);
    }
}

TEST(RateConversion, HiResImpulseResponseIsTheDoubledFilter) {
    AudioFile job("/tmp/cd.wav", false, false);
    std::vector<double> impulse(2 * 200, 0.0);
    impulse[0] = 1.0;
    impulse[1] = -0.5;
    setUp(job, 48000, 200, 2, impulse);
    ASSERT_TRUE(job.audioBuf_0.allocate(400 * 2));
    DualUpSample(job);
    for (size_t n = 0; n < 400; ++n) {
        const double tap =
            n < dsp::kHiResTaps.size() ? dsp::kHiResTaps[n] : 0.0;  // frame 253: the appended zero
        ASSERT_EQ(job.audioBuf_0[2 * n], 2.0 * tap) << "frame " << n;
        ASSERT_EQ(job.audioBuf_0[2 * n + 1], -tap) << "frame " << n;
    }
}

TEST(RateConversion, OtherPlansCopyTheSourceUnchanged) {
    for (int plan : {1, 4, 8}) {
        SCOPED_TRACE(plan);
        AudioFile job("/tmp/a.wav", false, false);
        const std::vector<double> audio = noise(2 * 1001, 7);
        setUp(job, 44100, 1001, plan, audio);
        job.upsampleType = plan;  // the copy does not look at the rate
        ASSERT_TRUE(job.audioBuf_0.allocate(2 * 1001));
        DualUpSample(job);
        EXPECT_EQ(std::memcmp(job.audioBuf_0.data(), audio.data(), audio.size() * sizeof(double)), 0);
        EXPECT_EQ(job.dstFrames, 1001u);
    }
}

TEST(RateConversion, DownSamplingHalvesFrameCountsRoundingDown) {
    struct Count {
        uint32_t in, out;
    };
    for (Count c : {Count{1, 0}, Count{2, 1}, Count{3, 1}, Count{240, 120}, Count{241, 120}}) {
        SCOPED_TRACE(c.in);
        AudioFile job("/tmp/high.wav", false, false);
        setUp(job, 176400, c.in, 4, noise(2 * c.in, c.in));
        QuadDownSample(job);
        EXPECT_EQ(job.srcFrames, c.out);
        EXPECT_EQ(job.dstFrames, c.out);
        EXPECT_EQ(job.srcFrameRate, 88200.0);
        EXPECT_EQ(job.dstFrameRate, 88200.0);
        for (size_t n = 2 * size_t{c.out}; n < 2 * size_t{c.in}; ++n) ASSERT_EQ(job.audioIn[n], 0.0) << n;
    }
}

TEST(RateConversion, HalfSpeedPlanStaysAtTheHalvedRate) {
    AudioFile job("/tmp/halfspeed.wav", false, false);
    setUp(job, 192000, 9601, 8, stereoTone(9601, 1000, 192000, 10000.0));
    runRateChain(job);
    EXPECT_EQ(job.srcFrames, 4800u);
    EXPECT_EQ(job.dstFrames, 4800u);
    EXPECT_EQ(job.srcFrameRate, 96000.0);
    EXPECT_EQ(job.dstFrameRate, 96000.0);
    EXPECT_NEAR(fitTone(job.audioBuf_2.data(), 2, 0, 500, 4000, 1000, 96000).amplitude, 10000.0, 12.0);
}

TEST(RateConversion, StagesLogAndShowTheirStateAndFillTheProgress) {
    platform::ScopedMemoryLog log;
    AudioFile job("/tmp/high.wav", false, false);
    setUp(job, 192000, 48001, 4, noise(2 * 48001, 3));

    QuadDownSample(job);
    EXPECT_EQ(job.text(Column::state), "High sample rate processing...");
    EXPECT_EQ(job.text(Column::progress), "100%");
    ASSERT_TRUE(job.audioBuf_2.allocate(4 * 24000));
    QuadUpSample(job);
    EXPECT_EQ(job.text(Column::state), "Hi-Res processing...");
    EXPECT_EQ(job.text(Column::progress), "100%");

    AudioFile cd("/tmp/cd.wav", false, false);
    setUp(cd, 44100, 4410, 2, noise(2 * 4410, 4));
    ASSERT_TRUE(cd.audioBuf_0.allocate(4 * 4410));
    DualUpSample(cd);
    EXPECT_EQ(cd.text(Column::state), "Hi-Res upconversion...");
    EXPECT_EQ(cd.text(Column::frameRate), "44100 > 88200");
    EXPECT_EQ(cd.text(Column::progress), "100%");

    EXPECT_EQ(log.lines(), (std::vector<std::string>{"<Info>  High sample rate processing (1/2)",
                                                     "<Info>  Hi-Res processing (2/2)",
                                                     "<Info>  Hi-Res upconversion to 88200.0 Hz"}));
    EXPECT_EQ(job.error, 0);
    EXPECT_EQ(cd.error, 0);
}

TEST(RateConversion, InconsistentPlansAreInternalErrors) {
    struct Case {
        const char* expected;
        void (*run)(AudioFile&);
        void (*spoil)(AudioFile&);
        int plan;
        double rate;
    };
    const Case cases[] = {
        {"Unexpected frame rate in QuadDownSample", QuadDownSample, [](AudioFile&) {}, 4, 96000},
        {"Unexpected frame rate in QuadUpSample", QuadUpSample, [](AudioFile&) {}, 4, 192000},
        {"The number of channels must be 2 in DualUpSample", DualUpSample,
         [](AudioFile& j) { j.srcChannels = 1; }, 1, 44100},
        {"Source and destination frames do not match in DualUpSample", DualUpSample,
         [](AudioFile& j) { j.dstFrames = 99; }, 1, 44100},
        {"Source and destination frames match in DualUpSample", DualUpSample,
         [](AudioFile& j) { j.dstFrames = j.srcFrames; }, 2, 44100},
        // A stage buffer without room for the doubled frames is refused, not overrun.
        {"Missing audio buffer in QuadUpSample", QuadUpSample,
         [](AudioFile& j) { ASSERT_TRUE(j.audioBuf_2.allocate(2 * j.dstFrames * 2 - 1)); }, 4, 96000},
        {"Missing audio buffer in DualUpSample", DualUpSample,
         [](AudioFile& j) { ASSERT_TRUE(j.audioBuf_0.allocate(2 * j.dstFrames - 1)); }, 2, 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        AudioFile job("/tmp/a.wav", false, false);
        setUp(job, c.rate, 100, c.plan, noise(200, 1));
        ASSERT_TRUE(job.audioBuf_0.allocate(400));
        ASSERT_TRUE(job.audioBuf_2.allocate(800));
        c.spoil(job);
        try {
            c.run(job);
            ADD_FAILURE() << "no assertion";
        } catch (const platform::AssertionError& e) {
            EXPECT_EQ(std::string(e.what()), c.expected);
        }
    }
}

}  // namespace
}  // namespace quiramo
