#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "formats/Metadata.h"
#include "formats/ReadOnlyFile.h"
#include "formats/WavReader.h"
#include "formats/WavWriter.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/support/WavBuilder.h"

namespace quiramo {
namespace {

using Bytes = std::vector<uint8_t>;

void putText(Bytes& b, size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), b.begin() + at);
}

// A stored bext chunk (header included) with every field set to something recognisable.
Bytes bextChunk(size_t codingHistory, uint16_t version = 2, uint64_t timeReference = 0x123456789ull) {
    Bytes c(610 + codingHistory, 0);
    putText(c, 0, "bext");
    bytes::writeU32LE(&c[4], static_cast<uint32_t>(c.size() - 8));
    putText(c, 8, "Side A, take 2 \xc3\xa9t\xc3\xa9");  // UTF-8 text
    putText(c, 264, "Quiramo test");
    putText(c, 296, "REF-0042");
    putText(c, 328, "2016-05-04");
    putText(c, 338, "17:03:22");
    bytes::writeU64LE(&c[346], timeReference);
    bytes::writeU16LE(&c[354], version);
    for (size_t i = 0; i < 64; ++i) c[356 + i] = static_cast<uint8_t>(i);
    const int16_t loudness[5] = {-1800, 500, -100, -1500, -1600};
    for (int i = 0; i < 5; ++i) bytes::writeU16LE(&c[420 + 2 * i], static_cast<uint16_t>(loudness[i]));
    for (size_t i = 0; i < 180; ++i) c[430 + i] = static_cast<uint8_t>(0xA0 + i % 7);  // reserved, kept as is
    for (size_t i = 0; i < codingHistory; ++i) c[610 + i] = static_cast<uint8_t>('a' + i % 26);
    return c;
}

class MetadataTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }

    static std::unique_ptr<AudioFile> job() {
        auto j = std::make_unique<AudioFile>("/tmp/take.wav", false, false);
        j->srcEndianessValues = kLittleEndian;
        j->dstEndianessValues = kLittleEndian;
        j->srcFrameRate = 96000.0;
        j->dstLoudnessValue = -23.456;
        j->dstLoudnessRange = 7.8;
        j->dstMaxTruePeakLevel = -0.004;
        j->dstMaxMomentaryLoudness = -12.125;
        j->dstMaxShortTermLoudness = 12.125;
        return j;
    }
    static int16_t field(const Bytes& chunk, size_t at) {
        return static_cast<int16_t>(bytes::readU16LE(&chunk[at]));
    }

    platform::HeadlessHost host_;
};

TEST_F(MetadataTest, LoudnessFieldsAreRoundedHalfAwayFromZero) {
    struct Case {
        double value;
        int16_t stored;
    };
    const Case cases[] = {
        {-23.456, -2346},
        {7.8, 780},
        {-0.004, 0},
        {-0.125, -13},
        {0.125, 13},
        {0.0, 0},
        {-327.68, -32768},
        {327.67, 32767},
        {-400.0, -32768},
        {400.0, 32767},
        {-std::numeric_limits<double>::infinity(), -32768},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) {
        auto j = job();
        j->dstLoudnessValue = j->dstLoudnessRange = j->dstMaxTruePeakLevel = j->dstMaxMomentaryLoudness =
            j->dstMaxShortTermLoudness = c.value;
        Bytes out;
        CreateBextChunk(*j, out, 610);
        ASSERT_EQ(out.size(), 610u);
        for (size_t at = 420; at < 430; at += 2)
            EXPECT_EQ(field(out, at), c.stored) << c.value << " at " << at;
    }
}

// A source bext chunk with 100 bytes of coding history comes back as 710 bytes, identical
// but for Version and the loudness of the converted audio; a version-1 chunk becomes 2.
TEST_F(MetadataTest, StoredBextIsRebuiltWithVersionTwoAndTheConvertedLoudness) {
    for (uint16_t version : {1, 2}) {
        auto j = job();
        j->srcBextChunkData = bextChunk(100, version);
        Bytes out;
        CreateBextChunk(*j, out, 710);
        ASSERT_EQ(out.size(), 710u);
        Bytes expected = j->srcBextChunkData;
        bytes::writeU16LE(&expected[354], 2);
        const int16_t loudness[5] = {-2346, 780, 0, -1213, 1213};
        for (int i = 0; i < 5; ++i)
            bytes::writeU16LE(&expected[420 + 2 * i], static_cast<uint16_t>(loudness[i]));
        EXPECT_EQ(out, expected) << version;
    }
}

