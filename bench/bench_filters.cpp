// The filter kernels over a whole 10-minute 96 kHz stereo side (57.6 M frames).
//
// Biquad: the recurrence bounds a scalar section, so one channel after the other is
// compared with both channels as independent chains in one loop (same bits, same reports).
// FIR: the 63-tap convolution of its one caller, the blocked direct form against a plain
// one-output-at-a-time sum, on one minute of the same audio to keep the run short.
//
// Run: bench_filters --benchmark_filter=Biquad   (each case takes a few seconds)

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "dsp/FilterPrimitives.h"
#include "engine/record/Buffer.h"

namespace {

using namespace quiramo;

constexpr uint64_t kSideFrames = 10ull * 60 * 96000;
constexpr uint64_t kMinuteFrames = 60ull * 96000;
constexpr uint32_t kChannels = 2;

struct Side {
    SampleBuffer in, out;
    Side() {
        if (!in.allocate(kSideFrames * kChannels) || !out.allocate(kSideFrames * kChannels)) std::abort();
        // Touch the output once so that no case pays the first-touch page faults.
        for (double& x : out) x = 1.0;
        // 24-bit-scale noise from a cheap generator: the filter's speed does not depend on it.
        uint64_t state = 0x9E3779B97F4A7C15ull;
        for (double& x : in) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            x = static_cast<double>(static_cast<int32_t>(state >> 40) - (1 << 23));
        }
    }
};

Side& side() {
    static Side s;
    return s;
}

// A progress that fires once per hundredth, as the callers set it, and never stops.
Progress hundredths(uint64_t steps) {
    return Progress([](void*, unsigned) { return true; }, nullptr, progressInterval(steps), 0);
}

// 2nd-order low-pass at 1 kHz, 96 kHz (bilinear Butterworth), feedback terms added.
dsp::BiquadCoefficients lowPass() {
    const double k = std::tan(std::numbers::pi * 1000.0 / 96000.0);
    const double norm = 1.0 / (1.0 + std::numbers::sqrt2 * k + k * k);
    const double b0 = k * k * norm;
    return {b0, 2.0 * b0, b0, -2.0 * (k * k - 1.0) * norm, -(1.0 - std::numbers::sqrt2 * k + k * k) * norm};
}

void BM_BiquadOneChannelAtATime(benchmark::State& state) {
    Side& s = side();
    const auto k = lowPass();
    for (auto _ : state) {
        Progress p = hundredths(kSideFrames * kChannels);
        for (uint32_t c = 0; c < kChannels; ++c) {
            dsp::biquadOneChannel(s.in.data(), s.out.data(), kSideFrames, kChannels, c, k, false, p);
        }
        benchmark::DoNotOptimize(s.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kSideFrames * kChannels));
}
BENCHMARK(BM_BiquadOneChannelAtATime)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BiquadInterleavedChains(benchmark::State& state) {
    Side& s = side();
    const auto k = lowPass();
    for (auto _ : state) {
        Progress p = hundredths(kSideFrames * kChannels);
        dsp::biquad(s.in.data(), s.out.data(), kSideFrames, kChannels, k, false, p);
        benchmark::DoNotOptimize(s.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kSideFrames * kChannels));
}
BENCHMARK(BM_BiquadInterleavedChains)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr uint64_t kTaps = 63;

const double* firTaps() {
    // A windowed-sinc low-pass; the values do not matter for the speed.
    static double taps[kTaps];
    for (uint64_t i = 0; i < kTaps; ++i) {
        const double t = static_cast<double>(i) - (kTaps - 1) / 2.0;
        const double sinc = t == 0.0 ? 0.25 : std::sin(0.25 * std::numbers::pi * t) / (std::numbers::pi * t);
        taps[i] = sinc * (0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (kTaps - 1)));
    }
    return taps;
}

// The baseline: each output sums its taps alone, so every addition waits for the last.
void BM_FirOneOutputAtATime(benchmark::State& state) {
    Side& s = side();
    const double* taps = firTaps();
    const double* in = s.in.data();
    double* out = s.out.data();
    for (auto _ : state) {
        for (uint32_t c = 0; c < kChannels; ++c) {
            for (uint64_t n = 0; n < kMinuteFrames; ++n) {
                double acc = 0.0;
                for (uint64_t k = 0; k < kTaps && k <= n; ++k) acc += taps[k] * in[(n - k) * kChannels + c];
                out[n * kChannels + c] = acc;
            }
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kMinuteFrames * kChannels));
}
BENCHMARK(BM_FirOneOutputAtATime)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FirBlocked(benchmark::State& state) {
    Side& s = side();
    const double* taps = firTaps();
    for (auto _ : state) {
        Progress p = hundredths(kMinuteFrames * kChannels);
        dsp::fir(s.in.data(), s.out.data(), kMinuteFrames, kChannels, taps, kTaps, p);
        benchmark::DoNotOptimize(s.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kMinuteFrames * kChannels));
}
BENCHMARK(BM_FirBlocked)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
