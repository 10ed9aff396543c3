#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/AiffReader.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/formats/FormatTestSupport.h"
#include "tests/support/AiffBuilder.h"
#include "tests/support/ImageParts.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo {
namespace {

using test::AiffBuilder;
using test::ramp;
using test::signatureBody;
using Bytes = std::vector<uint8_t>;

AiffBuilder::Rate rateOf(std::initializer_list<uint8_t> b) {
    AiffBuilder::Rate r{};
    std::copy(b.begin(), b.end(), r.begin());
    return r;
}

class AiffReaderTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }

    static test::ImageRead read(const Bytes& image, bool headerOnly = true) {
        return test::readImage(&AnalyseAIFC, "/in/memory.aif", image, headerOnly);
    }

    // Two frames of 16-bit stereo.
    static AiffBuilder aiff16(const Bytes& samples = ramp(8)) {
        return std::move(AiffBuilder("AIFF")
                             .comm(AiffBuilder::commBody(2, 2, 16, AiffBuilder::rate44100()))
                             .ssnd(samples));
    }
    static AiffBuilder aifc16(const std::string& compression, const Bytes& samples = ramp(8)) {
        return std::move(AiffBuilder("AIFC")
                             .fver()
                             .comm(AiffBuilder::commBodyC(2, 2, 16, AiffBuilder::rate44100(), compression,
                                                          "not compressed"))
                             .ssnd(samples));
    }

    platform::HeadlessHost host_;
};

TEST_F(AiffReaderTest, RateBytesDecodeToTheExactRate) {
    struct Case {
        AiffBuilder::Rate bytes;
        double rate;
    };
    const Case cases[] = {
        {rateOf({0x40, 0x0E, 0xAC, 0x44}), 44100.0},
        {rateOf({0x40, 0x0E, 0xBB, 0x80}), 48000.0},
        {rateOf({0x40, 0x12, 0x15, 0x88, 0x80}), 88200.0},  // integer bit clear, as earlier releases wrote
        {rateOf({0x40, 0x12, 0x17, 0x70}), 96000.0},
        {rateOf({0x40, 0x10, 0xAC, 0x44}), 176400.0},
        {rateOf({0x40, 0x10, 0xBB, 0x80}), 192000.0},
        {rateOf({0x40, 0x0F, 0xBB, 0x80}), 96000.0},  // the normalised 96000
        {rateOf({0x40, 0x0F, 0xAC, 0x44}), 88200.0},  // the normalised 88200
        {rateOf({0x40, 0x0D, 0xAC, 0x44}), 22050.0},
        {rateOf({0x40, 0x0E, 0xAC, 0x44, 0x80}), 44100.5},  // a fraction below the integer part
        {rateOf({0x3F, 0xFF, 0x80}), 1.0},
        {rateOf({}), 0.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeExtendedRate(c.bytes.data()), c.rate) << c.rate;
        const auto r =
            read(AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 2, 16, c.bytes)).ssnd(ramp(8)).bytes());
        EXPECT_EQ(r.job->srcFrameRate, c.rate);
    }
}

TEST_F(AiffReaderTest, PlainAiffIsReadWithItsSamples) {
    const Bytes samples = ramp(8);
    const auto r = read(aiff16(samples).chunk("ANNO", {'h', 'i', '!'}).bytes(), false);
    const AudioFile& j = *r.job;
    EXPECT_EQ(j.error.load(), 0);
    EXPECT_EQ(j.srcFileType, catalogue::kFileAIFF);
    EXPECT_EQ(j.text(Column::fileType), "AIFF audio");
    EXPECT_GE(host_.refreshCount(), 1u);
    EXPECT_EQ(j.srcEndianessValues, kBigEndian);
    EXPECT_EQ(j.srcEndianessData, kBigEndian);
    EXPECT_EQ(j.srcChannels, 2u);
    EXPECT_EQ(j.srcFrames, 2u);
    EXPECT_EQ(j.srcSampleBits, 16u);
    EXPECT_EQ(j.srcSampleBytes, 2u);
    EXPECT_EQ(j.srcFrameRate, 44100.0);
    EXPECT_EQ(j.discardBytes, 8u + 3);  // the odd ANNO chunk, its pad byte not counted
    EXPECT_EQ(Bytes(j.srcAudioData.begin(), j.srcAudioData.end()), samples);
    for (const char* line :
         {"<Info>  formType = AIFF", "<Info>  frameRateSign = 0 (hex) 0 (dec)",
          "<Info>  frameRateExponent (biased) = 400e (hex) 16398 (dec)",
          "<Info>  frameRateExponent = f (hex) 15 (dec)",
          "<Info>  frameRateFraction = ac 44 00 00 00 00 00 00", "<Info>  Frame rate = 44100.0",
          "<Info>  Audio data is 8 bytes", "<Info>  SSND chunk is good"}) {
        EXPECT_TRUE(r.has(line)) << line;
    }
}

