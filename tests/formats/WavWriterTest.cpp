#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "formats/WavReader.h"
#include "formats/WavWriter.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/formats/FormatTestSupport.h"
#include "tests/support/ImageParts.h"

namespace quiramo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::textAt;

class WavWriterTest : public test::WriterTest<&CreateDestBufferWAV> {
  protected:
    // A counting job bound for a WAV output: numbers and samples little-endian.
    std::unique_ptr<AudioFile> job(uint32_t frames, uint32_t channels, uint32_t sampleBytes,
                                   double rate = 44100.0) {
        auto j = test::countingJob("/tmp/take.wav", frames, channels, sampleBytes, rate);
        j->dstEndianessValues = j->dstEndianessData = kLittleEndian;
        j->filterType_1 = catalogue::kTypeHR;
        return j;
    }
};

TEST_F(WavWriterTest, StereoSixteenBitWithoutMetadataIsByteExact) {
    auto j = job(3, 2, 2);
    const Bytes out = write(*j);
    ASSERT_EQ(j->error.load(), 0);
    constexpr size_t kA = 12;
    ASSERT_EQ(out.size(), 44 + kA + 66);

    Bytes header;
    bytes::appendText(header, "RIFF");
    bytes::appendU32LE(header, kA + 102);
    bytes::appendText(header, "WAVEfmt ");
    bytes::appendU32LE(header, 16);
    bytes::appendU16LE(header, 1);
    bytes::appendU16LE(header, 2);
    bytes::appendU32LE(header, 44100);
    bytes::appendU32LE(header, 44100 * 4);
    bytes::appendU16LE(header, 4);
    bytes::appendU16LE(header, 16);
    bytes::appendText(header, "data");
    bytes::appendU32LE(header, kA);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 44), header);
    EXPECT_EQ(Bytes(out.begin() + 44, out.begin() + 44 + kA),
              Bytes(j->dstAudioData.begin(), j->dstAudioData.end()));
    // The signature chunk follows at once, its size in the file's order.
    EXPECT_EQ(textAt(out, 44 + kA, 4), "QUER");
    EXPECT_EQ(bytes::readU32LE(&out[48 + kA]), 58u);
    EXPECT_EQ(bytes::readU64BE(&out[68 + kA]), catalogue::kTypeHR);
    EXPECT_EQ(j->warning.load(), 0);
}

TEST_F(WavWriterTest, OddMonoDataGetsOnePadByteBeforeTheSignature) {
    auto j = job(3, 1, 3);  // 9 bytes of audio
    const Bytes out = write(*j);
    ASSERT_EQ(out.size(), 44 + 9 + 1 + 66);
    EXPECT_EQ(bytes::readU32LE(&out[4]), 9u + 1 + 102);
    EXPECT_EQ(bytes::readU32LE(&out[40]), 9u);  // the data size excludes the pad
    EXPECT_EQ(bytes::readU16LE(&out[32]), 3u);
    EXPECT_EQ(bytes::readU16LE(&out[34]), 24u);
    EXPECT_EQ(out[44 + 8], 9);
    EXPECT_EQ(out[44 + 9], 0);
    EXPECT_EQ(textAt(out, 44 + 10, 4), "QUER");

    // And it reads back: samples, parameters, and the conversion it records.
    AudioFile back("/tmp/take-hr.wav", false, false);
    ReadOnlyFile file;
    file.openMemory(out.data(), out.size());
    AnalyseWAV(back, file, false);
    EXPECT_EQ(back.error.load(), 0);
    EXPECT_EQ(back.warning.load(), 0);
    EXPECT_EQ(back.srcChannels, 1u);
    EXPECT_EQ(back.srcSampleBits, 24u);
    EXPECT_EQ(back.srcFrames, 3u);
    EXPECT_EQ(Bytes(back.srcAudioData.begin(), back.srcAudioData.end()),
              Bytes(j->dstAudioData.begin(), j->dstAudioData.end()));
    EXPECT_EQ(back.warning_1, catalogue::bit(catalogue::findEnhancement(catalogue::kTypeHR)->priorPosition));
}

