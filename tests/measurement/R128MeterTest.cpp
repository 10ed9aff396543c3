#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "measurement/R128Meter.h"
#include "measurement/TruePeakInterpolators.h"
#include "tests/measurement/ProgrammeSignals.h"

namespace quiramo {
namespace {

using test::amplitudeOf;
using test::fullScaleOf;

constexpr double kRates[] = {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0};

R128Result measure(const std::vector<double>& samples, double rate, unsigned channels, unsigned bits) {
    R128Meter meter(rate, channels);
    Progress progress = noProgress();
    EXPECT_EQ(meter.measure(samples.data(), samples.size() / channels, fullScaleOf(bits), progress),
              R128Meter::Status::ok);
    return meter.result();
}

TEST(R128MeterTest, KWeightingCoefficientsAt48kHzAreTheDesignValues) {
    const R128Biquad shelf = R128Meter::highShelf(48000.0);
    const R128Biquad pass = R128Meter::highPass(48000.0);
    const double expected[2][5] = {{1.5351722789171889, -2.6917030820199477, 1.1983529243618682,
                                    -1.6906327554159912, 0.73245487667510056},
                                   {0.99504429701789177, -1.9900885940357835, 0.99504429701789177,
                                    -1.9900762840184232, 0.99010090405314388}};
    const R128Biquad* got[2] = {&shelf, &pass};
    for (int s = 0; s < 2; ++s) {
        const double values[5] = {got[s]->b0, got[s]->b1, got[s]->b2, got[s]->a1, got[s]->a2};
        for (int i = 0; i < 5; ++i) {
            EXPECT_NEAR(values[i], expected[s][i], 4e-16 * std::fabs(expected[s][i]))
                << "stage " << s + 1 << " term " << i;
        }
    }
}

TEST(R128MeterTest, OversamplingFactorFollowsTheRate) {
    const unsigned expected[] = {4, 4, 2, 2, 1, 1};
    for (size_t i = 0; i < std::size(kRates); ++i)
        EXPECT_EQ(R128Meter::oversamplingFactor(kRates[i]), expected[i]);
    EXPECT_EQ(R128Meter::oversamplingFactor(22050.0), 0u);
    EXPECT_EQ(R128Meter::oversamplingFactor(48000.5), 0u);
}

// |H(f)| of a symmetric 63-tap filter, f in fractions of the input rate's Nyquist frequency.
double interpolatorGain(const double (&h)[64], unsigned factor, double f) {
    const double w = std::numbers::pi * f / factor;  // radians per output sample
    std::complex<double> sum = 0.0;
    for (int k = 0; k < 63; ++k) sum += h[k] * std::polar(1.0, -w * k);
    return std::abs(sum);
}

// The committed interpolator tables against their design brief, computed independently of
// the script that made them: the given centre taps, symmetry, unity DC gain, the -6 dB
// point and the stop band.
TEST(R128MeterTest, InterpolatorsMeetTheirResponse) {
    struct Case {
        unsigned factor;
        const double (&h)[64];
        double centre[4];
        double attenuation;  // dB, from 1.1 of the input Nyquist frequency upward
    };
    const Case cases[] = {
        {4,
         truepeak::kInterpolator4x,
         {0.23091301950222906, 0.21073340164467416, 0.1566465885447035, 0.08550087131694564},
         44.0},
        {2,
         truepeak::kInterpolator2x,
         {0.46028754757652096, 0.313356704486366, 0.03807902624799945, -0.09193851364816653},
         60.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(c.h[31 - k], c.centre[k]);
            EXPECT_EQ(c.h[31 + k], c.centre[k]);
        }
        double sum = 0.0;
        for (int k = 0; k < 63; ++k) {
            EXPECT_EQ(c.h[k], c.h[62 - k]) << k;
            sum += c.h[k];
        }
        EXPECT_EQ(c.h[63], 0.0);
        EXPECT_NEAR(sum, 1.0, 1e-14);

        // The -6 dB point, found by bisection on the falling edge.
        double lo = 0.8, hi = 1.0;
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (lo + hi);
            (interpolatorGain(c.h, c.factor, mid) > 0.5 ? lo : hi) = mid;
        }
        EXPECT_NEAR(lo, 0.92, 0.012);
        double worst = 0.0;
        for (double f = 1.1; f <= c.factor; f += 0.0005)
            worst = std::max(worst, interpolatorGain(c.h, c.factor, f));
        EXPECT_LT(20.0 * std::log10(worst), -c.attenuation);
        // Flat where music lives: within 0.03 dB up to half the Nyquist frequency.
        for (double f = 0.0; f <= 0.5; f += 0.01) {
            EXPECT_NEAR(20.0 * std::log10(interpolatorGain(c.h, c.factor, f)), 0.0, 0.03) << f;
        }
    }
}

// The reference tone: 997 Hz at -20 dBFS peak in both channels of a stereo programme is
// -20.04 LUFS at every accepted rate, and its true peak is its peak.
TEST(R128MeterTest, ReferenceSineMeasuresMinus20_04AtEveryRate) {
    for (const double rate : kRates) {
        SCOPED_TRACE(rate);
        const R128Result r = measure(test::sine(rate, 4.0, 997.0, -20.0, 24), rate, 2, 24);
        EXPECT_NEAR(r.loudnessValue, -20.04, 0.01);
        EXPECT_NEAR(r.maxMomentaryLoudness, -20.04, 0.01);
        EXPECT_NEAR(r.maxShortTermLoudness, -20.04, 0.01);
        EXPECT_NEAR(r.maxTruePeakLevel, -20.0, 0.02);
        EXPECT_NEAR(r.loudnessRange, 0.0, 0.01);
    }
}

// A quarter-rate sine with its peaks between the samples: every sample is at 0.707 of the
// amplitude, so the sample peak reads 3 dB low; the interpolated peak must find the rest.
// A 10 ms fade-in keeps the onset from ringing (the history before the programme is zero).
// At 176.4 and 192 kHz there is no interpolation and the true peak is the sample peak.
TEST(R128MeterTest, TruePeakFindsInterSamplePeaks) {
    for (const double rate : kRates) {
        SCOPED_TRACE(rate);
        auto samples = test::sine(rate, 1.0, rate / 4.0, -1.0, 24, 2, std::numbers::pi / 4.0);
        const auto fade = static_cast<size_t>(rate * 0.01);
        for (size_t i = 0; i < fade; ++i) {
            const double g = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / fade);
            samples[2 * i] *= g, samples[2 * i + 1] *= g;
        }
        double samplePeak = 0.0;
        for (const double x : samples) samplePeak = std::max(samplePeak, std::fabs(x));
        const double samplePeakDB = 20.0 * std::log10(samplePeak / fullScaleOf(24));
        ASSERT_NEAR(samplePeakDB, -1.0 - 3.0103, 0.001);
        const R128Result r = measure(samples, rate, 2, 24);
        if (R128Meter::oversamplingFactor(rate) == 1) {
            EXPECT_EQ(r.maxTruePeakLevel, samplePeakDB);
        } else {
            EXPECT_NEAR(r.maxTruePeakLevel, -1.0, 0.02);
        }
    }
}

