// Our outputs of every format, read by other programs: sox and ffprobe must find the rate,
// channels and bits we meant, and sox must decode the very samples we wrote (which catches a
// byte order named in the header but not used in the data).

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/AiffWriter.h"
#include "formats/Bytes.h"
#include "formats/FlacWriter.h"
#include "formats/WavWriter.h"
#include "platform/AtomicFile.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/support/ExternalTool.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::captureCommand;
using test::shellQuote;

struct Output {
    const char* name;
    int type;
    uint32_t channels, bits, frames;
    double rate;
    int dataOrder;
    const char* ffmpegCodec;  // nullptr: ffprobe does not read this form
};

constexpr Output kOutputs[] = {
    {"wav16", catalogue::kFileWAV, 2, 16, 1001, 44100.0, kLittleEndian, "pcm_s16le"},
    {"wav24-mono-odd", catalogue::kFileWAV, 1, 24, 1001, 96000.0, kLittleEndian, "pcm_s24le"},
    {"aiff16", catalogue::kFileAIFF, 2, 16, 1001, 48000.0, kBigEndian, "pcm_s16be"},
    {"aiff24-88k2", catalogue::kFileAIFF, 2, 24, 999, 88200.0, kBigEndian, "pcm_s24be"},
    {"aiff24-176k4", catalogue::kFileAIFF, 2, 24, 1000, 176400.0, kBigEndian, "pcm_s24be"},
    {"aifc-sowt", catalogue::kFileAIFC, 2, 16, 1001, 88200.0, kLittleEndian, "pcm_s16le"},
    {"aifc-none-hires", catalogue::kFileAIFC, 2, 24, 1001, 96000.0, kBigEndian, "pcm_s24be"},
    // ffprobe takes every "sowt" file for 16 bits; sox reads it right.
    {"aifc-sowt-192k", catalogue::kFileAIFC, 2, 24, 1000, 192000.0, kLittleEndian, nullptr},
    {"flac16", catalogue::kFileFLAC, 2, 16, 5001, 44100.0, kLittleEndian, "flac"},
    {"flac24", catalogue::kFileFLAC, 2, 24, 5001, 96000.0, kLittleEndian, "flac"},
};

std::vector<int32_t> samples(size_t count, unsigned bits) {
    std::vector<int32_t> s(count);
    uint32_t x = 99;
    for (auto& v : s) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<int32_t>(x) >> (32 - bits);
    }
    return s;
}

void putSample(uint8_t* p, int32_t v, unsigned bytesPerSample, int order) {
    const auto u = static_cast<uint32_t>(v);
    switch (bytesPerSample) {
        case 2:
            order == kBigEndian ? bytes::writeU16BE(p, static_cast<uint16_t>(u))
                                : bytes::writeU16LE(p, static_cast<uint16_t>(u));
            break;
        case 3:
            order == kBigEndian ? bytes::writeU24BE(p, u) : bytes::writeU24LE(p, u);
            break;
        default:
            order == kBigEndian ? bytes::writeU32BE(p, u) : bytes::writeU32LE(p, u);
            break;
    }
}

