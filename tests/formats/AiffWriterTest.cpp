#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/AiffReader.h"
#include "formats/AiffWriter.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/formats/FormatTestSupport.h"
#include "tests/support/ImageParts.h"

namespace quiramo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::textAt;

class AiffWriterTest : public test::WriterTest<&CreateDestBufferAIFC> {
  protected:
    // A counting job bound for an AIFF or AIFF-C output: numbers big-endian, samples in
    // dataOrder.
    static std::unique_ptr<AudioFile> job(int type, uint32_t frames, uint32_t channels, uint32_t sampleBytes,
                                          int dataOrder, double rate = 44100.0) {
        auto j = test::countingJob("/tmp/take.aif", frames, channels, sampleBytes, rate);
        j->dstFileType = type;
        j->dstEndianessValues = kBigEndian;
        j->dstEndianessData = dataOrder;
        j->filterType_1 = catalogue::kTypeQW;
        return j;
    }
};

// The images of the plain conversions, byte for byte up to the signature chunk.
TEST_F(AiffWriterTest, ImagesAreByteExact) {
    struct Case {
        const char* name;
        int type;
        uint32_t sampleBytes;
        int dataOrder;
        const char* compression;  // nullptr for AIFF
    };
    const Case cases[] = {
        {"AIFF 16-bit", catalogue::kFileAIFF, 2, kBigEndian, nullptr},
        {"AIFF-C 16-bit", catalogue::kFileAIFC, 2, kLittleEndian, "sowt"},
        {"AIFF-C hi-res", catalogue::kFileAIFC, 3, kBigEndian, "NONE"},
    };
    for (const auto& c : cases) {
        auto j = job(c.type, 3, 2, c.sampleBytes, c.dataOrder);
        const Bytes out = write(*j);
        ASSERT_EQ(j->error.load(), 0) << c.name;
        const uint32_t a = 3 * 2 * c.sampleBytes;
        const bool aifc = c.compression != nullptr;

        Bytes header;
        bytes::appendText(header, "FORM");
        bytes::appendU32BE(header, a + (aifc ? 130 : 112));
        bytes::appendText(header, aifc ? "AIFC" : "AIFF");
        if (aifc) {
            bytes::appendText(header, "FVER");
            bytes::appendU32BE(header, 4);
            bytes::appendU32BE(header, 0xA2805140);
        }
        bytes::appendText(header, "COMM");
        bytes::appendU32BE(header, aifc ? 24 : 18);
        bytes::appendU16BE(header, 2);
        bytes::appendU32BE(header, 3);
        bytes::appendU16BE(header, static_cast<uint16_t>(c.sampleBytes * 8));
        header.insert(header.end(), {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
        if (aifc) {
            bytes::appendText(header, c.compression);
            header.insert(header.end(), {0, 0});
        }
        bytes::appendText(header, "SSND");
        bytes::appendU32BE(header, a + 8);
        bytes::appendU32BE(header, 0);
        bytes::appendU32BE(header, 0);

        ASSERT_EQ(out.size(), header.size() + a + 66) << c.name;
        EXPECT_EQ(out.size(), (aifc ? 12u + 12 + 32 + 16 : 12u + 26 + 16) + a + 66) << c.name;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + header.size()), header) << c.name;
        EXPECT_EQ(Bytes(out.begin() + header.size(), out.begin() + header.size() + a),
                  Bytes(j->dstAudioData.begin(), j->dstAudioData.end()))
            << c.name;
        // The signature chunk with its size big-endian.
        EXPECT_EQ(textAt(out, header.size() + a, 4), "QUER") << c.name;
        EXPECT_EQ(bytes::readU32BE(&out[header.size() + a + 4]), 58u) << c.name;
        EXPECT_EQ(bytes::readU64BE(&out[header.size() + a + 24]), catalogue::kTypeQW) << c.name;
        EXPECT_EQ(j->warning.load(), 0) << c.name;
    }
}

