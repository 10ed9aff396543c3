// The meter against libebur128, an independent implementation of the published
// recommendations, on the same samples. Our K-weighting design and interpolators differ a
// little from the published ones, and the loudness range differs by design (shorter hop for
// short programmes, gate taken from the momentary absolute-gated loudness), so the figures
// agree within tolerances rather than exactly; the differences are printed for the record.

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "measurement/R128Meter.h"
#include "tests/measurement/ProgrammeSignals.h"

namespace quiramo {
namespace {

constexpr unsigned kBits = 24;

struct Figures {
    double loudness;
    double range;
    double truePeak;  // dBTP
    double maxMomentary;
    double maxShortTerm;
};

R128Result ours(const std::vector<double>& samples, double rate) {
    R128Meter meter(rate, 2);
    Progress progress = noProgress();
    EXPECT_EQ(meter.measure(samples.data(), samples.size() / 2, test::fullScaleOf(kBits), progress),
              R128Meter::Status::ok);
    return meter.result();
}

// libebur128 in all modes, fed up to the end of each of our blocks in turn so that its
// momentary and short-term windows are exactly ours.
Figures reference(const std::vector<double>& samples, double rate, const R128Result& plan) {
    using State = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;
    State st(ebur128_init(2, static_cast<unsigned long>(rate),
                          EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_S | EBUR128_MODE_M |
                              EBUR128_MODE_TRUE_PEAK),
             [](ebur128_state* s) { ebur128_destroy(&s); });
    EXPECT_NE(st, nullptr);

    const uint64_t frames = samples.size() / 2;
    const auto w400 = static_cast<uint64_t>(std::floor(rate * 0.4));
    const auto w3s = static_cast<uint64_t>(std::floor(rate * 3.0));
    struct End {
        uint64_t frame;
        bool shortTerm;
    };
    std::vector<End> ends;
    for (uint64_t k = 0; k < plan.momentaryBlocks; ++k) ends.push_back({k * w400 / 4 + w400, false});
    for (uint64_t k = 0; k < plan.shortTermBlocks; ++k) {
        ends.push_back({k * w3s / plan.shortTermDivisions + w3s, true});
    }
    ends.push_back({frames, false});
    std::stable_sort(ends.begin(), ends.end(), [](const End& a, const End& b) { return a.frame < b.frame; });

    std::vector<double> scaled(samples.size());
    const double scale = 1.0 / test::fullScaleOf(kBits);
    for (size_t i = 0; i < samples.size(); ++i) scaled[i] = samples[i] * scale;

    Figures f{};
    f.maxMomentary = f.maxShortTerm = -HUGE_VAL;
    uint64_t fed = 0;
    for (const End& e : ends) {
        if (e.frame > fed) {
            EXPECT_EQ(ebur128_add_frames_double(st.get(), scaled.data() + 2 * fed, e.frame - fed), EBUR128_SUCCESS);
            fed = e.frame;
        }
        if (e.frame == frames && !e.shortTerm) continue;
        double value = 0.0;
        if (e.shortTerm) {
            ebur128_loudness_shortterm(st.get(), &value);
            f.maxShortTerm = std::max(f.maxShortTerm, value);
        } else {
            ebur128_loudness_momentary(st.get(), &value);
            f.maxMomentary = std::max(f.maxMomentary, value);
        }
    }
    ebur128_loudness_global(st.get(), &f.loudness);
    ebur128_loudness_range(st.get(), &f.range);
    double peak = 0.0;
    for (unsigned c = 0; c < 2; ++c) {
        double p = 0.0;
        ebur128_true_peak(st.get(), c, &p);
        peak = std::max(peak, p);
    }
    f.truePeak = 20.0 * std::log10(peak);
    return f;
}

struct Signal {
    const char* name;
    std::vector<double> (*make)(double rate);
};

const Signal kSignals[] = {
    {"sine 997 Hz", [](double rate) { return test::sine(rate, 20.0, 997.0, -18.0, kBits, 2, 0.0, 0.3); }},
    {"sine 6 kHz", [](double rate) { return test::sine(rate, 20.0, 6000.0, -6.0, kBits, 2, 0.1, 1.0); }},
    {"pink noise", [](double rate) { return test::pinkNoise(rate, 30.0, -3.0, kBits); }},
    {"music-like", [](double rate) { return test::musicLike(rate, 48.0, -1.0, kBits); }},
};

TEST(R128AgreementTest, AgreesWithLibebur128) {
    std::printf("%-12s %7s | %9s %9s %6s | %7s %7s | %7s %7s | %7s %7s\n", "signal", "rate", "I ours", "I ref", "diff",
                "TP diff", "", "M diff", "S diff", "LRA us", "LRA ref");
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        for (const Signal& s : kSignals) {
            SCOPED_TRACE(std::string(s.name) + " at " + std::to_string(rate));
            auto samples = s.make(rate);
            test::quantise(samples, kBits);
            const R128Result r = ours(samples, rate);
            const Figures ref = reference(samples, rate, r);
            std::printf("%-12s %7.0f | %9.4f %9.4f %6.3f | %7.3f %7s | %7.3f %7.3f | %7.3f %7.3f\n", s.name, rate,
                        r.loudnessValue, ref.loudness, r.loudnessValue - ref.loudness,
                        r.maxTruePeakLevel - ref.truePeak, "", r.maxMomentaryLoudness - ref.maxMomentary,
                        r.maxShortTermLoudness - ref.maxShortTerm, r.loudnessRange, ref.range);
            EXPECT_NEAR(r.loudnessValue, ref.loudness, 0.1);
            EXPECT_NEAR(r.maxTruePeakLevel, ref.truePeak, 0.1);
            EXPECT_NEAR(r.maxMomentaryLoudness, ref.maxMomentary, 0.1);
            EXPECT_NEAR(r.maxShortTermLoudness, ref.maxShortTerm, 0.1);
            EXPECT_NEAR(r.loudnessRange, ref.range, 1.0);
        }
    }
}

// The offset of our K-weighting design against the published filter, rate by rate, on
// broadband material (pink noise): a few hundredths of a LU, largest at 44.1 kHz.
TEST(R128AgreementTest, KWeightingOffsetPerRate) {
    for (const double rate : {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
        auto samples = test::pinkNoise(rate, 10.0, -3.0, kBits, 3);
        const R128Result r = ours(samples, rate);
        const Figures ref = reference(samples, rate, r);
        const double offset = r.loudnessValue - ref.loudness;
        std::printf("K-weighting offset at %6.0f Hz: %+.4f LU\n", rate, offset);
        RecordProperty("offset_" + std::to_string(static_cast<int>(rate)), std::to_string(offset));
        EXPECT_LT(std::fabs(offset), 0.05) << rate;
    }
}

}  // namespace
}  // namespace quiramo