// Near Nyquist the interpolators lose level (their -6 dB point is at 0.92 of it), but the
// samples are points of the signal: a tone at 0.9 of Nyquist reads its sample peak, not the
// 4 dB less the interpolated values alone would give.
TEST(R128MeterTest, TruePeakIsNeverBelowTheSamplePeak) {
    for (const double rate : {44100.0, 96000.0}) {
        SCOPED_TRACE(rate);
        const auto samples = test::sine(rate, 1.0, 0.9 * rate / 2.0, -6.0, 24, 2, 0.3);
        double samplePeak = 0.0;
        for (const double x : samples) samplePeak = std::max(samplePeak, std::fabs(x));
        EXPECT_EQ(measure(samples, rate, 2, 24).maxTruePeakLevel,
                  20.0 * std::log10(samplePeak / fullScaleOf(24)));
    }
}

// The true peak has a portable path and, where the processor has AVX2 and FMA, a vector
// one; they must find the same peak (up to the rounding of fused multiply-adds), including
// the frames left over at the end of a chunk and of the programme.
TEST(R128MeterTest, PortableAndVectorTruePeakAgree) {
    for (const double rate : {44100.0, 96000.0}) {
        SCOPED_TRACE(rate);
        auto samples = test::pinkNoise(rate, 2.0, -1.0, 24, 11);
        samples.resize(samples.size() - 2 * 5);  // a frame count that is no multiple of 8
        const R128Result vector = measure(samples, rate, 2, 24);
        R128Meter::setVectorExtensionsForTesting(false);
        const R128Result portable = measure(samples, rate, 2, 24);
        R128Meter::setVectorExtensionsForTesting(true);
        double samplePeak = 0.0;
        for (const double x : samples) samplePeak = std::max(samplePeak, std::fabs(x));
        EXPECT_GT(portable.maxTruePeakLevel, 20.0 * std::log10(samplePeak / fullScaleOf(24)));
        EXPECT_NEAR(vector.maxTruePeakLevel, portable.maxTruePeakLevel, 1e-9);
    }
}

