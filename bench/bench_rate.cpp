// Rate conversion and speed change kernels on 10 minutes of stereo material.
// Compare with bench/compare_rate.sh, which times other tools on the same lengths.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "dsp/FilterTables.h"
#include "dsp/RateConversion.h"
#include "dsp/SpeedChange.h"
#include "engine/record/Buffer.h"
#include "engine/record/Progress.h"

namespace {

using namespace quiramo;

constexpr uint64_t kSeconds = 600;

// Noise at a 24-bit scale; the filters' speed does not depend on the values.
void fill(SampleBuffer& b) {
    uint32_t state = 12345;
    for (double& x : b) {
        state = state * 1664525u + 1013904223u;
        x = static_cast<double>(static_cast<int32_t>(state) >> 8);
    }
}

// 44.1 to 88.2 kHz (hi-res up-conversion into a separate buffer).
void BM_HiResUpsample44100(benchmark::State& state) {
    const uint64_t frames = 44100 * kSeconds;
    SampleBuffer in, out;
    if (!in.allocate(2 * frames) || !out.allocate(4 * frames)) return state.SkipWithError("memory");
    fill(in);
    for (auto _ : state) {
        Progress none = noProgress();
        dsp::interpolateByTwo(in.data(), out.data(), frames, 2, dsp::kHiResTaps.data(),
                              dsp::kHiResTaps.size(), none);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames));
}

// 192 to 96 kHz (in place, as before the stages).
void BM_Downsample192000(benchmark::State& state) {
    const uint64_t frames = 192000 * kSeconds;
    SampleBuffer source, audio;
    if (!source.allocate(2 * frames) || !audio.allocate(2 * frames)) return state.SkipWithError("memory");
    fill(source);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin(), source.end(), audio.begin());
        state.ResumeTiming();
        Progress none = noProgress();
        dsp::decimateStereoByTwo(audio.data(), frames, dsp::kDecimationTaps.data(),
                                 dsp::kDecimationTaps.size(), none);
        benchmark::DoNotOptimize(audio.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames));
}

// 96 back to 192 kHz (in place, as after the stages).
void BM_Upsample96000(benchmark::State& state) {
    const uint64_t frames = 96000 * kSeconds;
    SampleBuffer source, audio;
    if (!source.allocate(2 * frames) || !audio.allocate(4 * frames)) return state.SkipWithError("memory");
    fill(source);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin(), source.end(), audio.begin());
        state.ResumeTiming();
        Progress none = noProgress();
        dsp::interpolateByTwo(audio.data(), audio.data(), frames, 2, dsp::kInterpolationTaps.data(),
                              dsp::kInterpolationTaps.size(), none);
        benchmark::DoNotOptimize(audio.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames));
}

// 33.3 to 78 RPM at 96 kHz (the speed change with the most output frames is 3/4; 3/7 the
// least; both in place).
void BM_WindUp96000(benchmark::State& state) {
    const uint64_t frames = 96000 * kSeconds;
    const auto n = static_cast<unsigned>(state.range(0));
    SampleBuffer source, audio;
    if (!source.allocate(2 * frames) || !audio.allocate(2 * frames)) return state.SkipWithError("memory");
    fill(source);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin(), source.end(), audio.begin());
        state.ResumeTiming();
        Progress none = noProgress();
        uint64_t kept = 0;
        const auto& taps = n == 4 ? dsp::kWindUpTaps882Quarter : dsp::kWindUpTaps882;
        dsp::windUpStereo(audio.data(), frames, n, taps.data(), taps.size(), kept, none);
        benchmark::DoNotOptimize(audio.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames));
}

BENCHMARK(BM_HiResUpsample44100)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Downsample192000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Upsample96000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WindUp96000)->Arg(4)->Arg(7)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
