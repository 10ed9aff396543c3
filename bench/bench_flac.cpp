// FLAC encoding (verify on, level 5, into a file) and decoding (the whole stream into packed
// samples in memory) of a 10-minute 96 kHz 24-bit stereo side. bench/compare_flac.sh times
// `flac -5` and `flac -d` on the same material in the same run.
//
// The material: QUIRAMO_BENCH_WAV (a 24-bit WAV, read once before timing) and
// QUIRAMO_BENCH_FLAC (the file to decode) when set; otherwise 10 minutes of synthetic
// programme-like noise, encoded by our writer for the decoding benchmark.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/FlacReader.h"
#include "formats/FlacWriter.h"
#include "formats/WavReader.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace {

using namespace quiramo;

constexpr uint32_t kRate = 96000;
constexpr uint32_t kFrames = kRate * 600;
constexpr uint32_t kChannels = 2;

std::string temporaryPath(const char* name) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/quiramo-bench-" + std::to_string(::getpid()) +
           "-" + name;
}

// Low-passed noise with a slow level swell: compresses like music rather than like white noise.
void synthesise(AudioFile& job) {
    uint32_t x = 2024;
    double l = 0.0, r = 0.0;
    for (uint32_t i = 0; i < kFrames; ++i) {
        const double swell = 0.3 + 0.2 * std::sin(2.0 * M_PI * i / (kRate * 7.0));
        x = x * 1664525u + 1013904223u;
        l = 0.95 * l + 0.05 * (static_cast<int32_t>(x) / 2147483648.0);
        x = x * 1664525u + 1013904223u;
        r = 0.95 * r + 0.05 * (static_cast<int32_t>(x) / 2147483648.0);
        const auto sl = static_cast<int32_t>(std::lround(8388607.0 * swell * (4.0 * l)));
        const auto sr = static_cast<int32_t>(std::lround(8388607.0 * swell * (4.0 * r)));
        bytes::writeU32LE(&job.dstAudioData[8 * size_t{i}], static_cast<uint32_t>(sl));
        bytes::writeU32LE(&job.dstAudioData[8 * size_t{i} + 4], static_cast<uint32_t>(sr));
    }
}

// A conversion ready for the FLAC writer: 32-bit samples from the WAV named by
// QUIRAMO_BENCH_WAV, or synthetic ones.
std::unique_ptr<AudioFile> conversion() {
    const char* wav = std::getenv("QUIRAMO_BENCH_WAV");
    auto job = std::make_unique<AudioFile>(wav ? wav : "/tmp/synthetic.wav", false, false);
    job->dstFileType = catalogue::kFileFLAC;
    job->dstEndianessValues = job->dstEndianessData = kLittleEndian;
    job->dstSampleBits = 24;
    job->dstSampleBytes = 4;
    job->dstChannelsData = job->dstChannels_2 = kChannels;
    job->dstFrameRate = kRate;
    job->dstFrames = kFrames;
    if (wav) {
        AnalyseWAV(*job, false);
        if (job->error || job->srcSampleBytes != 3) return nullptr;
        job->dstChannelsData = job->dstChannels_2 = job->srcChannels;
        job->dstFrames = job->srcFrames;
        job->dstFrameRate = job->srcFrameRate;
    }
    const size_t samples = size_t{job->dstFrames} * job->dstChannelsData;
    if (!allocateBuffer(*job, job->dstAudioData, samples * 4)) return nullptr;
    if (wav) {
        for (size_t i = 0; i < samples; ++i) {
            const uint32_t v = bytes::readU24LE(&job->srcAudioData[3 * i]);
            bytes::writeU32LE(&job->dstAudioData[4 * i], v & 0x800000 ? v | 0xFF000000 : v);
        }
        job->srcAudioData.release();
    } else {
        synthesise(*job);
    }
    return job;
}

void BM_FlacEncode(benchmark::State& state) {
    platform::setLogSink(platform::makeNullSink());
    auto job = conversion();
    if (!job) return state.SkipWithError("no material");
    const std::string out = temporaryPath("encode.flac");
    for (auto _ : state) {
        job->error = 0;
        CreateDestBufferFLAC(*job, out);
        state.PauseTiming();
        if (job->error) state.SkipWithError("encoding failed");
        ::unlink(out.c_str());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{job->dstFrames});
}

void BM_FlacDecode(benchmark::State& state) {
    platform::setLogSink(platform::makeNullSink());
    std::string path;
    std::string madeHere;
    if (const char* flac = std::getenv("QUIRAMO_BENCH_FLAC")) {
        path = flac;
    } else {
        auto job = conversion();
        if (!job) return state.SkipWithError("no material");
        madeHere = path = temporaryPath("decode.flac");
        ::unlink(path.c_str());
        CreateDestBufferFLAC(*job, path);
        if (job->error) return state.SkipWithError("encoding failed");
    }
    uint32_t frames = 0;
    for (auto _ : state) {
        AudioFile job(path, false, false);
        AnalyseFLAC(job, false);
        if (job.error) state.SkipWithError("decoding failed");
        frames = job.srcFrames;
        benchmark::DoNotOptimize(job.srcAudioData.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{frames});
    if (!madeHere.empty()) ::unlink(madeHere.c_str());
}

BENCHMARK(BM_FlacEncode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FlacDecode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