TEST_F(AiffReaderTest, CompressionTypeDecidesTheSampleByteOrder) {
    struct Case {
        const char* compression;
        int order;
        int error;
    };
    for (const Case& c :
         {Case{"sowt", kLittleEndian, 0}, Case{"NONE", kBigEndian, 0},
          Case{"ulaw", kOrderUnknown, kErrorCompression}, Case{"fl32", kOrderUnknown, kErrorCompression}}) {
        const auto r = read(aifc16(c.compression).bytes(), false);
        const AudioFile& j = *r.job;
        EXPECT_EQ(j.srcFileType, catalogue::kFileAIFC) << c.compression;
        EXPECT_EQ(j.text(Column::fileType), "AIFF-C audio");
        EXPECT_EQ(j.srcEndianessData, c.order) << c.compression;
        EXPECT_EQ(j.error.load(), c.error) << c.compression;
        EXPECT_TRUE(r.has(std::string("<Info>  compressionType = ") + c.compression));
        EXPECT_TRUE(r.has("<Info>  compressionName = 'not compressed'"));
        // The remaining checks still run after a compression error.
        EXPECT_TRUE(r.has("<Info>  SSND chunk is good")) << c.compression;
        EXPECT_EQ(j.srcAudioData.empty(), c.error != 0) << c.compression;
    }
}

struct FailureCase {
    const char* name;
    std::function<Bytes()> image;
    int error;
    const char* line;  // logged; nullptr: nothing particular
};