// Writes the output as the processing pass does and returns its path.
std::string writeOutput(const Output& o, const std::vector<int32_t>& s, const test::TempDir& dir) {
    AudioFile job("/tmp/source.wav", false, false);
    const bool flac = o.type == catalogue::kFileFLAC;
    job.dstFileType = o.type;
    job.dstEndianessValues =
        o.type == catalogue::kFileAIFF || o.type == catalogue::kFileAIFC ? kBigEndian : kLittleEndian;
    job.dstEndianessData = o.dataOrder;
    job.dstChannels_2 = job.dstChannelsData = o.channels;
    job.dstSampleBits = o.bits;
    job.dstSampleBytes = flac ? 4 : o.bits / 8;
    job.srcFrames = job.dstFrames = o.frames;
    job.srcFrameRate = job.dstFrameRate = o.rate;
    EXPECT_TRUE(allocateBuffer(job, job.dstAudioData, s.size() * job.dstSampleBytes));
    for (size_t i = 0; i < s.size(); ++i)
        putSample(&job.dstAudioData[i * job.dstSampleBytes], s[i], job.dstSampleBytes, o.dataOrder);

    const std::string path = dir.file(std::string(o.name) + (flac                            ? ".flac"
                                                             : o.type == catalogue::kFileWAV ? ".wav"
                                                                                             : ".aif"));
    if (flac) {
        CreateDestBufferFLAC(job, path);
    } else {
        Bytes image;
        if (o.type == catalogue::kFileWAV) {
            CreateDestBufferWAV(job, image);
        } else {
            CreateDestBufferAIFC(job, image);
        }
        std::string errorText;
        EXPECT_TRUE(platform::writeFileAtomically(path, image.data(), image.size(), errorText)) << errorText;
    }
    EXPECT_EQ(job.error.load(), 0) << o.name;
    return path;
}

std::map<std::string, std::string> ffprobeStream(const std::string& path) {
    std::istringstream in(captureCommand(
        "ffprobe -v error -select_streams a:0 -show_entries "
        "stream=codec_name,sample_rate,channels,bits_per_sample,bits_per_raw_sample -of default=nw=1 " +
        shellQuote(path)));
    std::map<std::string, std::string> fields;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

class FormatInterop : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }
    test::TempDir dir_;
    platform::HeadlessHost host_;
};

TEST_F(FormatInterop, SoxReadsEveryOutputSampleForSample) {
    if (!test::haveTool("sox") || !test::haveTool("soxi")) GTEST_SKIP() << "sox is not installed";
    for (const Output& o : kOutputs) {
        const auto s = samples(size_t{o.frames} * o.channels, o.bits);
        const std::string path = writeOutput(o, s, dir_);
        const std::string q = shellQuote(path);
        EXPECT_EQ(captureCommand("soxi -r " + q), platform::format("%.0f\n", o.rate)) << o.name;
        EXPECT_EQ(captureCommand("soxi -c " + q), platform::format("%u\n", o.channels)) << o.name;
        EXPECT_EQ(captureCommand("soxi -b " + q), platform::format("%u\n", o.bits)) << o.name;
        EXPECT_EQ(captureCommand("soxi -s " + q), platform::format("%u\n", o.frames)) << o.name;

        const std::string raw = captureCommand(
            platform::format("sox -V1 %s -t raw -e signed-integer -b %u -L -", q.c_str(), o.bits));
        Bytes expected(s.size() * (o.bits / 8));
        for (size_t i = 0; i < s.size(); ++i)
            putSample(&expected[i * (o.bits / 8)], s[i], o.bits / 8, kLittleEndian);
        EXPECT_TRUE(raw == std::string(expected.begin(), expected.end())) << o.name << ": samples differ";
    }
}

TEST_F(FormatInterop, FfprobeFindsRateChannelsAndBits) {
    if (!test::haveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    for (const Output& o : kOutputs) {
        if (!o.ffmpegCodec) continue;
        const auto s = samples(size_t{o.frames} * o.channels, o.bits);
        const auto fields = ffprobeStream(writeOutput(o, s, dir_));
        EXPECT_EQ(fields.count("codec_name") ? fields.at("codec_name") : "", o.ffmpegCodec) << o.name;
        EXPECT_EQ(fields.count("sample_rate") ? fields.at("sample_rate") : "",
                  platform::format("%.0f", o.rate))
            << o.name;
        EXPECT_EQ(fields.count("channels") ? fields.at("channels") : "", platform::format("%u", o.channels))
            << o.name;
        // PCM states its bits per sample, FLAC its raw bits.
        const std::string bits = o.type == catalogue::kFileFLAC ? "bits_per_raw_sample" : "bits_per_sample";
        EXPECT_EQ(fields.count(bits) ? fields.at(bits) : "", platform::format("%u", o.bits)) << o.name;
    }
}

}  // namespace
}  // namespace quiramo