TEST(R128MeterTest, BlockCountsFollowTheDuration) {
    struct Case {
        double seconds;
        uint64_t momentary;
        uint64_t divisions;
        uint64_t shortTerm;
    };
    // 10 s: 97 momentary blocks; the 3 s hop is halved down to 62.5 ms (D = 48) before
    // there are 100 short-term blocks. 200 s: the usual 1 s hop, 198 blocks.
    const Case cases[] = {{10.0, 97, 48, 113}, {200.0, 1997, 3, 198}, {3.5, 32, 768, 129}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        const std::vector<double> silence(static_cast<size_t>(c.seconds * 44100.0) * 2, 0.0);
        const R128Result r = measure(silence, 44100.0, 2, 16);
        EXPECT_EQ(r.momentaryBlocks, c.momentary);
        EXPECT_EQ(r.shortTermDivisions, c.divisions);
        EXPECT_EQ(r.shortTermBlocks, c.shortTerm);
    }
}

TEST(R128MeterTest, ShortProgrammesMeasureWhatTheyCan) {
    const double rate = 48000.0;
    const R128Result tiny = measure(test::sine(rate, 0.3, 997.0, -20.0, 16), rate, 2, 16);
    EXPECT_FALSE(tiny.momentaryMeasured);
    EXPECT_FALSE(tiny.shortTermMeasured);
    EXPECT_NEAR(tiny.maxTruePeakLevel, -20.0, 0.02);

    const R128Result twoSeconds = measure(test::sine(rate, 2.0, 997.0, -20.0, 16), rate, 2, 16);
    EXPECT_TRUE(twoSeconds.momentaryMeasured);
    EXPECT_FALSE(twoSeconds.shortTermMeasured);
    EXPECT_EQ(twoSeconds.momentaryBlocks, 17u);
    EXPECT_NEAR(twoSeconds.loudnessValue, -20.04, 0.01);
}

// Digital silence: every block is at minus infinity and none passes the gates. The meter
// holds every figure at the floor of -100 instead of dividing by zero.
TEST(R128MeterTest, SilenceReadsTheFloor) {
    const std::vector<double> silence(static_cast<size_t>(12.0 * 48000.0) * 2, 0.0);
    const R128Result r = measure(silence, 48000.0, 2, 16);
    EXPECT_TRUE(r.momentaryMeasured);
    EXPECT_TRUE(r.shortTermMeasured);
    EXPECT_FALSE(r.gated);
    EXPECT_EQ(r.loudnessValue, -100.0);
    EXPECT_EQ(r.absoluteGatedLoudness, -100.0);
    EXPECT_EQ(r.maxMomentaryLoudness, -100.0);
    EXPECT_EQ(r.maxShortTermLoudness, -100.0);
    EXPECT_EQ(r.loudnessRange, 0.0);
    EXPECT_EQ(r.maxTruePeakLevel, -100.0);
}