TEST_F(AiffReaderTest, EveryHeaderFailureSetsItsBitAndLogsItsLine) {
    const auto comm = AiffBuilder::commBody(2, 2, 16, AiffBuilder::rate44100());
    const auto commC = AiffBuilder::commBodyC(2, 2, 16, AiffBuilder::rate44100(), "NONE");
    Bytes fver5(5, 0);
    bytes::writeU32BE(fver5.data(), 0xA2805140);
    const FailureCase cases[] = {
        {"not FORM", [&] { return aiff16().formId("RIFF").bytes(); }, kErrorHeader,
         "<ERROR> Unexpected chunk ID: RIFF"},
        {"shorter than the form header", [] { return Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I'}; },
         kErrorHeader, nullptr},
        {"unknown form type", [&] { return AiffBuilder("WAVE").comm(comm).ssnd(ramp(8)).bytes(); },
         kErrorHeader, "<ERROR> formType = file_unknown"},
        {"AIFF with FVER", [&] { return AiffBuilder("AIFF").fver().comm(comm).ssnd(ramp(8)).bytes(); },
         kErrorHeader, "<ERROR> This AIFF file incorrectly has an FVER chunk"},
        {"AIFC without FVER", [&] { return AiffBuilder("AIFC").comm(commC).ssnd(ramp(8)).bytes(); },
         kErrorHeader, "<ERROR> This AIFC file is missing an FVER chunk"},
        {"FVER of 5 bytes",
         [&] { return AiffBuilder("AIFC").chunk("FVER", fver5).comm(commC).ssnd(ramp(8)).bytes(); },
         kErrorHeader, "<ERROR> Unexpected ckDataSize"},
        {"FVER of another version",
         [&] { return AiffBuilder("AIFC").fver(0xA2805141).comm(commC).ssnd(ramp(8)).bytes(); }, kErrorHeader,
         "<ERROR> Unexpected timestamp: a2805141 (hex) 2726318401 (dec)"},
        {"no COMM", [&] { return AiffBuilder("AIFF").ssnd(ramp(8)).bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a COMM chunk"},
        {"nothing after the header", [] { return AiffBuilder("AIFF").bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a COMM chunk"},
        {"no SSND", [&] { return AiffBuilder("AIFF").comm(comm).bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a SSND chunk"},
        {"second COMM", [&] { return aiff16().comm(comm).bytes(); }, kErrorHeader,
         "<ERROR> There can only be one COMM chunk"},
        {"second SSND", [&] { return aiff16().ssnd(ramp(8)).bytes(); }, kErrorHeader,
         "<ERROR> There can only be one SSND chunk"},
        {"second FVER", [&] { return aifc16("NONE").fver().bytes(); }, kErrorHeader,
         "<ERROR> There can only be one FVER chunk"},
        {"second ID3", [&] { return aiff16().chunk("ID3 ", ramp(10)).chunk("ID3 ", ramp(10)).bytes(); },
         kErrorHeader, "<ERROR> There can only be one ID3v2 chunk"},
        {"second AESD", [&] { return aiff16().chunk("AESD", Bytes(24)).chunk("AESD", Bytes(24)).bytes(); },
         kErrorHeader, "<ERROR> There can only be one AESD chunk"},
        {"second QUER",
         [&] {
             return aiff16().chunk("QUER", signatureBody(1, 1)).chunk("QUER", signatureBody(1, 1)).bytes();
         },
         kErrorHeader, "<ERROR> There can only be one QUER chunk"},
        {"chunk past the end", [&] { return aiff16().chunk("ANNO", ramp(4), true, 400).bytes(); },
         kErrorHeader, "<ERROR> Chunk length overruns the file length"},
        {"AESD of 23 bytes", [&] { return aiff16().chunk("AESD", Bytes(23, 0x19)).bytes(); }, kErrorHeader,
         "<ERROR> Unexpected ckDataSize"},
        {"SSND without its offset fields",
         [&] { return AiffBuilder("AIFF").comm(comm).chunk("SSND", ramp(6)).bytes(); }, kErrorHeader,
         "<ERROR> Unexpected ckDataSize: 6"},
        {"SSND shorter than COMM says", [&] { return aiff16(ramp(6)).bytes(); }, kErrorHeader,
         "<ERROR> The SSND chunk holds fewer sample frames than COMM announces"},
    };
    for (const auto& c : cases) {
        const auto r = read(c.image(), false);
        EXPECT_EQ(r.job->error.load(), c.error) << c.name;
        if (c.line) {
            EXPECT_TRUE(r.has(c.line)) << c.name << ": " << c.line;
        }
    }

    // An offset that points past the chunk: patch the offset field of a good file.
    Bytes image = aiff16().bytes();
    const size_t ssnd = 12 + 8 + 18;
    ASSERT_EQ(std::string(image.begin() + ssnd, image.begin() + ssnd + 4), "SSND");
    bytes::writeU32BE(&image[ssnd + 8], 9);
    const auto r = read(image, false);
    EXPECT_EQ(r.job->error.load(), kErrorHeader);
    EXPECT_TRUE(r.has("<ERROR> SSND offset 9 runs past the chunk"));
}

// A COMM chunk too short for its fields is refused without taking the missing fields from
// whatever follows it (here an SSND chunk whose bytes would make a plausible rate).
TEST_F(AiffReaderTest, CommTooShortForItsFieldsIsRefused) {
    const auto full = AiffBuilder::commBody(2, 2, 16, AiffBuilder::rate44100());
    const auto fullC = AiffBuilder::commBodyC(2, 2, 16, AiffBuilder::rate44100(), "NONE", "x");
    struct Case {
        const char* name;
        const char* form;
        Bytes comm;
    };
    Bytes nameTooLong = fullC;
    nameTooLong[22] = 40;  // the counted name claims more than the chunk holds
    const Case cases[] = {
        {"AIFF, 17 bytes", "AIFF", Bytes(full.begin(), full.end() - 1)},
        {"AIFF, 8 bytes", "AIFF", Bytes(full.begin(), full.begin() + 8)},
        {"AIFF, empty", "AIFF", Bytes()},
        {"AIFF-C, only the AIFF fields", "AIFC", full},
        {"AIFF-C, no name count", "AIFC", Bytes(fullC.begin(), fullC.begin() + 22)},
        {"AIFF-C, name past the end", "AIFC", nameTooLong},
    };
    for (const auto& c : cases) {
        AiffBuilder b(c.form);
        if (std::string(c.form) == "AIFC") b.fver();
        const auto r = read(b.chunk("COMM", c.comm).ssnd(ramp(8)).bytes(), false);
        EXPECT_EQ(r.job->error.load(), kErrorHeader) << c.name;
        EXPECT_TRUE(r.has(platform::format("<ERROR> Unexpected ckDataSize: %zu", c.comm.size()))) << c.name;
        EXPECT_TRUE(r.job->srcAudioData.empty()) << c.name;
    }
}

TEST_F(AiffReaderTest, OutOfRangeFieldsFlagTheirBitAndReadingGoesOn) {
    struct Case {
        uint16_t bits;
        AiffBuilder::Rate rate;
        int error;
    };
    const Case cases[] = {
        {0, AiffBuilder::rate44100(), kErrorBitDepth},
        {33, AiffBuilder::rate44100(), kErrorBitDepth},
        {16, rateOf({0xC0, 0x0E, 0xAC, 0x44}), kErrorFrameRate},
        {0, rateOf({0xC0, 0x0E, 0xAC, 0x44}), kErrorBitDepth | kErrorFrameRate},
    };
    for (const auto& c : cases) {
        const auto r = read(AiffBuilder("AIFC")
                                .fver()
                                .comm(AiffBuilder::commBodyC(2, 2, c.bits, c.rate, "twos"))
                                .ssnd(ramp(8))
                                .chunk("AESD", Bytes(24, 0x19))
                                .bytes());
        EXPECT_EQ(r.job->error.load(), c.error | kErrorCompression) << c.bits;
        EXPECT_EQ(r.job->srcFrameRate, 44100.0);  // the magnitude of a negative rate too
        EXPECT_EQ(r.has("<ERROR> Sample size must be in the range 1-32"), (c.error & kErrorBitDepth) != 0);
        EXPECT_EQ(r.has("<ERROR> frameRateSign cannot be negative"), (c.error & kErrorFrameRate) != 0);
        // Everything after COMM is still examined.
        EXPECT_TRUE(r.has("<Info>  compressionType = twos"));
        EXPECT_TRUE(r.has("<Info>  AESD chunk is good"));
        EXPECT_EQ(r.job->warning.load(), kWarningCdEmphasis);
    }
}

TEST_F(AiffReaderTest, SsndOffsetSkipsToTheSamples) {
    const Bytes samples = ramp(8);
    const auto r = read(AiffBuilder("AIFF")
                            .comm(AiffBuilder::commBody(2, 2, 16, AiffBuilder::rate44100()))
                            .ssnd(samples, 6, 4)
                            .bytes(),
                        false);
    EXPECT_EQ(r.job->error.load(), 0);
    EXPECT_EQ(Bytes(r.job->srcAudioData.begin(), r.job->srcAudioData.end()), samples);
    EXPECT_TRUE(r.has("<Info>  offset = 6 (hex) 6 (dec)"));
    EXPECT_TRUE(r.has("<Info>  blockSize = 4 (hex) 4 (dec)"));

    // Extra bytes after the samples are only a discrepancy.
    const auto padded = read(aiff16(ramp(11)).bytes(), false);
    EXPECT_EQ(padded.job->error.load(), 0);
    EXPECT_TRUE(padded.has("<WARNING> Discrepancy in audio data length between COMM and SSND"));
    EXPECT_EQ(padded.job->srcAudioData.size(), 8u);
}

TEST_F(AiffReaderTest, HeaderOnlyReadsNoSamples) {
    const auto r = read(aiff16().bytes(), true);
    EXPECT_EQ(r.job->error.load(), 0);
    EXPECT_TRUE(r.job->srcAudioData.empty());
    EXPECT_FALSE(r.has("<Info>  Reading audio data"));
}

TEST_F(AiffReaderTest, AesEmphasisIsReportedAsAWarning) {
    struct Case {
        uint8_t byte0;
        const char* line;
        int warning;
    };
    const Case cases[] = {
        {0x19, "<Info>  CD pre-emphasis (50/15 \u03bcs) detected", kWarningCdEmphasis},
        {0x1D, "<Info>  CCITT J.17 emphasis detected", kWarningJ17Emphasis},
        {0x18, "<Info>  S/PDIF data detected", 0},  // professional bit clear: the field means nothing
        {0x1C, "<Info>  S/PDIF data detected", 0},
        {0x01, "<Info>  Emphasis not indicated", 0},
        {0x11, "<Info>  No emphasis", 0},
        {0x05, "<WARNING> Unexpected state in encoded audio signal emphasis flags", 0},
        {0x09, "<WARNING> Unexpected state in encoded audio signal emphasis flags", 0},
        {0x0D, "<WARNING> Unexpected state in encoded audio signal emphasis flags", 0},
        {0x15, "<WARNING> Unexpected state in encoded audio signal emphasis flags", 0},
        {0xF9, "<Info>  CD pre-emphasis (50/15 \u03bcs) detected", kWarningCdEmphasis},  // other bits ignored
    };
    for (const auto& c : cases) {
        Bytes aesd(24, 0);
        aesd[0] = c.byte0;
        aesd[1] = 0x1D;  // only byte 0 counts
        const auto r = read(aiff16().chunk("AESD", aesd).bytes());
        EXPECT_EQ(r.job->error.load(), 0) << int{c.byte0};
        EXPECT_EQ(r.job->warning.load(), c.warning) << int{c.byte0};
        EXPECT_TRUE(r.has(c.line)) << int{c.byte0} << ": " << c.line;
        EXPECT_TRUE(r.has(platform::format("<Info>  AESChannelStatusData[0] = %x (hex)", c.byte0)));
    }
    EXPECT_EQ(analysisWarningTexts(kWarningCdEmphasis),
              "50/15 \u03bcs emphasis detected. Requires CD de-emphasis equalisation. ");
    EXPECT_EQ(analysisWarningTexts(kWarningJ17Emphasis),
              "CCITT J.17 emphasis detected. Requires Radio de-emphasis equalisation. ");
}

TEST_F(AiffReaderTest, KeepsTheFirstID3ChunkAndDecodesTheSignature) {
    const Bytes id3Body = ramp(11);  // odd: stored without its pad byte
    Bytes signature = signatureBody(catalogue::kTypeQW, catalogue::kTypeHR);
    const auto image = aiff16().chunk("ID3 ", id3Body).chunk("QUER", signature).bytes();

    auto job = std::make_unique<AudioFile>("/in/memory.aif", false, false);
    job->warnPreprocess = false;
    ReadOnlyFile file;
    file.openMemory(image.data(), image.size());
    AnalyseAIFC(*job, file, true);
    EXPECT_EQ(job->error.load(), 0);
    Bytes expected;
    bytes::appendText(expected, "ID3 ");
    bytes::appendU32BE(expected, 11);
    expected.insert(expected.end(), id3Body.begin(), id3Body.end());
    EXPECT_EQ(job->srcID3ChunkData, expected);
    EXPECT_NE(job->warning_1 & catalogue::bit(catalogue::findEnhancement(catalogue::kTypeQW)->priorPosition),
              0u);
    EXPECT_NE(job->warning_2 & catalogue::bit(catalogue::findEnhancement(catalogue::kTypeHR)->priorPosition),
              0u);

    // A later pass keeps the copy made first.
    const auto other = aiff16().chunk("ID3 ", ramp(4)).bytes();
    file.openMemory(other.data(), other.size());
    AnalyseAIFC(*job, file, false);
    EXPECT_EQ(job->srcID3ChunkData, expected);
}

// A file cut anywhere is either refused or read consistently; nothing is read past its end.
TEST_F(AiffReaderTest, FileCutAtAnyLengthIsHandled) {
    const Bytes whole = aifc16("sowt")
                            .chunk("QUER", signatureBody(catalogue::kTypeNO, catalogue::kTypeNO))
                            .chunk("ID3 ", ramp(9))
                            .chunk("AESD", Bytes(24, 0x19))
                            .bytes();
    ASSERT_EQ(read(whole, false).job->error.load(), 0);
    for (size_t n = 0; n < whole.size(); ++n) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
        for (bool headerOnly : {true, false}) {
            const auto r = read(cut, headerOnly);
            const AudioFile& j = *r.job;
            if (j.error == 0 && !headerOnly) {
                EXPECT_EQ(j.srcAudioData.size(), size_t{j.srcFrames} * j.srcChannels * j.srcSampleBytes) << n;
            }
            // Before the samples' end the file cannot be good.
            if (n < 12 + 12 + 8 + 32 + 16 + 8) {
                EXPECT_NE(j.error.load(), 0) << n;
            }
        }
    }
}

TEST_F(AiffReaderTest, MissingFileFailsToOpen) {
    test::TempDir dir;
    AudioFile job(dir.file("absent.aif"), false, false);
    AnalyseAIFC(job, true);
    EXPECT_EQ(job.error.load(), kErrorCannotOpen);
}

}  // namespace
}  // namespace quiramo