TEST_F(AiffWriterTest, SixRatesAreWrittenByteForByteAndReadBackExactly) {
    struct Case {
        double rate;
        Bytes bytes;
    };
    const Case cases[] = {
        {44100.0, {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
        {48000.0, {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
        {88200.0, {0x40, 0x12, 0x15, 0x88, 0x80, 0, 0, 0, 0, 0}},
        {96000.0, {0x40, 0x12, 0x17, 0x70, 0, 0, 0, 0, 0, 0}},
        {176400.0, {0x40, 0x10, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
        {192000.0, {0x40, 0x10, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        uint8_t encoded[10];
        encodeExtendedRate(c.rate, encoded);
        EXPECT_EQ(Bytes(encoded, encoded + 10), c.bytes) << c.rate;

        auto j = job(catalogue::kFileAIFF, 2, 2, 2, kBigEndian, c.rate);
        const Bytes out = write(*j);
        EXPECT_EQ(Bytes(out.begin() + 28, out.begin() + 38), c.bytes) << c.rate;
        AudioFile back("/tmp/back.aif", false, false);
        ReadOnlyFile file;
        file.openMemory(out.data(), out.size());
        AnalyseAIFC(back, file, true);
        EXPECT_EQ(back.error.load(), 0);
        EXPECT_EQ(back.srcFrameRate, c.rate);
    }
}

// Any other rate is written as a normalised extended value: integer bit set, exact.
TEST_F(AiffWriterTest, OtherRatesAreNormalisedExtendedValues) {
    struct Case {
        double rate;
        Bytes bytes;  // empty: only the round trip is checked
    };
    const Case cases[] = {
        {22050.0, {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
        {8000.0, {0x40, 0x0B, 0xFA, 0x00, 0, 0, 0, 0, 0, 0}},
        {1.0, {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
        {0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {32000.0, {}},
        {44100.5, {}},
        {352800.0, {}},
        {11025.125, {}},
    };
    for (const auto& c : cases) {
        uint8_t encoded[10];
        encodeExtendedRate(c.rate, encoded);
        if (!c.bytes.empty()) {
            EXPECT_EQ(Bytes(encoded, encoded + 10), c.bytes) << c.rate;
        }
        if (c.rate != 0.0) {
            EXPECT_EQ(encoded[2] & 0x80, 0x80) << c.rate;
        }
        EXPECT_EQ(decodeExtendedRate(encoded), c.rate) << c.rate;
    }
}

// An ID3 chunk read from a WAV file (little-endian size) goes into an AIFF output with a
// big-endian size, its body unchanged and followed by a pad byte when odd; bext and iXML
// are never written to AIFF, whatever the settings.
TEST_F(AiffWriterTest, CarriesOnlyID3WithABigEndianSizeAndItsPadByte) {
    for (int type : {catalogue::kFileAIFF, catalogue::kFileAIFC}) {
        auto j = job(type, 5, 1, 3, kBigEndian);  // 15 bytes of audio: odd, padded
        Bytes id3Body = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 2, 'a', 'b', 'c'};
        j->srcID3ChunkData.clear();
        bytes::appendText(j->srcID3ChunkData, "ID3 ");
        bytes::appendU32LE(j->srcID3ChunkData, static_cast<uint32_t>(id3Body.size()));
        j->srcID3ChunkData.insert(j->srcID3ChunkData.end(), id3Body.begin(), id3Body.end());
        j->srcBextChunkData.assign(620, 'b');
        j->srcIXMLChunkData.assign(20, 'i');
        j->calculateDstR128 = j->dstBwfMetadata = true;
        j->srcEndianessValues = kLittleEndian;

        const Bytes out = write(*j);
        ASSERT_EQ(j->error.load(), 0);
        const size_t audioAt = type == catalogue::kFileAIFC ? 12 + 12 + 32 + 16 : 12 + 26 + 16;
        const size_t id3At = audioAt + 15 + 1 + 66;
        ASSERT_EQ(out.size(), id3At + 8 + id3Body.size() + 1);
        EXPECT_EQ(out[audioAt + 15], 0);  // the audio's pad byte
        EXPECT_EQ(textAt(out, audioAt + 16, 4), "QUER");
        EXPECT_EQ(textAt(out, id3At, 4), "ID3 ");
        EXPECT_EQ(bytes::readU32BE(&out[id3At + 4]), id3Body.size());
        EXPECT_EQ(Bytes(out.begin() + id3At + 8, out.end() - 1), id3Body);
        EXPECT_EQ(out.back(), 0);
        EXPECT_EQ(bytes::readU32BE(&out[4]) + 8ull, out.size());
        const uint32_t a = 15;
        EXPECT_EQ(bytes::readU32BE(&out[4]), a + 1 + 13 + 1 + 8 + (type == catalogue::kFileAIFC ? 130 : 112));

        // The reader takes the output back whole: samples, ID3 and signature.
        AudioFile back("/tmp/back.aif", false, false);
        back.warnPreprocess = false;
        ReadOnlyFile file;
        file.openMemory(out.data(), out.size());
        AnalyseAIFC(back, file, false);
        EXPECT_EQ(back.error.load(), 0);
        EXPECT_EQ(Bytes(back.srcAudioData.begin(), back.srcAudioData.end()),
                  Bytes(j->dstAudioData.begin(), j->dstAudioData.end()));
        EXPECT_EQ(Bytes(back.srcID3ChunkData.begin() + 8, back.srcID3ChunkData.end()), id3Body);
        EXPECT_NE(back.warning_1 & ~uint64_t{1}, 0u);
    }
}

// A header-only ID3 chunk carries nothing and is dropped.
TEST_F(AiffWriterTest, HeaderOnlyID3IsDropped) {
    auto j = job(catalogue::kFileAIFF, 2, 2, 2, kBigEndian);
    bytes::appendText(j->srcID3ChunkData, "ID3 ");
    bytes::appendU32LE(j->srcID3ChunkData, 0);
    const Bytes out = write(*j);
    EXPECT_EQ(out.size(), 12u + 26 + 16 + 8 + 66);
}

// ---- The 4 GB limit, worked out without the 4 GB ------------------------------------------

TEST_F(AiffWriterTest, FormSizeIsCutToTheLimitLikeRiff) {
    struct Case {
        int type;
        uint32_t frames, channels, sampleBytes;
        uint64_t trailing;
    };
    const Case cases[] = {
        {catalogue::kFileAIFF, 1073741824, 2, 2, 66},  // 4 GiB of 16-bit stereo
        {catalogue::kFileAIFC, 1073741824, 2, 2, 66},
        {catalogue::kFileAIFF, 715827882, 2, 3, 66 + 14},  // 24-bit, with an odd ID3 chunk and its pad
        {catalogue::kFileAIFC, 1431655765, 1, 3, 66},      // mono 24-bit: odd sizes
        {catalogue::kFileAIFF, 1000, 2, 2, 66},            // fits
    };
    for (const auto& c : cases) {
        AudioFile j("/tmp/long.aif", false, false);
        j.dstFileType = c.type;
        j.srcFrames = j.dstFrames = c.frames;
        j.srcFrameRate = j.dstFrameRate = 96000.0;
        j.dstChannelsData = c.channels;
        j.dstSampleBytes = c.sampleBytes;
        const WavDataSize s = fitAiffToFormLimit(j, c.trailing);
        // The FORM size worked out from its parts, independently of the writer.
        const uint64_t fixed = (c.type == catalogue::kFileAIFC ? 130 : 112) - 66 + c.trailing;
        const uint64_t bpf = uint64_t{c.channels} * c.sampleBytes;
        const auto form = [&](uint64_t frames) { return frames * bpf + (frames * bpf & 1) + fixed; };
        EXPECT_EQ(s.riffSize, form(j.dstFrames)) << c.frames;
        EXPECT_LE(s.riffSize, 0xFFFFFFFFu) << c.frames;
        EXPECT_EQ(j.dstFrames + s.framesRemoved, c.frames);
        if (s.framesRemoved) {
            EXPECT_GT(form(j.dstFrames + 1), 0xFFFFFFFFu) << "not the fewest frames: " << c.frames;
            EXPECT_EQ(j.warning.load(), kWarningTruncated4GB);
            EXPECT_NE(j.text(Column::duration), "--");
        } else {
            EXPECT_EQ(form(c.frames), s.riffSize);
            EXPECT_LE(form(c.frames), 0xFFFFFFFFu);
            EXPECT_EQ(j.warning.load(), 0);
        }
    }
}

}  // namespace
}  // namespace quiramo