TEST_F(MetadataTest, NewBextWhenTheSourceHadNone) {
    auto j = job();
    Bytes out;
    CreateBextChunk(*j, out, 610);
    ASSERT_EQ(out.size(), 610u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "bext");
    EXPECT_EQ(bytes::readU32LE(&out[4]), 602u);
    EXPECT_EQ(Bytes(out.begin() + 8, out.begin() + 354), Bytes(346, 0));
    EXPECT_EQ(bytes::readU16LE(&out[354]), 2u);
    EXPECT_EQ(Bytes(out.begin() + 356, out.begin() + 420), Bytes(64, 0));
    EXPECT_EQ(field(out, 420), -2346);
    EXPECT_EQ(field(out, 428), 1213);
    EXPECT_EQ(Bytes(out.begin() + 430, out.end()), Bytes(180, 0));

    Bytes none;
    CreateBextChunk(*j, none, 0);
    EXPECT_TRUE(none.empty());
}

TEST_F(MetadataTest, BextOnlyForLittleEndianOutputs) {
    auto j = job();
    j->dstEndianessValues = kBigEndian;
    Bytes out;
    try {
        CreateBextChunk(*j, out, 610);
        FAIL() << "no assertion";
    } catch (const platform::AssertionError& e) {
        EXPECT_NE(std::string(e.what()).find("Unexpected destination values endianess in CreateBextChunk"),
                  std::string::npos)
            << e.what();
    }
}

// The WAV writer appends what the builders make and counts what it announced: the builders
// must make exactly that many bytes.
TEST_F(MetadataTest, BuildersAppendExactlyTheAnnouncedSize) {
    auto j = job();
    j->srcBextChunkData = bextChunk(33);
    j->srcIXMLChunkData = {'i', 'X', 'M', 'L', 3, 0, 0, 0, '<', 'x', '>'};
    j->srcID3ChunkData = {'I', 'D', '3', ' ', 5, 0, 0, 0, 'I', 'D', '3', 4, 0};
    const struct {
        void (*build)(AudioFile&, Bytes&, uint32_t);
        const Bytes& stored;
    } builders[] = {{&CreateBextChunk, j->srcBextChunkData},
                    {&CreateIXMLChunk, j->srcIXMLChunkData},
                    {&CreateID3Chunk, j->srcID3ChunkData}};
    for (const auto& b : builders) {
        Bytes out = {0xFF};  // appended to, never replaced
        b.build(*j, out, static_cast<uint32_t>(b.stored.size()));
        ASSERT_EQ(out.size(), 1 + b.stored.size());
        EXPECT_EQ(std::string(out.begin() + 1, out.begin() + 5),
                  std::string(b.stored.begin(), b.stored.begin() + 4));
        EXPECT_EQ(bytes::readU32LE(&out[5]), b.stored.size() - 8);
    }

    // And the whole image agrees with itself, odd chunks padded.
    j->calculateDstR128 = j->dstBwfMetadata = true;
    j->dstFrames = j->srcFrames = 3;
    j->dstChannelsData = 2;
    j->dstSampleBytes = 2;
    j->dstSampleBits = 16;
    j->dstFrameRate = 44100.0;
    ASSERT_TRUE(allocateBuffer(*j, j->dstAudioData, 12));
    platform::ScopedMemoryLog log;
    Bytes image;
    CreateDestBufferWAV(*j, image);
    ASSERT_EQ(j->error.load(), 0);
    EXPECT_EQ(bytes::readU32LE(&image[4]) + 8ull, image.size());
    EXPECT_EQ(image.size(), 44u + 12 + 66 + 643 + 1 + 11 + 1 + 13 + 1);
    for (const auto& line : log.lines()) EXPECT_EQ(line.find("instead of"), std::string::npos) << line;
}