TEST_F(WavWriterTest, SplitOutputOfSixChannelsHasATwoChannelHeader) {
    auto j = job(5, 2, 3, 96000.0);
    j->dstChannels_2 = 6;  // "WAV C+LFE": the packer took channels 2 and 3
    j->dstChannelsStart = 2;
    const Bytes out = write(*j);
    EXPECT_EQ(bytes::readU16LE(&out[22]), 2u);
    EXPECT_EQ(bytes::readU32LE(&out[28]), 96000u * 6);
    EXPECT_EQ(bytes::readU16LE(&out[32]), 6u);
    EXPECT_EQ(bytes::readU32LE(&out[40]), 30u);
}

TEST_F(WavWriterTest, FrameRateFieldTruncatesAFractionalRate) {
    for (double rate : {44100.9, 47999.999, 88200.5}) {
        auto j = job(2, 2, 2, rate);
        const Bytes out = write(*j);
        const auto whole = static_cast<uint32_t>(rate);
        EXPECT_EQ(bytes::readU32LE(&out[24]), whole) << rate;
        EXPECT_EQ(bytes::readU32LE(&out[28]), whole * 4) << rate;
    }
}

// Bext and iXML follow the signature only when both loudness and broadcast metadata are on
// (a new 610-byte bext when the source had none); ID3 always; a stored chunk of its header
// alone is dropped and not counted; odd chunks are padded. The RIFF size is the image's.
TEST_F(WavWriterTest, MetadataChunksFollowTheSignatureInOrder) {
    struct Case {
        bool r128, bwf;
        size_t id3, bext, ixml;
        std::vector<std::pair<std::string, size_t>> chunks;  // after "QUER": ID and size, header included
    };
    const Case cases[] = {
        {false, false, 8, 0, 0, {}},
        {true, true, 0, 0, 0, {{"bext", 610}}},
        {true, true, 8, 0, 8, {{"bext", 610}}},
        {true, false, 13, 620, 21, {{"ID3 ", 13}}},
        {false, true, 13, 620, 21, {{"ID3 ", 13}}},
        {true, true, 13, 620, 21, {{"bext", 620}, {"iXML", 21}, {"ID3 ", 13}}},
    };
    for (const Case& c : cases) {
        auto j = job(7, 1, 3);
        j->calculateDstR128 = c.r128;
        j->dstBwfMetadata = c.bwf;
        for (auto [data, size, id] : {std::tuple{&j->srcID3ChunkData, c.id3, "ID3 "},
                                      std::tuple{&j->srcBextChunkData, c.bext, "bext"},
                                      std::tuple{&j->srcIXMLChunkData, c.ixml, "iXML"}}) {
            if (size == 0) continue;
            data->assign(size, 'x');
            std::copy(id, id + 4, data->begin());
            bytes::writeU32LE(data->data() + 4, static_cast<uint32_t>(size - 8));
        }
        platform::ScopedMemoryLog log;
        const Bytes out = write(*j);
        const std::string where = "r128 " + std::to_string(c.r128) + " bwf " + std::to_string(c.bwf) +
                                  " id3 " + std::to_string(c.id3) + " bext " + std::to_string(c.bext);
        ASSERT_EQ(j->error.load(), 0) << where;
        EXPECT_EQ(log.lines(), std::vector<std::string>{}) << where;  // the builders made what was announced
        ASSERT_GE(out.size(), 44u + 22 + 66) << where;
        EXPECT_EQ(bytes::readU32LE(&out[4]) + 8ull, out.size()) << where;
        EXPECT_EQ(textAt(out, 44 + 22, 4), "QUER") << where;
        size_t at = 44 + 22 + 66;
        for (const auto& [id, size] : c.chunks) {
            ASSERT_LE(at + 8, out.size()) << where << " " << id;
            EXPECT_EQ(textAt(out, at, 4), id) << where;
            EXPECT_EQ(bytes::readU32LE(&out[at + 4]) + 8u, size) << where << " " << id;
            at += size + (size & 1);
            if (size & 1) {
                EXPECT_EQ(out[at - 1], 0) << where << " " << id << " pad";
            }
        }
        EXPECT_EQ(at, out.size()) << where;
    }
}

