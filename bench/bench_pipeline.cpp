// The pipeline's own whole-side loops (integer/double conversions, dither, word-length
// scaling) and clipping management, beside a plain copy of the same doubles as the memory
// baseline. One minute of 96 kHz 24-bit stereo per iteration (11.5 million samples).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/ClippingManagement.h"
#include "engine/Pipeline.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace {

using namespace quiramo;

constexpr size_t kFrames = 96000 * 60;
constexpr size_t kSamples = kFrames * 2;

std::vector<uint8_t> stored24() {
    std::vector<uint8_t> b(kSamples * 3);
    uint32_t x = 12345;
    for (auto& v : b) v = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
    return b;
}

std::vector<double> levels() {
    std::vector<double> d(kSamples);
    uint32_t x = 777;
    for (auto& v : d) v = static_cast<int32_t>((x = x * 1664525u + 1013904223u)) / 256.0;  // 24-bit range
    return d;
}

void BM_CopyDoubles(benchmark::State& state) {
    const auto in = levels();
    std::vector<double> out(kSamples);
    for (auto _ : state) {
        std::copy(in.begin(), in.end(), out.begin());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_IntegersToDoubles24LE(benchmark::State& state) {
    const auto in = stored24();
    std::vector<double> out(kSamples);
    for (auto _ : state) {
        Progress p(nullptr, nullptr, 1, 0);
        pipeline::integersToDoubles(in.data(), kSamples, 3, kLittleEndian, out.data(), p);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_DoublesToIntegers24LE(benchmark::State& state) {
    const auto in = levels();
    std::vector<uint8_t> out(kSamples * 3);
    for (auto _ : state) {
        Progress p(nullptr, nullptr, 1, 0);
        pipeline::doublesToIntegers(in.data(), kFrames, 2, 0, 2, 3, kLittleEndian, out.data(), p);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_DoublesToIntegers16BE(benchmark::State& state) {
    auto in = levels();
    for (auto& v : in) v /= 256.0;
    std::vector<uint8_t> out(kSamples * 2);
    for (auto _ : state) {
        Progress p(nullptr, nullptr, 1, 0);
        pipeline::doublesToIntegers(in.data(), kFrames, 2, 0, 2, 2, kBigEndian, out.data(), p);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_ScaleSamples(benchmark::State& state) {
    auto d = levels();
    for (auto _ : state) {
        Progress p(nullptr, nullptr, 1, 0);
        pipeline::scaleSamples(d.data(), kSamples, 1.0, p);
        benchmark::DoNotOptimize(d.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_AddDither(benchmark::State& state) {
    std::vector<double> d(kSamples);
    for (auto _ : state) {
        Progress p(nullptr, nullptr, 1, 0);
        pipeline::addDither(d.data(), kSamples, p);
        benchmark::DoNotOptimize(d.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

// The survey and a clamp of the few samples over 24-bit full scale.
void BM_ClippingManagementClamp(benchmark::State& state) {
    platform::setLogSink(platform::makeNullSink());
    platform::HeadlessHost host;
    host.setStoredSetting("ClipManagement", "2");
    platform::setHost(&host);
    const auto in = levels();
    AudioFile job("/tmp/bench.wav", false, false);
    job.dstSampleBits = 24;
    job.dstFrames = kFrames;
    job.dstChannels_2 = 2;
    job.audioBuf_2.allocate(kSamples);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(in.begin(), in.end(), job.audioBuf_2.begin());
        job.audioBuf_2[kSamples / 2] = 9e6;
        state.ResumeTiming();
        ClippingManagement(job, 4);
        benchmark::DoNotOptimize(job.audioBuf_2.data());
    }
    platform::setHost(nullptr);
    state.SetItemsProcessed(state.iterations() * kSamples);
}

BENCHMARK(BM_CopyDoubles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IntegersToDoubles24LE)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DoublesToIntegers24LE)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DoublesToIntegers16BE)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddDither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClippingManagementClamp)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