TEST_F(MetadataTest, IXMLAndID3TakeTheOutputsByteOrder) {
    auto j = job();
    j->srcID3ChunkData = {'I', 'D', '3', ' ', 5, 0, 0, 0, 'I', 'D', '3', 4, 0};  // from a WAV source
    for (int order : {kLittleEndian, kBigEndian}) {
        j->dstEndianessValues = order;
        Bytes out;
        CreateID3Chunk(*j, out, 13);
        ASSERT_EQ(out.size(), 13u);
        EXPECT_EQ(order == kBigEndian ? bytes::readU32BE(&out[4]) : bytes::readU32LE(&out[4]), 5u);
        EXPECT_EQ(Bytes(out.begin() + 8, out.end()),
                  Bytes(j->srcID3ChunkData.begin() + 8, j->srcID3ChunkData.end()));
    }
}

TEST_F(MetadataTest, BextReportListsEveryField) {
    auto j = job();
    j->srcBextChunkData = bextChunk(12, 1, 0x1234567890ull);  // TimeReference beyond 2^32
    platform::ScopedMemoryLog log;
    AnalyseAudioMetricsBEXT(*j, 1);
    EXPECT_EQ(j->error.load(), 0);
    const std::vector<std::string> expected = {
        "---- Broadcast Wave Information (bext chunk) ----",
        "[Description]: Side A, take 2 \xc3\xa9t\xc3\xa9",
        "[Originator]: Quiramo test",
        "[OriginatorReference]: REF-0042",
        "[OriginationDate]: 2016-05-04",
        "[OriginationTime]: 17:03:22",
        "[TimeReference]: 78187493520 (samples @ 96000Hz)",
        "[Version]: 1",
        "[SMPTE_UMID]: 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
        "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f",
        "[LoudnessValue]: -1800 (LUFS x 100)",
        "[LoudnessRange]: 500 (LU x 100)",
        "[MaxTruePeakLevel]: -100 (dBTP x 100)",
        "[MaxMomentaryLoudness]: -1500 (LUFS x 100)",
        "[MaxShortTermLoudness]: -1600 (LUFS x 100)",
        "[CodingHistory]: abcdefghijkl",
    };
    EXPECT_EQ(j->srcMetrics, expected);
    const auto lines = log.lines();
    EXPECT_EQ(lines.front(), "<Info> Analysing the source audio BEXT metrics");
    EXPECT_EQ(lines[1].rfind("<Info>  Broadcast Audio Extension (bext): <62657874 ", 0), 0u) << lines[1];
    EXPECT_EQ(lines.back(), "<Info>  CodingHistory: abcdefghijkl");

    // A big-endian source reads its numbers big-endian.
    auto be = job();
    be->srcEndianessValues = kBigEndian;
    be->srcBextChunkData = bextChunk(0);
    bytes::writeU64BE(&be->srcBextChunkData[346], 0x100000000ull);
    bytes::writeU16BE(&be->srcBextChunkData[354], 1);
    AnalyseAudioMetricsBEXT(*be, 1);
    EXPECT_EQ(be->srcMetrics[6], "[TimeReference]: 4294967296 (samples @ 96000Hz)");
    EXPECT_EQ(be->srcMetrics[7], "[Version]: 1");
}

TEST_F(MetadataTest, TextThatIsNotUtf8IsShownWithReplacementCharacters) {
    auto j = job();
    j->srcBextChunkData = bextChunk(0);
    std::fill_n(j->srcBextChunkData.begin() + 264, 32, 0);
    putText(j->srcBextChunkData, 264, "Caf\xe9 \xc3");  // Latin-1 é, then a cut-off sequence
    AnalyseAudioMetricsBEXT(*j, 1);
    EXPECT_EQ(j->srcMetrics[2], "[Originator]: Caf\xef\xbf\xbd \xef\xbf\xbd");
}