// ---- The 4 GB limit, worked out without the 4 GB ------------------------------------------

TEST(WavDataSize, CutsTheFewestWholeFrames) {
    struct Case {
        uint32_t frames, bytesPerFrame;
        uint64_t trailing;
        uint32_t removed;
        uint64_t riffSize;
    };
    const Case cases[] = {
        {3, 4, 66, 0, 114},                   // A + 102
        {1073741798, 4, 66, 0, 4294967294},   // largest stereo 16-bit that fits
        {1073741824, 4, 66, 26, 4294967294},  // 4 GiB of audio: 103 bytes over
        {1073741798, 4, 67, 0, 4294967295},   // exactly at the limit
        {1431655731, 3, 66, 1, 4294967292},   // over by the pad byte alone
        {1431655732, 3, 66, 2, 4294967292},   // one frame leaves an odd size: pad forces one more
        {715827982, 6, 66, 117, 4294967292},  // 24-bit stereo
        {715827982, 6, 66 + 96000 * 6 * 10, 960117, 4294967292},
        {10, 4, 5000000000, 10, 5000000036},  // trailing chunks alone do not fit
    };
    for (const auto& c : cases) {
        const WavDataSize s = wavDataSize(c.frames, c.bytesPerFrame, c.trailing);
        EXPECT_EQ(s.framesRemoved, c.removed) << c.frames << " x " << c.bytesPerFrame << " + " << c.trailing;
        EXPECT_EQ(s.riffSize, c.riffSize) << c.frames << " x " << c.bytesPerFrame << " + " << c.trailing;
        EXPECT_EQ(s.audioBytes, uint64_t{c.frames - c.removed} * c.bytesPerFrame);
    }
}

TEST_F(WavWriterTest, CutShowsBothDurationsAndWarns) {
    auto j = std::make_unique<AudioFile>("/tmp/long.wav", false, false);
    j->srcFrames = j->dstFrames = 715827982;  // 24-bit stereo at 96 kHz: 124:16
    j->srcFrameRate = j->dstFrameRate = 96000.0;
    j->dstChannelsData = 2;
    j->dstSampleBytes = 3;
    platform::ScopedMemoryLog log;
    const WavDataSize s = fitWavToRiffLimit(*j, 66 + 96000 * 6 * 10);  // ten seconds' worth of chunks

    EXPECT_EQ(s.framesRemoved, 960117u);
    EXPECT_EQ(j->dstFrames, 715827982u - 960117);
    EXPECT_EQ(j->text(Column::duration), "124:16 > 124:06");
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{
                  "<WARNING> Audio duration trucated from 124:16 > 124:06 to fit within 4GB limit"});
    EXPECT_EQ(j->warning.load(), kWarningTruncated4GB);
    EXPECT_GE(host_.refreshCount(), 1u);

    auto fits = std::make_unique<AudioFile>("/tmp/short.wav", false, false);
    fits->srcFrames = fits->dstFrames = 1000;
    fits->srcFrameRate = fits->dstFrameRate = 48000.0;
    fits->dstChannelsData = 2;
    fits->dstSampleBytes = 2;
    fitWavToRiffLimit(*fits, 66);
    EXPECT_EQ(fits->dstFrames, 1000u);
    EXPECT_EQ(fits->warning.load(), 0);
    EXPECT_EQ(fits->text(Column::duration), "--");
}

}  // namespace
}  // namespace quiramo
