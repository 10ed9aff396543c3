#pragma once
// Small source files for the suites that take files through the real passes: samples and
// FLAC files from our own encoder. What a pass left in a folder is read back with the
// helpers of tests/support/TestEnvironment.h.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "formats/FlacWriter.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo::test {

using Bytes = std::vector<uint8_t>;

// A quiet sine, interleaved, each sample `width` bytes in the given order (8-bit samples
// unsigned, as WAV stores them).
inline Bytes pcm(uint32_t frames, uint16_t channels, unsigned width, bool bigEndian = false) {
    Bytes b;
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint16_t c = 0; c < channels; ++c) {
            const double x = std::sin(0.05 * i + c) * 0.25 * std::ldexp(1.0, 8 * static_cast<int>(width) - 1);
            auto v = static_cast<uint32_t>(static_cast<int32_t>(std::lround(x)));
            if (width == 1) v += 0x80;
            for (unsigned k = 0; k < width; ++k) {
                b.push_back(static_cast<uint8_t>(v >> (bigEndian ? 8 * (width - 1 - k) : 8 * k)));
            }
        }
    }
    return b;
}

// A FLAC file of the same sine written by our own encoder; empty if it failed.
inline Bytes flacFile(const TempDir& dir, uint16_t channels, uint16_t bits, uint32_t frames) {
    AudioFile job("made.flac", false, false);
    job.dstChannelsData = channels;
    job.dstSampleBits = bits;
    job.dstSampleBytes = 4;  // the encoder takes 32-bit right-justified samples
    job.dstFrames = frames;
    job.dstFrameRate = 44100;
    job.dstEndianessData = kLittleEndian;
    Bytes samples;
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint16_t c = 0; c < channels; ++c) {
            const double x = std::sin(0.05 * i + c) * 0.25 * std::ldexp(1.0, bits - 1);
            bytes::appendU32LE(samples, static_cast<uint32_t>(static_cast<int32_t>(std::lround(x))));
        }
    }
    if (!job.dstAudioData.allocate(samples.size())) return {};
    std::copy(samples.begin(), samples.end(), job.dstAudioData.data());
    const std::string path =
        dir.file("made-" + std::to_string(channels) + "-" + std::to_string(bits) + ".flac");
    std::remove(path.c_str());
    CreateDestBufferFLAC(job, path);
    Bytes file = job.error == 0 ? readFile(path) : Bytes();
    std::remove(path.c_str());
    return file;
}

}  // namespace quiramo::test
