// The loudness meter over a whole 10-minute stereo side beside libebur128 in all its modes
// (programme loudness, range, short-term, momentary, true peak), on the same samples:
//   44k16: 44.1 kHz, 16-bit (true peak oversampled 4 times)
//   96k24: 96 kHz, 24-bit (oversampled twice)
// Material: the music-like programme of the loudness tests (passages 45 dB apart, chords,
// drum transients); and a steady tone, the worst case for the true-peak search, where
// every chunk of the side is near the peak and must be interpolated.
//
// libebur128 gets the samples in 100 ms pieces scaled to ±1 (its input scale; the scaling
// is about 1 % of its time), with its momentary and short-term loudness read after each,
// as a meter showing them would; our meter takes the integer-scaled buffer of the pipeline.
//
// Run: bench_loudness                    the four comparisons (a few seconds each)
//      bench_loudness --write-wav=DIR    writes the same material as WAV files for
//                                         bench/compare_loudness.sh

#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/Bytes.h"
#include "measurement/R128Meter.h"
#include "platform/AtomicFile.h"
#include "tests/measurement/ProgrammeSignals.h"

namespace {

using namespace quiramo;

constexpr double kSeconds = 600.0;

struct Side {
    double rate;
    unsigned bits;
    std::vector<double> samples;  // integer scale, interleaved stereo
};

Side makeSide(double rate, unsigned bits, bool tone) {
    Side s{rate, bits,
           tone ? test::sine(rate, kSeconds, 997.0, -1.0, bits, 2, 0.0, 0.5)
                : test::musicLike(rate, kSeconds, -1.0, bits)};
    test::quantise(s.samples, bits);
    return s;
}

// Each side is made once, when a case first needs it.
const Side& side(int which) {
    switch (which) {
        case 0: {
            static const Side s = makeSide(44100.0, 16, false);
            return s;
        }
        case 1: {
            static const Side s = makeSide(96000.0, 24, false);
            return s;
        }
        case 2: {
            static const Side s = makeSide(44100.0, 16, true);
            return s;
        }
        default: {
            static const Side s = makeSide(96000.0, 24, true);
            return s;
        }
    }
}

void measureOurs(benchmark::State& state) {
    const Side& s = side(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        R128Meter meter(s.rate, 2);
        Progress progress = noProgress();
        if (meter.measure(s.samples.data(), s.samples.size() / 2, test::fullScaleOf(s.bits), progress) !=
            R128Meter::Status::ok) {
            state.SkipWithError("measurement failed");
        }
        benchmark::DoNotOptimize(meter.result());
        state.counters["I"] = meter.result().loudnessValue;
        state.counters["TP"] = meter.result().maxTruePeakLevel;
    }
}

void BM_Quiramo(benchmark::State& state) {
    measureOurs(state);
}

// The same without the AVX2 true-peak path, as on a processor without it.
void BM_QuiramoPortable(benchmark::State& state) {
    R128Meter::setVectorExtensionsForTesting(false);
    measureOurs(state);
    R128Meter::setVectorExtensionsForTesting(true);
}

void BM_Libebur128(benchmark::State& state) {
    const Side& s = side(static_cast<int>(state.range(0)));
    const auto rate = static_cast<unsigned long>(s.rate);
    const size_t frames = s.samples.size() / 2, piece = rate / 10;
    const double scale = 1.0 / test::fullScaleOf(s.bits);
    std::vector<double> unit(2 * piece);
    for (auto _ : state) {
        ebur128_state* st = ebur128_init(
            2, rate,
            EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_S | EBUR128_MODE_M | EBUR128_MODE_TRUE_PEAK);
        double maxMomentary = -HUGE_VAL, maxShortTerm = -HUGE_VAL, value = 0.0;
        for (size_t at = 0; at < frames; at += piece) {
            const size_t n = std::min(piece, frames - at);
            for (size_t i = 0; i < 2 * n; ++i) unit[i] = s.samples[2 * at + i] * scale;
            ebur128_add_frames_double(st, unit.data(), n);
            if (ebur128_loudness_momentary(st, &value) == EBUR128_SUCCESS)
                maxMomentary = std::max(maxMomentary, value);
            if (ebur128_loudness_shortterm(st, &value) == EBUR128_SUCCESS)
                maxShortTerm = std::max(maxShortTerm, value);
        }
        double loudness = 0.0, range = 0.0, left = 0.0, right = 0.0;
        ebur128_loudness_global(st, &loudness);
        ebur128_loudness_range(st, &range);
        ebur128_true_peak(st, 0, &left);
        ebur128_true_peak(st, 1, &right);
        ebur128_destroy(&st);
        benchmark::DoNotOptimize(maxMomentary + maxShortTerm + range);
        state.counters["I"] = loudness;
        state.counters["TP"] = 20.0 * std::log10(std::max(left, right));
    }
}

// range(0): 0 music 44k16, 1 music 96k24, 2 tone 44k16, 3 tone 96k24.
void sides(benchmark::internal::Benchmark* b) {
    b->ArgName("side")->Arg(0)->Arg(1)->Arg(2)->Arg(3);
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}

BENCHMARK(BM_Quiramo)->Apply(sides);
BENCHMARK(BM_QuiramoPortable)->Apply(sides);
BENCHMARK(BM_Libebur128)->Apply(sides);

// A canonical 44-byte PCM WAV of the side, little-endian.
bool writeWav(const std::string& path, const Side& s) {
    const uint32_t bytesPerSample = s.bits / 8;
    const auto dataBytes = static_cast<uint32_t>(s.samples.size() * bytesPerSample);
    std::vector<uint8_t> image;
    image.reserve(44 + dataBytes);
    bytes::appendText(image, "RIFF");
    bytes::appendU32LE(image, 36 + dataBytes);
    bytes::appendText(image, "WAVEfmt ");
    bytes::appendU32LE(image, 16);
    bytes::appendU16LE(image, 1);  // integer PCM
    bytes::appendU16LE(image, 2);
    bytes::appendU32LE(image, static_cast<uint32_t>(s.rate));
    bytes::appendU32LE(image, static_cast<uint32_t>(s.rate) * 2 * bytesPerSample);
    bytes::appendU16LE(image, static_cast<uint16_t>(2 * bytesPerSample));
    bytes::appendU16LE(image, static_cast<uint16_t>(s.bits));
    bytes::appendText(image, "data");
    bytes::appendU32LE(image, dataBytes);
    for (const double x : s.samples) {
        const auto v = static_cast<int32_t>(x);  // already integers of the word length
        if (bytesPerSample == 2) {
            bytes::appendU16LE(image, static_cast<uint16_t>(v));
        } else {
            bytes::appendU24LE(image, static_cast<uint32_t>(v));
        }
    }
    platform::AtomicFile file;
    std::string error;
    if (!file.open(path, error) || !file.write(image.data(), image.size(), error) || !file.commit(error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* flag = "--write-wav=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
            const std::string dir = argv[i] + std::strlen(flag);
            const char* names[] = {"music44k16.wav", "music96k24.wav", "tone44k16.wav", "tone96k24.wav"};
            for (int k = 0; k < 4; ++k) {
                if (!writeWav(dir + "/" + names[k], side(k))) return 1;
            }
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
