#include "dsp/FilterPrimitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "platform/Assert.h"
#include "tests/dsp/Noise.h"

namespace quiramo {
namespace {

using dsp::BiquadCoefficients;
using test::noise;

// A progress that records every percentage reported; it can answer "stop" from a given
// report on, as a cancelled job does.
struct Recorder {
    std::vector<unsigned> reports;
    size_t stopAt = SIZE_MAX;  // index of the first report answered with false

    static bool record(void* self, unsigned percent) {
        auto* r = static_cast<Recorder*>(self);
        r->reports.push_back(percent);
        return r->reports.size() <= r->stopAt;
    }
    Progress progress(uint64_t interval, unsigned start) { return Progress(&record, this, interval, start); }
};

bool bitIdentical(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Second-order Butterworth low-pass by the bilinear transform, corner fc at rate fs.
// Passed with the feedback terms negated, as the section adds them.
BiquadCoefficients butterworthLowPass(double fc, double fs) {
    const double k = std::tan(std::numbers::pi * fc / fs);
    const double norm = 1.0 / (1.0 + std::numbers::sqrt2 * k + k * k);
    const double b0 = k * k * norm;
    const double a1 = 2.0 * (k * k - 1.0) * norm;
    const double a2 = (1.0 - std::numbers::sqrt2 * k + k * k) * norm;
    return {b0, 2.0 * b0, b0, -a1, -a2};
}

// The analogue Butterworth magnitude at the bilinear-warped frequency: what the section
// above must deliver, derived without its coefficients.
double butterworthMagnitude(double f, double fc, double fs) {
    const double ratio = std::tan(std::numbers::pi * f / fs) / std::tan(std::numbers::pi * fc / fs);
    return 1.0 / std::sqrt(1.0 + std::pow(ratio, 4.0));
}

// Amplitude of the component at f in x[from, to), by projection on sine and cosine over
// a whole number of periods.
double amplitudeAt(const std::vector<double>& x, size_t from, size_t to, double f, double fs) {
    double s = 0.0, c = 0.0;
    for (size_t n = from; n < to; ++n) {
        const double w = 2.0 * std::numbers::pi * f * static_cast<double>(n) / fs;
        s += x[n] * std::sin(w);
        c += x[n] * std::cos(w);
    }
    const double len = static_cast<double>(to - from);
    return 2.0 * std::hypot(s, c) / len;
}

// ---- Biquad ---------------------------------------------------------------------------

TEST(BiQuadFilter, UnitSectionCopiesForwardReverseInPlaceOrNot) {
    const BiquadCoefficients unit{1.0, 0.0, 0.0, 0.0, 0.0};
    for (uint32_t channels : {1u, 2u, 3u}) {
        for (bool reverse : {false, true}) {
            for (bool inPlace : {false, true}) {
                SCOPED_TRACE("channels " + std::to_string(channels) + " reverse " + std::to_string(reverse) +
                             " in place " + std::to_string(inPlace));
                const uint64_t frames = 257;
                const std::vector<double> input = noise(frames * channels, 1);
                std::vector<double> buffer = input;
                std::vector<double> out(input.size(), 7.0);
                Progress p = noProgress();
                dsp::biquad(buffer.data(), inPlace ? buffer.data() : out.data(), frames, channels, unit, reverse, p);
                EXPECT_TRUE(bitIdentical(inPlace ? buffer : out, input));
            }
        }
    }
}

// Poles 1/2 and 1/4: c1 = p1 + p2, c2 = −p1·p2, and 1/(1 − c1 z⁻¹ − c2 z⁻²) has the
// impulse response g[n] = (p1^(n+1) − p2^(n+1)) / (p1 − p2).
double twoPoleResponse(int n) {
    if (n < 0) return 0.0;
    return (std::pow(0.5, n + 1) - std::pow(0.25, n + 1)) / 0.25;
}

TEST(BiQuadFilter, ImpulseResponsesForwardAndReverse) {
    const BiquadCoefficients k{2.0, -1.0, 0.5, 0.75, -0.125};
    auto h = [&](int n) {
        return k.b0 * twoPoleResponse(n) + k.b1 * twoPoleResponse(n - 1) + k.b2 * twoPoleResponse(n - 2);
    };
    const int frames = 40;
    Progress p = noProgress();

    std::vector<double> x(frames, 0.0), y(frames, 0.0);
    x[0] = 1.0;
    dsp::biquad(x.data(), y.data(), frames, 1, k, false, p);
    for (int n = 0; n < frames; ++n) EXPECT_NEAR(y[n], h(n), 1e-15) << "forward frame " << n;

    // Reverse from the last frame down: frame 0 is visited last, with no later input.
    dsp::biquad(x.data(), y.data(), frames, 1, k, true, p);
    EXPECT_EQ(y[0], k.b0);
    for (int n = 1; n < frames; ++n) EXPECT_EQ(y[n], 0.0) << "reverse frame " << n;

    // An impulse at the last frame runs backwards in time.
    std::fill(x.begin(), x.end(), 0.0);
    x[frames - 1] = 1.0;
    dsp::biquad(x.data(), y.data(), frames, 1, k, true, p);
    for (int n = 0; n < frames; ++n) EXPECT_NEAR(y[n], h(frames - 1 - n), 1e-15) << "reverse frame " << n;
}

TEST(BiQuadFilter, LowPassMagnitudeMatchesClosedForm) {
    // Forward alone gives |H|; forward then reverse (the zero-phase pair) gives |H|².
    const double fs = 48000.0, fc = 1000.0;
    const BiquadCoefficients k = butterworthLowPass(fc, fs);
    const size_t frames = 48000;
    for (double f : {250.0, 1000.0, 4000.0}) {
        for (bool pair : {false, true}) {
            SCOPED_TRACE("f " + std::to_string(f) + (pair ? " forward+reverse" : " forward"));
            std::vector<double> x(frames);
            for (size_t n = 0; n < frames; ++n) x[n] = std::sin(2.0 * std::numbers::pi * f * n / fs);
            std::vector<double> y(frames);
            Progress p = noProgress();
            dsp::biquad(x.data(), y.data(), frames, 1, k, false, p);
            if (pair) dsp::biquad(y.data(), y.data(), frames, 1, k, true, p);
            // Skip the transients at the start (and the end for the reverse pass): 0.1 s each.
            const double measured = amplitudeAt(y, 4800, pair ? frames - 4800 : frames, f, fs);
            const double expected = std::pow(butterworthMagnitude(f, fc, fs), pair ? 2.0 : 1.0);
            EXPECT_NEAR(measured / expected, 1.0, 1e-6) << "measured " << measured << " expected " << expected;
        }
    }
}

TEST(BiQuadFilter, ForwardThenReverseIsZeroPhaseOnASymmetricSignal) {
    const BiquadCoefficients k = butterworthLowPass(2000.0, 48000.0);
    // A Hann-windowed burst in the middle of silence, symmetric about its centre frame.
    const size_t frames = 2001, centre = 1000, half = 300;
    std::vector<double> x(frames, 0.0);
    for (size_t n = centre - half; n <= centre + half; ++n) {
        const double offset = static_cast<double>(n) - static_cast<double>(centre);
        x[n] = 10000.0 * (0.5 + 0.5 * std::cos(std::numbers::pi * offset / half)) * std::cos(0.4 * offset);
    }
    std::vector<double> y(frames);
    Progress p = noProgress();
    dsp::biquad(x.data(), y.data(), frames, 1, k, false, p);
    dsp::biquad(y.data(), y.data(), frames, 1, k, true, p);
    double peak = 0.0;
    for (double v : y) peak = std::max(peak, std::abs(v));
    ASSERT_GT(peak, 100.0);
    for (size_t d = 1; d <= centre; ++d) {
        ASSERT_NEAR(y[centre - d], y[centre + d], 1e-9 * peak) << "offset " << d;
    }
}

TEST(BiQuadFilter, ChannelsAreIndependent) {
    const BiquadCoefficients k = butterworthLowPass(1000.0, 44100.0);
    const uint64_t frames = 64;
    std::vector<double> x(frames * 2, 0.0), y(frames * 2, 1.0);
    x[1] = 1.0;  // an impulse in channel 1 only
    Progress p = noProgress();
    dsp::biquad(x.data(), y.data(), frames, 2, k, false, p);
    for (uint64_t n = 0; n < frames; ++n) EXPECT_EQ(y[n * 2], 0.0) << "channel 0 frame " << n;
    EXPECT_EQ(y[1], k.b0);
    EXPECT_NE(y[2 * 10 + 1], 0.0);
}

// Channels run in pairs for speed; the definition is one channel after the other. Same
// bits, same reports, whatever the channel count, direction or buffer sharing.
TEST(BiQuadFilter, PairedChannelsMatchOneChannelAtATime) {
    const BiquadCoefficients k = butterworthLowPass(300.0, 96000.0);
    const uint64_t frames = 1001;
    for (uint32_t channels : {2u, 3u, 6u}) {
        for (bool reverse : {false, true}) {
            for (bool inPlace : {false, true}) {
                SCOPED_TRACE("channels " + std::to_string(channels) + " reverse " + std::to_string(reverse) +
                             " in place " + std::to_string(inPlace));
                const std::vector<double> input = noise(frames * channels, channels);

                std::vector<double> expected = input;
                Recorder oneByOne;
                Progress p1 = oneByOne.progress(37, 3);
                for (uint32_t c = 0; c < channels; ++c) {
                    dsp::biquadOneChannel(expected.data(), expected.data(), frames, channels, c, k, reverse, p1);
                }

                std::vector<double> buffer = input, out(input.size(), 0.0);
                Recorder paired;
                Progress p2 = paired.progress(37, 3);
                dsp::biquad(buffer.data(), inPlace ? buffer.data() : out.data(), frames, channels, k, reverse, p2);

                EXPECT_TRUE(bitIdentical(inPlace ? buffer : out, expected));
                EXPECT_EQ(paired.reports, oneByOne.reports);
                EXPECT_EQ(paired.reports.size(), frames * channels / 37);
            }
        }
    }
}

// ---- FIR -------------------------------------------------------------------------------

// The convolution exactly as defined: cleared output, one channel after the other,
// terms added in increasing tap order.
std::vector<double> referenceFir(const std::vector<double>& in, uint64_t frames, uint32_t channels,
                                 const std::vector<double>& taps) {
    std::vector<double> out(frames * channels, 0.0);
    for (uint32_t c = 0; c < channels; ++c) {
        for (uint64_t n = 0; n < frames; ++n) {
            for (uint64_t k = 0; k < taps.size() && k <= n; ++k) {
                out[n * channels + c] += taps[k] * in[(n - k) * channels + c];
            }
        }
    }
    return out;
}

TEST(FiniteImpulseResponse, SmallKernels) {
    struct Case {
        const char* name;
        std::vector<double> taps;
        std::vector<double> in;  // stereo frames
        std::vector<double> out;
    };
    const Case cases[] = {
        {"copy", {1.0}, {1, -1, 2, -2, 3, -3}, {1, -1, 2, -2, 3, -3}},
        {"one-frame delay", {0.0, 1.0}, {1, -1, 2, -2, 3, -3}, {0, 0, 1, -1, 2, -2}},
        // More taps than frames: partial sums, nothing read before frame 0.
        {"partial sums", {1, 2, 4, 8, 16}, {1, -1, 10, -10, 100, -100}, {1, -1, 12, -12, 124, -124}},
        {"no taps", {}, {1, -1, 2, -2}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t frames = c.in.size() / 2;
        // Exactly sized buffers: a read before frame 0 or past the end is caught by the sanitizer.
        std::vector<double> out(c.in.size(), 99.0);
        Progress p = noProgress();
        dsp::fir(c.in.data(), out.data(), frames, 2, c.taps.data(), c.taps.size(), p);
        EXPECT_EQ(out, c.out);
    }
}

// The body of the convolution is summed several outputs at a time; it must give the bits
// of the plain definition at every length around the block and tap boundaries.
TEST(FiniteImpulseResponse, MatchesTheDefinitionBitForBit) {
    const std::vector<double> taps = noise(63, 99);
    for (uint32_t channels : {1u, 2u, 6u}) {
        for (uint64_t frames : {0u, 1u, 5u, 62u, 63u, 64u, 71u, 1000u}) {
            SCOPED_TRACE("channels " + std::to_string(channels) + " frames " + std::to_string(frames));
            const std::vector<double> in = noise(frames * channels, static_cast<unsigned>(frames));
            std::vector<double> out(in.size(), 5.0);
            Recorder r;
            Progress p = r.progress(10, 0);
            dsp::fir(in.data(), out.data(), frames, channels, taps.data(), taps.size(), p);
            EXPECT_TRUE(bitIdentical(out, referenceFir(in, frames, channels, taps)));
            EXPECT_EQ(r.reports.size(), frames * channels / 10);
        }
    }
}

TEST(FiniteImpulseResponse, AssertsWhenTheOutputSharesTheInput) {
    AudioFile job("/x/a.wav", false, false);
    std::vector<double> buffer(16, 1.0);
    const double taps[] = {0.5, 0.5};
    EXPECT_THROW(FiniteImpulseResponse(job, buffer.data(), buffer.data(), 8, 2, taps, 2, 0, 0),
                 platform::AssertionError);
    EXPECT_THROW(FiniteImpulseResponse(job, buffer.data(), buffer.data() + 2, 7, 2, taps, 2, 0, 0),
                 platform::AssertionError);
    EXPECT_EQ(buffer, std::vector<double>(16, 1.0));  // nothing cleared
}

// ---- Gain, rectifier, side signal ----------------------------------------------------------

TEST(PointOperations, GainRectifierAndLeftMinusRight) {
    Progress p = noProgress();

    std::vector<double> g = {1.0, -2.0, 0.0, 3.0};
    dsp::gain(g.data(), 2, 2, -0.5, p);
    EXPECT_EQ(g, (std::vector<double>{-0.5, 1.0, -0.0, -1.5}));

    std::vector<double> r = {-2.0, 0.0, 5.0, -0.0};
    dsp::rectify(r.data(), 4, 1, p);
    EXPECT_EQ(r, (std::vector<double>{2.0, 0.0, 5.0, 0.0}));
    EXPECT_TRUE(std::signbit(r[3])) << "negative zero is not below zero and stays";

    std::vector<double> stereo = {3.0, 1.0, -4.0, 6.0};
    dsp::leftMinusRight(stereo.data(), 2, 2, p);
    EXPECT_EQ(stereo, (std::vector<double>{2.0, 2.0, -10.0, -10.0}));

    // Every further channel becomes L − R too.
    std::vector<double> six = {3.0, 1.0, 7.0, 8.0, 9.0, 10.0};
    dsp::leftMinusRight(six.data(), 1, 6, p);
    EXPECT_EQ(six, std::vector<double>(6, 2.0));
}

TEST(PointOperations, LeftMinusRightAssertsOnOneChannel) {
    AudioFile job("/x/a.wav", false, false);
    std::vector<double> mono = {3.0, 1.0};
    EXPECT_THROW(ChannelLeftMinusRight(job, mono.data(), 2, 1, 0, 0), platform::AssertionError);
    EXPECT_EQ(mono, (std::vector<double>{3.0, 1.0}));
    ChannelLeftMinusRight(job, mono.data(), 0, 1, 0, 0);  // nothing to do: no complaint
    ChannelLeftMinusRight(job, mono.data(), 2, 0, 0, 0);
}

// ---- Stereo crossfeed and width compensation ------------------------------------------------

// First-order high-pass y = b0·x + b1·x[-1] + a·y[-1] with unit gain at the Nyquist rate.
struct HighPass {
    double a = 0.9;
    double b0 = (1.0 + a) / 2.0;
    double b1 = -(1.0 + a) / 2.0;
};

TEST(QuernwaldFilter, NoCrossfeedOrMonoInputPassesUnchanged) {
    const HighPass hp;
    const uint64_t frames = 300;
    const std::vector<double> stereo = noise(frames * 2, 5);
    std::vector<double> mono(frames * 2);
    for (uint64_t n = 0; n < frames; ++n) mono[2 * n] = mono[2 * n + 1] = stereo[2 * n];

    struct Case {
        const char* name;
        const std::vector<double>& in;
        double g;
    };
    const Case cases[] = {{"g = 0", stereo, 0.0}, {"L = R", mono, 0.3}, {"L = R, strong", mono, 1.7}};
    for (const Case& c : cases) {
        for (bool reverse : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (reverse ? " reverse" : " forward"));
            // Into the front pair of a six-channel layout: the other four stay as they were.
            std::vector<double> out(frames * 6, -1.0);
            Progress p = noProgress();
            dsp::quernwald(c.in.data(), out.data(), frames, 2, 6, hp.b0, hp.b1, hp.a, c.g, reverse, p);
            for (uint64_t n = 0; n < frames; ++n) {
                ASSERT_EQ(out[6 * n], c.in[2 * n]) << "frame " << n;
                ASSERT_EQ(out[6 * n + 1], c.in[2 * n + 1]) << "frame " << n;
                for (int ch = 2; ch < 6; ++ch) ASSERT_EQ(out[6 * n + ch], -1.0) << "frame " << n;
            }
        }
    }
}

TEST(QuernwaldFilter, SideSignalAboveTheCornerShrinksByOneMinusTwoG) {
    const HighPass hp;
    const double g = 0.2;
    const uint64_t frames = 400;
    // Input with three channels (the third ignored): a pure side signal at the Nyquist rate
    // on top of a constant mid signal.
    std::vector<double> in(frames * 3);
    for (uint64_t n = 0; n < frames; ++n) {
        const double side = (n % 2 == 0) ? 1000.0 : -1000.0;
        in[3 * n] = 500.0 + side;
        in[3 * n + 1] = 500.0 - side;
        in[3 * n + 2] = 1e9;
    }
    std::vector<double> out(frames * 2);
    Progress p = noProgress();
    dsp::quernwald(in.data(), out.data(), frames, 3, 2, hp.b0, hp.b1, hp.a, g, false, p);
    // After the transient (0.9^300 is negligible): mid kept, side times 1 − 2g.
    for (uint64_t n = 300; n < frames; ++n) {
        const double side = (n % 2 == 0) ? 1000.0 : -1000.0;
        EXPECT_NEAR(out[2 * n], 500.0 + (1.0 - 2.0 * g) * side, 1e-6) << "frame " << n;
        EXPECT_NEAR(out[2 * n + 1], 500.0 - (1.0 - 2.0 * g) * side, 1e-6) << "frame " << n;
    }
}

TEST(QuernwaldFilter, ReverseIsTheForwardFilterOnTimeReversedAudio) {
    const HighPass hp;
    const uint64_t frames = 200;
    const std::vector<double> in = noise(frames * 2, 8);
    std::vector<double> reversedIn(in.size());
    for (uint64_t n = 0; n < frames; ++n) {
        reversedIn[2 * n] = in[2 * (frames - 1 - n)];
        reversedIn[2 * n + 1] = in[2 * (frames - 1 - n) + 1];
    }
    std::vector<double> backward(in.size()), forward(in.size());
    Progress p = noProgress();
    dsp::quernwald(in.data(), backward.data(), frames, 2, 2, hp.b0, hp.b1, hp.a, 0.25, true, p);
    dsp::quernwald(reversedIn.data(), forward.data(), frames, 2, 2, hp.b0, hp.b1, hp.a, 0.25, false, p);
    for (uint64_t n = 0; n < frames; ++n) {
        ASSERT_EQ(backward[2 * n], forward[2 * (frames - 1 - n)]) << "frame " << n;
        ASSERT_EQ(backward[2 * n + 1], forward[2 * (frames - 1 - n) + 1]) << "frame " << n;
    }
}

TEST(QuernwaldFilter, AssertsOnFewerThanTwoChannels) {
    AudioFile job("/x/a.wav", false, false);
    std::vector<double> in(8, 1.0), out(8, 0.0);
    EXPECT_THROW(QuernwaldFilter(job, in.data(), out.data(), 4, 1, 2, 1, 0, 0, 0.1, false, 0, 0),
                 platform::AssertionError);
    EXPECT_THROW(QuernwaldFilter(job, in.data(), out.data(), 4, 2, 1, 1, 0, 0, 0.1, false, 0, 0),
                 platform::AssertionError);
}

TEST(TsymWidthCompensationFilter, WidensTheSideAndKeepsTheMid) {
    AudioFile job("/x/a.wav", false, false);
    const std::vector<double> in = {1.0, 0.0, 1.0, 1.0};
    std::vector<double> out(4);
    TsymWidthCompensationFilter(job, in.data(), out.data(), 2, 2, 0, 0);
    EXPECT_EQ(out[0], 1.15);
    EXPECT_EQ(out[1], -0.15);
    EXPECT_DOUBLE_EQ(out[2], 1.0);
    EXPECT_DOUBLE_EQ(out[3], 1.0);
}

TEST(TsymWidthCompensationFilter, AssertsUnlessStereo) {
    AudioFile job("/x/a.wav", false, false);
    std::vector<double> in(12, 1.0), out(12, 0.0);
    for (uint32_t channels : {0u, 1u, 3u, 6u}) {
        try {
            TsymWidthCompensationFilter(job, in.data(), out.data(), 2, channels, 0, 0);
            ADD_FAILURE() << "no assertion for " << channels << " channels";
        } catch (const platform::AssertionError& e) {
            EXPECT_STREQ(e.what(), "The number of channels must be 2 in TsymWidthCompensationFilter");
        }
    }
    EXPECT_EQ(out, std::vector<double>(12, 0.0));
}

// ---- Progress contract -------------------------------------------------------------------

struct Primitive {
    const char* name;
    uint32_t channels;
    bool perFrame;  // one step per frame instead of per sample
    std::function<void(uint64_t frames, Progress&)> run;
};

std::vector<Primitive> primitives() {
    // Buffers large enough for any case below; the primitives are given the frame count.
    static std::vector<double> a(64, 1.0), b(64, 0.0);
    static const double taps[] = {0.25, 0.5, 0.25};
    const BiquadCoefficients k{0.5, 0.1, 0.0, 0.2, 0.0};
    return {
        {"biquad", 2, false, [=](uint64_t f, Progress& p) { dsp::biquad(a.data(), b.data(), f, 2, k, false, p); }},
        {"biquad mono reverse", 1, false,
         [=](uint64_t f, Progress& p) { dsp::biquad(a.data(), b.data(), f, 1, k, true, p); }},
        {"fir", 2, false, [](uint64_t f, Progress& p) { dsp::fir(a.data(), b.data(), f, 2, taps, 3, p); }},
        {"gain", 2, false, [](uint64_t f, Progress& p) { dsp::gain(b.data(), f, 2, 1.0, p); }},
        {"rectify", 2, false, [](uint64_t f, Progress& p) { dsp::rectify(b.data(), f, 2, p); }},
        {"left minus right", 3, false, [](uint64_t f, Progress& p) { dsp::leftMinusRight(b.data(), f, 3, p); }},
        {"quernwald", 2, true,
         [](uint64_t f, Progress& p) { dsp::quernwald(a.data(), b.data(), f, 2, 6, 1, -1, 0.5, 0.1, false, p); }},
        {"tsym", 2, true, [](uint64_t f, Progress& p) { dsp::tsymWidthCompensation(a.data(), b.data(), f, p); }},
    };
}

// One countdown over the whole call, across channel boundaries: F steps at interval N
// report start + 1 … start + ⌊F / N⌋; an interval of 0 or above F reports nothing.
TEST(ProgressContract, ReportsEveryIntervalStepsFromTheStart) {
    struct Case {
        uint64_t interval;
        unsigned start;
    };
    const uint64_t frames = 3;
    for (const Primitive& prim : primitives()) {
        const uint64_t steps = prim.perFrame ? frames : frames * prim.channels;
        for (const Case& c : {Case{1, 10}, Case{2, 5}, Case{4, 0}, Case{0, 0}, Case{steps + 1, 0}}) {
            SCOPED_TRACE(std::string(prim.name) + " interval " + std::to_string(c.interval) + " start " +
                         std::to_string(c.start));
            Recorder r;
            Progress p = r.progress(c.interval, c.start);
            prim.run(frames, p);
            std::vector<unsigned> expected;
            for (uint64_t i = 1; c.interval != 0 && i <= steps / c.interval; ++i) expected.push_back(c.start + i);
            EXPECT_EQ(r.reports, expected);
        }
    }
    // The plainest case: three samples from 10 report 11, 12 and 13.
    Recorder r;
    Progress p = r.progress(1, 10);
    primitives()[1].run(3, p);
    EXPECT_EQ(r.reports, (std::vector<unsigned>{11, 12, 13}));
}

TEST(ProgressContract, AStopAnswerEndsTheCallAtOnce) {
    for (const Primitive& prim : primitives()) {
        SCOPED_TRACE(prim.name);
        Recorder r;
        r.stopAt = 0;
        Progress p = r.progress(1, 0);
        prim.run(4, p);
        EXPECT_EQ(r.reports.size(), 1u) << "kept going after the stop answer";
    }
}

// The job-level operations report through the job's row and stop a cancelled job.
TEST(ProgressContract, JobOperationsReportThroughTheJob) {
    AudioFile job("/x/a.wav", false, false);
    std::vector<double> x = {1.0, 2.0, 3.0, 4.0}, y(4, 0.0);
    BiQuadFilter(job, x.data(), y.data(), 1, 1, 2.0, 0, 0, 0, 0, false, 1, 99);
    EXPECT_EQ(job.text(Column::progress), "100%");
    EXPECT_EQ(y[0], 2.0);

    job.requestCancel();
    BiQuadFilter(job, x.data(), y.data(), 4, 1, 2.0, 0, 0, 0, 0, false, 1, 0);
    EXPECT_EQ(y, (std::vector<double>{2.0, 0.0, 0.0, 0.0}));  // stopped after its first step
    EXPECT_TRUE(job.error & kErrorCancelled);
}

}  // namespace
}  // namespace quiramo