// Gates and range with a closed-form answer: 20 s of the reference tone at -20 dBFS, then
// 20 s at -40 dBFS (-20.04 and -40.04 LUFS, powers P and p). La = loudness of (P + p) / 2,
// about -22.3: the quiet half is below the relative gate La - 10, so the programme
// loudness is that of the loud half, lowered a little by the three momentary blocks across
// the change (1.5 blocks' worth of P and 1.5 of p among 200 blocks); it is above the range
// gate La - 20, so the range is the 20 dB between the halves.
TEST(R128MeterTest, GatesAndRangeOfTwoLevels) {
    const double rate = 44100.0;
    auto samples = test::sine(rate, 20.0, 997.0, -20.0, 24);
    const auto quiet = test::sine(rate, 20.0, 997.0, -40.0, 24);
    samples.insert(samples.end(), quiet.begin(), quiet.end());
    const R128Result r = measure(samples, rate, 2, 24);
    const double loud = -20.04;
    const double powerLoud = std::pow(10.0, (loud + 0.691) / 10.0), powerSoft = powerLoud / 100.0;
    EXPECT_NEAR(r.absoluteGatedLoudness, -0.691 + 10.0 * std::log10((powerLoud + powerSoft) / 2.0), 0.01);
    EXPECT_NEAR(r.loudnessValue, -0.691 + 10.0 * std::log10((198.5 * powerLoud + 1.5 * powerSoft) / 200.0),
                0.01);
    EXPECT_NEAR(r.loudnessRange, 20.0, 0.01);
    EXPECT_NEAR(r.maxShortTermLoudness, loud, 0.01);
}

// Channel weights by position (L, R, C, LFE, sL, sR): the same tone in one channel at a
// time reads the same in L, R and C, nothing in the LFE, and 1.41 times the power in a
// surround channel.
TEST(R128MeterTest, SixChannelWeights) {
    const double rate = 48000.0;
    const auto tone = test::sine(rate, 4.0, 997.0, -20.0, 24, 1);
    double reference = 0.0;
    const double expected[6] = {0.0, 0.0, 0.0, NAN, 10.0 * std::log10(1.41), 10.0 * std::log10(1.41)};
    for (unsigned c = 0; c < 6; ++c) {
        SCOPED_TRACE(c);
        std::vector<double> six(tone.size() * 6, 0.0);
        for (size_t i = 0; i < tone.size(); ++i) six[i * 6 + c] = tone[i];
        const R128Result r = measure(six, rate, 6, 24);
        if (c == 0) {
            reference = r.loudnessValue;
            // The stereo loop is a separate one: the same left channel must read the same.
            std::vector<double> two(tone.size() * 2, 0.0);
            for (size_t i = 0; i < tone.size(); ++i) two[i * 2] = tone[i];
            EXPECT_EQ(measure(two, rate, 2, 24).loudnessValue, reference);
        }
        if (std::isnan(expected[c])) {
            EXPECT_FALSE(r.gated);
            EXPECT_NEAR(r.maxTruePeakLevel, -20.0, 0.02);  // the true peak looks at every channel
        } else {
            EXPECT_NEAR(r.loudnessValue - reference, expected[c], 1e-9);
        }
    }
}

TEST(R128MeterTest, StopsWhenProgressSaysSo) {
    struct Stopper {
        unsigned reports = 0;
        static bool report(void* self, unsigned) { return ++static_cast<Stopper*>(self)->reports < 5; }
    } stopper;
    const auto samples = test::sine(48000.0, 5.0, 997.0, -20.0, 16);
    R128Meter meter(48000.0, 2);
    Progress progress(&Stopper::report, &stopper, 1, 0);
    EXPECT_EQ(meter.measure(samples.data(), samples.size() / 2, fullScaleOf(16), progress),
              R128Meter::Status::cancelled);
    EXPECT_EQ(stopper.reports, 5u);
}

}  // namespace
}  // namespace quiramo