TEST_F(MetadataTest, ShortChunksFailTheAnalysis) {
    auto j = job();
    j->srcBextChunkData = bextChunk(0);
    j->srcBextChunkData.resize(600);
    platform::ScopedMemoryLog log;
    AnalyseAudioMetricsBEXT(*j, 1);
    EXPECT_EQ(j->error.load(), kErrorHeader);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"<ERROR> Broadcast Wave chunk (bext) is too short"});
    EXPECT_TRUE(j->srcMetrics.empty());

    auto x = job();
    x->srcIXMLChunkData = {'i', 'X', 'M', 'L', 0, 0, 0};
    AnalyseAudioMetricsIXML(*x, 1);
    EXPECT_EQ(x->error.load(), kErrorHeader);

    // Absent metadata reports nothing and fails nothing.
    auto none = job();
    AnalyseAudioMetricsBEXT(*none, 1);
    AnalyseAudioMetricsIXML(*none, 1);
    AnalyseAudioMetricsVorbis(*none, 1);
    EXPECT_EQ(none->error.load(), 0);
    EXPECT_TRUE(none->srcMetrics.empty());
}

TEST_F(MetadataTest, IXMLAndVorbisReports) {
    auto j = job();
    const std::string xml = "<BWFXML><PROJECT>Caf\xc3\xa9</PROJECT></BWFXML>";
    bytes::appendText(j->srcIXMLChunkData, "iXML");
    bytes::appendU32LE(j->srcIXMLChunkData, static_cast<uint32_t>(xml.size() + 2));
    bytes::appendText(j->srcIXMLChunkData, xml);
    j->srcIXMLChunkData.insert(j->srcIXMLChunkData.end(), 2, 0);  // NUL padding is not text
    j->srcVorbisComments = {"TITLE=D\xc3\xa9j\xc3\xa0 vu", "ARTIST=Someone"};
    AnalyseAudioMetricsIXML(*j, 1);
    AnalyseAudioMetricsVorbis(*j, 1);
    EXPECT_EQ(j->error.load(), 0);
    EXPECT_EQ(j->srcMetrics, (std::vector<std::string>{"---- Location Sound Metadata (iXML chunk) ----", xml,
                                                       "---- FLAC Vorbis Comments ----",
                                                       "TITLE=D\xc3\xa9j\xc3\xa0 vu", "ARTIST=Someone"}));
}

// A WAV source with bext, converted to WAV with both settings on: the chunk read back from
// the output is the source's with Version 2 and the new loudness, and the report of the
// output shows them.
TEST_F(MetadataTest, BextSurvivesAWavRoundTrip) {
    const Bytes bext = bextChunk(100, 1);
    const Bytes source = test::WavBuilder()
                             .pcm(2, 44100, 16)
                             .data(Bytes(8, 1))
                             .chunk("bext", Bytes(bext.begin() + 8, bext.end()))
                             .bytes();
    auto j = job();
    ReadOnlyFile file;
    file.openMemory(source.data(), source.size());
    AnalyseWAV(*j, file, false);
    ASSERT_EQ(j->error.load(), 0);
    ASSERT_EQ(j->srcBextChunkData, bext);

    j->calculateDstR128 = j->dstBwfMetadata = true;
    j->dstFrames = j->srcFrames;
    j->dstChannelsData = 2;
    j->dstSampleBytes = 2;
    j->dstSampleBits = 16;
    j->dstFrameRate = 44100.0;
    ASSERT_TRUE(allocateBuffer(*j, j->dstAudioData, 8));
    Bytes image;
    CreateDestBufferWAV(*j, image);
    ASSERT_EQ(j->error.load(), 0);

    auto back = job();
    file.openMemory(image.data(), image.size());
    AnalyseWAV(*back, file, true);
    ASSERT_EQ(back->srcBextChunkData.size(), 710u);
    Bytes expected = bext;
    bytes::writeU16LE(&expected[354], 2);
    const int16_t loudness[5] = {-2346, 780, 0, -1213, 1213};
    for (int i = 0; i < 5; ++i) bytes::writeU16LE(&expected[420 + 2 * i], static_cast<uint16_t>(loudness[i]));
    EXPECT_EQ(back->srcBextChunkData, expected);
    AnalyseAudioMetricsBEXT(*back, 1);
    EXPECT_EQ(back->srcMetrics[7], "[Version]: 2");
    EXPECT_EQ(back->srcMetrics[9], "[LoudnessValue]: -2346 (LUFS x 100)");
}

}  // namespace
}  // namespace quiramo
