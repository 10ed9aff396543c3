#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "dsp/FilterTables.h"
#include "tests/dsp/RateTestSignals.h"

namespace quiramo {
namespace {

using test::responseDb;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct Stopband {
    double from;   // fraction of the filter's rate
    double maxDb;  // nowhere above this from `from` to half the rate
};

struct FilterCase {
    const char* name;
    const double* taps;
    size_t count;
    double centre, neighbour, end;  // the reference values every build must carry
    double passbandEdge;            // -0.1 dB here, within 0.1 dB below it (kNone: not stated)
    double sixDb;                   // where the response falls through -6 dB
    std::vector<Stopband> stopbands;
};

template <size_t N>
FilterCase make(const char* name, const std::array<double, N>& taps, double centre, double neighbour,
                double end, double edge, double six, std::vector<Stopband> stop) {
    return {name, taps.data(), N, centre, neighbour, end, edge, six, std::move(stop)};
}

std::vector<FilterCase> filterCases() {
    using namespace dsp;
    return {
        make("decimation", kDecimationTaps, 0.37560437066577124, 0.29375141238809666, -0.00015626862824802182,
             0.168, 0.187, {{0.239, -60.0}, {0.27, -72.0}}),
        make("2x interpolation", kInterpolationTaps, 0.5322424652143581, 0.3158998073002625,
             1.868860917660169e-05, 0.244, 0.2655, {{0.30, -41.0}, {0.40, -76.5}}),
        make("hi-res interpolation", kHiResTaps, 0.4089895452724446, 0.30491207029288486,
             -1.599162416729831e-05, 0.187, 0.2045, {{0.225, -60.0}, {0.2268, -66.0}}),
        make("wind-up 44.1 kHz by 3/4", kWindUpTaps441Quarter, 0.2426707495973281, kNone,
             -0.012812695225711023, kNone, 0.120, {}),
        make("wind-up 44.1 kHz by 3/6-3/8", kWindUpTaps441, 0.13820557541815492, kNone, -0.008953345114526199,
             kNone, 0.0635, {}),
        make("wind-up 88.2 kHz by 3/4", kWindUpTaps882Quarter, 0.11544241107489024, kNone,
             -0.016687982247368675, kNone, 0.0565, {}),
        make("wind-up 88.2 kHz by 3/6-3/8", kWindUpTaps882, 0.05307046939271317, kNone, 0.0035054094338314067,
             kNone, 0.0275, {}),
    };
}

// Shape, reference taps and gain at DC: the properties the conversions rely on without
// measuring a response.
TEST(FilterTables, AreSymmetricWithUnitDcGainAndCarryTheReferenceTaps) {
    for (const FilterCase& f : filterCases()) {
        SCOPED_TRACE(f.name);
        const size_t mid = f.count / 2;
        ASSERT_EQ(f.count % 2, 1u);
        for (size_t k = 0; k < mid; ++k) ASSERT_EQ(f.taps[k], f.taps[f.count - 1 - k]) << "tap " << k;
        EXPECT_NEAR(std::accumulate(f.taps, f.taps + f.count, 0.0), 1.0, 1e-12);
        EXPECT_EQ(f.taps[mid], f.centre);
        if (!std::isnan(f.neighbour)) {
            EXPECT_EQ(f.taps[mid + 1], f.neighbour);
        }
        EXPECT_EQ(f.taps[0], f.end);
    }
}

// The response measured from the committed taps against each filter's stated passband,
// -6 dB point and stopband.
TEST(FilterTables, MeasuredResponseMeetsTheStatedPassbandCutoffAndStopband) {
    constexpr double kStep = 2e-5;
    for (const FilterCase& f : filterCases()) {
        SCOPED_TRACE(f.name);
        if (!std::isnan(f.passbandEdge)) {
            double worst = 0.0;
            for (double x = 0.0; x <= f.passbandEdge; x += kStep)
                worst = std::max(worst, std::abs(responseDb(f.taps, f.count, x)));
            EXPECT_LE(worst, 0.1 + 1e-6) << "passband ripple";
            EXPECT_NEAR(responseDb(f.taps, f.count, f.passbandEdge), -0.1, 0.005) << "-0.1 dB point";
        }
        // The -6 dB point: the first frequency where the response falls through -6 dB.
        double cut = 0.0;
        for (double x = 0.0; x < 0.5; x += kStep) {
            if (responseDb(f.taps, f.count, x) < -6.0) {
                cut = x;
                break;
            }
        }
        EXPECT_NEAR(cut, f.sixDb, 5e-4) << "-6 dB point";
        for (const Stopband& s : f.stopbands) {
            double worst = -400.0;
            for (double x = s.from; x <= 0.5; x += kStep)
                worst = std::max(worst, responseDb(f.taps, f.count, x));
            EXPECT_LE(worst, s.maxDb) << "stopband from " << s.from;
        }
    }
}

}  // namespace
}  // namespace quiramo
