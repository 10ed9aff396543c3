// The meter against libebur128, an independent implementation of the published
// recommendations, on the same samples. Our K-weighting design and interpolators differ a
// little from the published ones, and the loudness range differs by design (shorter hop for
// short programmes, gate taken from the momentary absolute-gated loudness), so the figures
// agree within tolerances rather than exactly; the differences are printed for the record.

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
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
    std::vector<double> shortTerm;  // libebur128's short-term loudness at our short-term blocks
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
    ends.reserve(plan.momentaryBlocks + plan.shortTermBlocks + 1);
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
            EXPECT_EQ(ebur128_add_frames_double(st.get(), scaled.data() + 2 * fed, e.frame - fed),
                      EBUR128_SUCCESS);
            fed = e.frame;
        }
        if (e.frame == frames && !e.shortTerm) continue;
        double value = 0.0;
        if (e.shortTerm) {
            ebur128_loudness_shortterm(st.get(), &value);
            f.maxShortTerm = std::max(f.maxShortTerm, value);
            f.shortTerm.push_back(value);
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

// The loudness range as we compute it (95th minus 10th percentile of the descending list,
// interpolated), from a set of short-term loudnesses and a gate.
double rangeOf(std::vector<double> levels, double gate) {
    std::sort(levels.begin(), levels.end(), std::greater<>());
    gate = std::max(-70.0, gate);
    const auto n = static_cast<size_t>(
        std::find_if(levels.begin(), levels.end(), [gate](double l) { return !(l > gate); }) -
        levels.begin());
    if (n < 2) return 0.0;
    auto at = [&](double x) {
        const auto i = static_cast<size_t>(x);
        return i + 1 < n ? levels[i] + (x - static_cast<double>(i)) * (levels[i + 1] - levels[i]) : levels[i];
    };
    return at(0.05 * static_cast<double>(n - 1)) - at(0.9 * static_cast<double>(n - 1));
}

// The gate of the published loudness range: 20 LU below the mean power of the short-term
// blocks above -70 LUFS.
double publishedRangeGate(const std::vector<double>& levels) {
    double sum = 0.0;
    size_t n = 0;
    for (const double l : levels) {
        if (l > -70.0) sum += std::pow(10.0, l / 10.0), ++n;
    }
    return n ? 10.0 * std::log10(sum / static_cast<double>(n)) - 20.0 : -70.0;
}

// libebur128's loudness range from the same values: the published gate, then the nearest
// entries (rounded positions) of the ascending list at 10 % and 95 %.
double publishedRange(std::vector<double> levels) {
    const double gate = std::max(-70.0, publishedRangeGate(levels));
    levels.erase(std::remove_if(levels.begin(), levels.end(), [gate](double l) { return !(l > gate); }),
                 levels.end());
    if (levels.empty()) return 0.0;
    std::sort(levels.begin(), levels.end());
    const double last = static_cast<double>(levels.size() - 1);
    return levels[static_cast<size_t>(last * 0.95 + 0.5)] - levels[static_cast<size_t>(last * 0.1 + 0.5)];
}

struct Signal {
    std::string name;
    std::vector<double> samples;
};

std::vector<Signal> signalsAt(double rate) {
    std::vector<Signal> signals;
    signals.push_back({"sine 997 Hz", test::sine(rate, 10.0, 997.0, -18.0, kBits, 2, 0.0, 0.3)});
    signals.push_back({"sine 6 kHz", test::sine(rate, 10.0, 6000.0, -6.0, kBits, 2, 0.1, 1.0)});
    // Peaks between the samples, 3 dB above them at worst.
    signals.push_back({"overs", test::sine(rate, 10.0, rate / 4.0 * 0.999, -1.0, kBits, 2, 0.785, 0.2)});
    signals.push_back({"pink noise", test::pinkNoise(rate, 20.0, -3.0, kBits)});
    signals.push_back({"music-like", test::musicLike(rate, 48.0, -1.0, kBits)});
    // Its first half 9 dB louder and hard-clipped at -1 dBFS, like an over-limited master.
    const auto& music = signals.back().samples;
    std::vector<double> clipped(music.begin(), music.begin() + static_cast<std::ptrdiff_t>(music.size() / 2));
    const double boost = std::pow(10.0, 9.0 / 20.0), limit = test::amplitudeOf(-1.0, kBits);
    for (double& x : clipped) x = std::clamp(x * boost, -limit, limit);
    signals.push_back({"clipped", std::move(clipped)});
    for (Signal& s : signals) test::quantise(s.samples, kBits);
    return signals;
}

// Programme loudness, true peak and the two maxima agree within 0.1. The loudness range
// is taken apart: libebur128's own short-term values, at our blocks and through our gate,
// give our range (so the meters agree block by block); the same values at a 1 s hop,
// through the published gate and with its percentile rule give libebur128's range. What
// lies between the two is the effect of our finer hop for short programmes, of our gate
// reference and of interpolating the percentiles.
TEST(R128AgreementTest, AgreesWithLibebur128) {
    std::printf("%-11s %6s | %8s %8s %6s | %6s %6s %6s | %6s %6s %6s %6s\n", "signal", "rate", "I ours",
                "I ref", "diff", "TP", "M", "S", "LRA", "hop", "gate", "ref");
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        for (const Signal& s : signalsAt(rate)) {
            SCOPED_TRACE(s.name + " at " + std::to_string(rate));
            const R128Result r = ours(s.samples, rate);
            const Figures ref = reference(s.samples, rate, r);
            EXPECT_NEAR(r.loudnessValue, ref.loudness, 0.1);
            EXPECT_NEAR(r.maxTruePeakLevel, ref.truePeak, 0.1);
            EXPECT_NEAR(r.maxMomentaryLoudness, ref.maxMomentary, 0.1);
            EXPECT_NEAR(r.maxShortTermLoudness, ref.maxShortTerm, 0.1);

            const double oursFromReference = rangeOf(ref.shortTerm, r.absoluteGatedLoudness - 20.0);
            std::vector<double> everySecond;
            for (size_t k = 0; k < ref.shortTerm.size(); k += r.shortTermDivisions / 3) {
                everySecond.push_back(ref.shortTerm[k]);
            }
            const double secondHop = rangeOf(everySecond, r.absoluteGatedLoudness - 20.0);
            const double publishedGate = rangeOf(everySecond, publishedRangeGate(everySecond));
            EXPECT_NEAR(r.loudnessRange, oursFromReference, 0.1);
            EXPECT_NEAR(publishedRange(everySecond), ref.range, 0.05);
            std::printf("%-11s %6.0f | %8.3f %8.3f %6.3f | %6.3f %6.3f %6.3f | %6.2f %6.2f %6.2f %6.2f\n",
                        s.name.c_str(), rate, r.loudnessValue, ref.loudness, r.loudnessValue - ref.loudness,
                        r.maxTruePeakLevel - ref.truePeak, r.maxMomentaryLoudness - ref.maxMomentary,
                        r.maxShortTermLoudness - ref.maxShortTerm, r.loudnessRange, secondHop, publishedGate,
                        ref.range);
        }
    }
    std::printf(
        "TP, M, S: ours minus libebur128. LRA: ours; 'hop': at a 1 s hop with our gate; 'gate': at a\n"
        "1 s hop with the published gate; 'ref': libebur128's own (which also takes the nearest\n"
        "entries where we interpolate).\n");
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
