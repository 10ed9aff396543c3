#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "formats/WavReader.h"
#include "platform/Log.h"
#include "tests/formats/FormatTestSupport.h"
#include "tests/support/ImageParts.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo {
namespace {

using test::ramp;
using test::signatureBody;
using test::WavBuilder;

using Read = test::ImageRead;

Read readImage(const std::vector<uint8_t>& image, bool headerOnly = true) {
    return test::readImage(&AnalyseWAV, "/in/memory.wav", image, headerOnly);
}

WavBuilder stereo16() {
    WavBuilder b;
    b.pcm(2, 44100, 16);
    return b;
}

struct FailureCase {
    const char* name;
    std::function<std::vector<uint8_t>()> image;
    int error;
    const char* line;  // logged
};

TEST(WavReader, EveryFailureSetsItsBitAndLogsItsLine) {
    const std::vector<uint8_t> oneFrame = {1, 2, 3, 4};
    const FailureCase cases[] = {
        {"not RIFF", [&] { return WavBuilder().riffId("RIFX").pcm(2, 44100, 16).data(oneFrame).bytes(); },
         kErrorHeader, "<ERROR> Unexpected chunk ID: RIFX"},
        {"empty file", [] { return std::vector<uint8_t>(); }, kErrorHeader,
         "<ERROR> Unexpected chunk ID:     "},
        {"not WAVE", [&] { return WavBuilder().formType("AIFF").pcm(2, 44100, 16).data(oneFrame).bytes(); },
         kErrorHeader, "<ERROR> format = file_unknown"},
        {"second fmt", [&] { return stereo16().data(oneFrame).pcm(2, 44100, 16).bytes(); }, kErrorHeader,
         "<ERROR> There can only be one FMT chunk"},
        {"second data", [&] { return stereo16().data(oneFrame).data(oneFrame).bytes(); }, kErrorHeader,
         "<ERROR> There can only be one DATA chunk"},
        {"second QUER",
         [&] {
             return stereo16()
                 .data(oneFrame)
                 .chunk("QUER", signatureBody(1, 1))
                 .chunk("QUER", signatureBody(1, 1))
                 .bytes();
         },
         kErrorHeader, "<ERROR> There can only be one QUER chunk"},
        {"second bext",
         [&] { return stereo16().data(oneFrame).chunk("bext", {1}).chunk("bext", {2}).bytes(); },
         kErrorHeader, "<ERROR> There can only be one BEXT chunk"},
        {"second iXML",
         [&] { return stereo16().data(oneFrame).chunk("iXML", {1}).chunk("iXML", {2}).bytes(); },
         kErrorHeader, "<ERROR> There can only be one iXML chunk"},
        {"second ID3",
         [&] { return stereo16().data(oneFrame).chunk("ID3 ", {1}).chunk("ID3 ", {2}).bytes(); },
         kErrorHeader, "<ERROR> There can only be one ID3v2 chunk"},
        {"data overruns", [&] { return stereo16().chunk("data", oneFrame, true, 1000).bytes(); },
         kErrorHeader, "<ERROR> Chunk length overruns the file length"},
        {"size near 4 GB",
         [&] {
             return stereo16().chunk("LIST", {1, 2}, true, 0xFFFFFFFF).bytes();
         },
         kErrorHeader, "<ERROR> Chunk length overruns the file length"},
        {"fmt of 14 bytes",
         [&] {
             auto body = WavBuilder::fmtBody(2, 44100, 16);
             body.resize(14);
             return WavBuilder().fmt(body).data(oneFrame).bytes();
         },
         kErrorHeader, "<ERROR> Unexpected ckDataSize: 14"},
        {"fmt of 20 bytes",
         [&] {
             auto body = WavBuilder::fmtBody18(2, 44100, 16);
             body.resize(20);
             return WavBuilder().fmt(body).data(oneFrame).bytes();
         },
         kErrorHeader, "<ERROR> Unexpected ckDataSize: 20"},
        {"float samples",
         [&] { return WavBuilder().fmt(WavBuilder::fmtBody(2, 44100, 32, 3)).data(oneFrame).bytes(); },
         kErrorCompression, "<ERROR> Unexpected wFormatTag: 3 (hex) 3 (dec), ckDataSize: 10 (hex) 16 (dec)"},
        {"extensible in 18 bytes",
         [&] {
             auto body = WavBuilder::fmtBody18(2, 44100, 16);
             bytes::writeU16LE(body.data(), 0xFFFE);
             return WavBuilder().fmt(body).data(oneFrame).bytes();
         },
         kErrorCompression,
         "<ERROR> Unexpected wFormatTag: fffe (hex) 65534 (dec), ckDataSize: 12 (hex) 18 (dec)"},
        {"cbSize 2 in 18 bytes",
         [&] { return WavBuilder().fmt(WavBuilder::fmtBody18(2, 44100, 16, 2)).data(oneFrame).bytes(); },
         kErrorHeader, "<ERROR> Unexpected cbSize: 2"},
        {"cbSize 10 in 40 bytes",
         [&] {
             return WavBuilder()
                 .fmt(WavBuilder::fmtBody40(2, 44100, 16, 16, 3, 1, 10))
                 .data(oneFrame)
                 .bytes();
         },
         kErrorHeader, "<ERROR> Unexpected cbSize: 10"},
        {"extensible float",
         [&] {
             return WavBuilder().fmt(WavBuilder::fmtBody40(2, 44100, 32, 32, 3, 3)).data(oneFrame).bytes();
         },
         kErrorCompression, "<ERROR> Extensible file format (3) is non-PCM"},
        {"no valid bits",
         [&] { return WavBuilder().fmt(WavBuilder::fmtBody40(2, 44100, 16, 0, 3)).data(oneFrame).bytes(); },
         kErrorHeader, "<ERROR> Unexpected wValidBitsPerSample: 0"},
        {"valid bits beyond container",
         [&] { return WavBuilder().fmt(WavBuilder::fmtBody40(2, 44100, 16, 24, 3)).data(oneFrame).bytes(); },
         kErrorHeader, "<ERROR> Unexpected wValidBitsPerSample: 24"},
        {"no data chunk", [&] { return stereo16().chunk("LIST", ramp(20)).bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a data chunk"},
        {"nothing after the header", [] { return WavBuilder().bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a data chunk"},
        {"20 bytes", [] { return WavBuilder().raw(ramp(8)).bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a data chunk"},
        {"data without fmt", [&] { return WavBuilder().data(oneFrame).bytes(); }, kErrorHeader,
         "<ERROR> This file is missing a fmt chunk"},
        {"no channels", [&] { return WavBuilder().pcm(0, 44100, 16).data(oneFrame).bytes(); }, kErrorHeader,
         "<ERROR> Unexpected nChannels: 0"},
        {"no bits", [&] { return WavBuilder().pcm(2, 44100, 0).data(oneFrame).bytes(); }, kErrorHeader,
         "<ERROR> Unexpected wBitsPerSample: 0"},
        {"unknown Enhancement 1",
         [&] { return stereo16().data(oneFrame).chunk("QUER", signatureBody(3, 1)).bytes(); }, kErrorHeader,
         "<ERROR> Unexpected metadata filter index"},
        {"unknown Enhancement 2",
         [&] { return stereo16().data(oneFrame).chunk("QUER", signatureBody(2, uint64_t{1} << 60)).bytes(); },
         kErrorHeader, "<ERROR> Unexpected metadata_2 filter index"},
        {"short QUER", [&] { return stereo16().data(oneFrame).chunk("QUER", ramp(10)).bytes(); },
         kErrorHeader, "<ERROR> Unexpected QUER chunk length: 18"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool headerOnly : {true, false}) {
            const Read r = readImage(c.image(), headerOnly);
            EXPECT_EQ(r.job->error, c.error);
            EXPECT_TRUE(r.has(c.line))
                << "missing line: " << c.line << " in " << testing::PrintToString(r.log);
            // A failure after the samples were read leaves them for the pass to free.
            if (headerOnly) {
                EXPECT_TRUE(r.job->srcAudioData.empty());
            }
        }
    }
}

TEST(WavReader, PlainStereoFileGivesItsParametersAndSamples) {
    const auto samples = ramp(4 * 10);
    const auto image = stereo16().data(samples).bytes();

    const Read header = readImage(image, true);
    const AudioFile& h = *header.job;
    EXPECT_EQ(h.error, 0);
    EXPECT_EQ(h.srcFileType, 2);
    EXPECT_EQ(h.srcEndianessValues, kLittleEndian);
    EXPECT_EQ(h.srcEndianessData, kLittleEndian);
    EXPECT_EQ(h.srcChannels, 2u);
    EXPECT_EQ(h.srcFrameRate, 44100.0);
    EXPECT_EQ(h.srcSampleBits, 16u);
    EXPECT_EQ(h.srcSampleBytes, 2u);
    EXPECT_EQ(h.srcFrames, 10u);
    EXPECT_EQ(h.discardBytes, 0u);
    EXPECT_TRUE(h.srcAudioData.empty());

    const Read full = readImage(image, false);
    ASSERT_EQ(full.job->error, 0);
    EXPECT_EQ(std::vector<uint8_t>(full.job->srcAudioData.begin(), full.job->srcAudioData.end()), samples);
}

TEST(WavReader, HeaderOnlyLeavesEarlierSamplesAlone) {
    AudioFile job("/in/memory.wav", false, false);
    ASSERT_TRUE(job.srcAudioData.allocate(3));
    job.srcAudioData[0] = 0xAB;
    const auto image = stereo16().data(ramp(400)).bytes();
    ReadOnlyFile file;
    file.openMemory(image.data(), image.size());
    AnalyseWAV(job, file, true);
    EXPECT_EQ(job.error, 0);
    ASSERT_EQ(job.srcAudioData.size(), 3u);
    EXPECT_EQ(job.srcAudioData[0], 0xAB);
}

TEST(WavReader, OddChunksAndPadBytes) {
    const auto samples = ramp(8);
    // An odd chunk with its pad byte before data: skipped, warned about in the log only.
    const Read padded = readImage(stereo16().chunk("junk", ramp(5)).data(samples).bytes(), false);
    EXPECT_EQ(padded.job->error, 0);
    EXPECT_EQ(padded.job->warning, 0);
    EXPECT_EQ(padded.job->srcFrames, 2u);
    EXPECT_EQ(padded.job->discardBytes, 8u + 5u);
    EXPECT_TRUE(padded.has("<WARNING> Chunk has an odd number of bytes"));
    EXPECT_EQ(std::vector<uint8_t>(padded.job->srcAudioData.begin(), padded.job->srcAudioData.end()),
              samples);

    // An odd chunk that ends the file needs no pad byte.
    const Read last = readImage(stereo16().data(samples).chunk("junk", ramp(3), false).bytes(), false);
    EXPECT_EQ(last.job->error, 0);
    EXPECT_EQ(last.job->discardBytes, 8u + 3u);
    EXPECT_FALSE(last.has("<WARNING> Chunk has an odd number of bytes"));

    // An odd data chunk (mono 8-bit, 3 frames) followed by its pad byte and more chunks.
    const Read oddData =
        readImage(WavBuilder().pcm(1, 44100, 8).data(ramp(3)).chunk("bext", ramp(4)).bytes(), false);
    EXPECT_EQ(oddData.job->error, 0);
    EXPECT_EQ(oddData.job->srcFrames, 3u);
    EXPECT_EQ(oddData.job->srcBextChunkData.size(), 12u);
}

TEST(WavReader, ChunksStandInAnyOrderAndUnknownOnesAreCounted) {
    const auto samples = ramp(12);
    const Read r = readImage(WavBuilder()
                                 .chunk("LIST", ramp(10))
                                 .data(samples)
                                 .chunk("fact", ramp(4))
                                 .fmt(WavBuilder::fmtBody(2, 48000, 24))
                                 .chunk("PAD ", ramp(7))
                                 .bytes(),
                             false);
    EXPECT_EQ(r.job->error, 0);
    EXPECT_EQ(r.job->srcFrameRate, 48000.0);
    EXPECT_EQ(r.job->srcSampleBytes, 3u);
    EXPECT_EQ(r.job->srcFrames, 2u);
    EXPECT_EQ(r.job->discardBytes, (8u + 10u) + (8u + 4u) + (8u + 7u));
    EXPECT_EQ(std::vector<uint8_t>(r.job->srcAudioData.begin(), r.job->srcAudioData.end()), samples);
}

TEST(WavReader, DataNotAWholeNumberOfFramesIsCutWithAWarning) {
    const auto samples = ramp(1001);
    const Read r = readImage(stereo16().data(samples).bytes(), false);
    EXPECT_EQ(r.job->error, 0);
    EXPECT_EQ(r.job->srcFrames, 250u);
    EXPECT_TRUE(r.has("<WARNING> Discrepancy in audio data length between fmt and data"));
    EXPECT_TRUE(r.has("<Info>  Audio data is 1000 bytes"));
    ASSERT_EQ(r.job->srcAudioData.size(), 1000u);
    EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 1000, r.job->srcAudioData.begin()));
}

TEST(WavReader, SampleWidthsAndFmtShapes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> fmt;
        unsigned channels, bits, bytes;
        const char* line;  // logged, or nullptr
    };
    const Case cases[] = {
        {"24-bit PCM", WavBuilder::fmtBody(2, 96000, 24), 2, 24, 3, nullptr},
        {"12-bit PCM", WavBuilder::fmtBody(2, 44100, 12), 2, 12, 2, nullptr},
        {"18 bytes, cbSize 0", WavBuilder::fmtBody18(2, 44100, 16), 2, 16, 2,
         "<Info>  cbSize = 0 (hex) 0 (dec)"},
        {"extensible 24 in 24", WavBuilder::fmtBody40(2, 44100, 24, 24, 3), 2, 24, 3,
         "<Info>  Extensible file format (1) is PCM"},
        {"extensible 20 in 24", WavBuilder::fmtBody40(2, 44100, 24, 20, 3), 2, 20, 3,
         "<Info>  Valid sample bits = 14 (hex) 20 (dec)"},
        {"40 bytes, tag 1, cbSize 0", WavBuilder::fmtBody40(2, 44100, 16, 0, 0, 0, 0, 1), 2, 16, 2,
         "<Info>  wFormatTag is 1 (WAVE_FORMAT_PCM)"},
        {"40 bytes, tag 1, cbSize 22", WavBuilder::fmtBody40(2, 44100, 24, 24, 3, 1, 22, 1), 2, 24, 3,
         "<Info>  Extensible file format (1) is PCM"},
        {"six channels, mask 0x3F", WavBuilder::fmtBody40(6, 48000, 24, 24, 0x3F), 6, 24, 3,
         "<ERROR> Channel mask should be 3"},
        // Padded containers are not packed samples: the container width stays, and the
        // analysis rejects the depth instead of converting noise.
        {"extensible 24 in 32", WavBuilder::fmtBody40(2, 44100, 32, 24, 3), 2, 32, 4,
         "<WARNING> Valid sample bits (24) do not fill the 32-bit container"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t frameBytes = c.channels * c.bytes;
        const Read r = readImage(WavBuilder().fmt(c.fmt).data(ramp(frameBytes * 5)).bytes(), false);
        EXPECT_EQ(r.job->error, 0);
        EXPECT_EQ(r.job->srcChannels, c.channels);
        EXPECT_EQ(r.job->srcSampleBits, c.bits);
        EXPECT_EQ(r.job->srcSampleBytes, c.bytes);
        EXPECT_EQ(r.job->srcFrames, 5u);
        EXPECT_EQ(r.job->srcAudioData.size(), frameBytes * 5u);
        if (c.line) {
            EXPECT_TRUE(r.has(c.line)) << "missing line: " << c.line;
        }
    }
}

TEST(WavReader, MetadataChunksAreKeptWholeAndOnlyOnce) {
    const auto bext = ramp(603);  // odd: the pad byte is not part of the copy
    const auto ixml = ramp(20);
    const auto id3 = ramp(9);
    const auto image =
        stereo16().data(ramp(4)).chunk("bext", bext).chunk("iXML", ixml).chunk("ID3 ", id3).bytes();

    const Read r = readImage(image);
    ASSERT_EQ(r.job->error, 0);
    auto whole = [](const char* id, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> c;
        bytes::appendText(c, id);
        bytes::appendU32LE(c, static_cast<uint32_t>(body.size()));
        c.insert(c.end(), body.begin(), body.end());
        return c;
    };
    EXPECT_EQ(r.job->srcBextChunkData, whole("bext", bext));
    EXPECT_EQ(r.job->srcIXMLChunkData, whole("iXML", ixml));
    EXPECT_EQ(r.job->srcID3ChunkData, whole("ID3 ", id3));

    // A second pass keeps what the first stored.
    AudioFile job("/in/memory.wav", false, false);
    job.srcBextChunkData = {1, 2, 3};
    ReadOnlyFile file;
    file.openMemory(image.data(), image.size());
    AnalyseWAV(job, file, false);
    EXPECT_EQ(job.error, 0);
    EXPECT_EQ(job.srcBextChunkData, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(job.srcIXMLChunkData, whole("iXML", ixml));
}

TEST(WavReader, SignatureChunkSetsPriorConversionBits) {
    const Read r =
        readImage(stereo16().data(ramp(4)).chunk("QUER", signatureBody(uint64_t{1} << 1, 1)).bytes());
    EXPECT_EQ(r.job->error, 0);
    EXPECT_EQ(r.job->warning_1, uint64_t{1} << 1);
    EXPECT_EQ(r.job->warning_2, 1u);
}

TEST(WavReader, GoodFileLogsEveryStep) {
    const auto image = stereo16().chunk("LIST", ramp(5)).data(ramp(8)).bytes();
    const std::vector<std::string> expected = {
        "<Info> Analysing RIFF chunk",
        "<Info>  ckID = RIFF",
        "<Info>  ckDataSize = 3a (hex) 58 (dec)",
        "<Info>  format = WAV",
        "<Info>  RIFF chunk is good",
        "<Info> Eumerating remaining chunks",
        "<Info>  ckID = fmt ",
        "<Info>  ckDataSize = 10 (hex) 16 (dec)",
        "<Info>  30 bytes remaining",
        "<Info>  ckID = LIST",
        "<Info>  Discarding chunk",
        "<Info>  ckDataSize = 5 (hex) 5 (dec)",
        "<WARNING> Chunk has an odd number of bytes",
        "<Info>  16 bytes remaining",
        "<Info>  ckID = data",
        "<Info>  ckDataSize = 8 (hex) 8 (dec)",
        "<Info>  0 bytes remaining",
        "<Info>  Bytes from unknown chunks = d (hex) 13 (dec)",
        "<Info> Analysing fmt chunk",
        "<Info>  ckID = fmt ",
        "<Info>  ckDataSize = 10 (hex) 16 (dec)",
        "<Info>  wFormatTag is 1 (WAVE_FORMAT_PCM)",
        "<Info>  nChannels = 2 (hex) 2 (dec)",
        "<Info>  Frame rate = 44100.0",
        "<Info>  nAvgBytesPerSec = 2b110 (hex) 176400 (dec)",
        "<Info>  nBlockAlign = 4 (hex) 4 (dec)",
        "<Info>  Sample bits = 10 (hex) 16 (dec)",
        "<Info>  Sample bytes = 2 (hex) 2 (dec)",
        "<Info>  fmt chunk is good",
        "<Info> Analysing data chunk",
        "<Info>  ckID = data",
        "<Info>  ckDataSize = 8 (hex) 8 (dec)",
        "<Info>  Sample frames = 2 (hex) 2 (dec)",
        "<Info>  Audio data is 8 bytes",
        "<Info>  Reading audio data",
        "<Info>  data chunk is good",
    };
    EXPECT_EQ(readImage(image, false).log, expected);
}

TEST(WavReader, FilesOnDisk) {
    test::TempDir dir;
    const auto samples = ramp(16);
    const std::string path = stereo16().data(samples).writeTo(dir, "a.wav");

    AudioFile job(path, false, false);
    AnalyseWAV(job, false);
    EXPECT_EQ(job.error, 0);
    EXPECT_EQ(job.srcFrames, 4u);
    EXPECT_EQ(std::vector<uint8_t>(job.srcAudioData.begin(), job.srcAudioData.end()), samples);

    // A file that is gone cannot be read: that must not pass for a file without samples.
    AudioFile missing(dir.file("gone.wav"), false, false);
    platform::ScopedMemoryLog log;
    AnalyseWAV(missing, false);
    EXPECT_EQ(missing.error, kErrorCannotOpen);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"<ERROR> Failed to open " + dir.file("gone.wav")});

    // Nor is a folder a file.
    AudioFile folder(dir.path(), false, false);
    AnalyseWAV(folder, true);
    EXPECT_EQ(folder.error, kErrorCannotOpen);
}

TEST(WavReader, SampleMemoryFailureIsReported) {
    const auto image = stereo16().data(ramp(4096)).bytes();
    setAllocationLimitForTesting(1024);
    const Read r = readImage(image, false);
    setAllocationLimitForTesting(0);
    EXPECT_EQ(r.job->error, kErrorMemory);
    EXPECT_TRUE(r.has("<ERROR> Memory allocation"));
    EXPECT_TRUE(r.job->srcAudioData.empty());
}

// Every prefix and every single-byte corruption of a good file either reads consistently or
// fails with an error bit; the sanitizer builds check that none of them reads out of bounds.
TEST(WavReader, DamagedImagesNeverReadOutOfBounds) {
    const auto good = WavBuilder()
                          .fmt(WavBuilder::fmtBody40(2, 44100, 24, 24, 3))
                          .chunk("bext", ramp(5))
                          .data(ramp(30))
                          .chunk("QUER", signatureBody(2, 1))
                          .chunk("iXML", ramp(3))
                          .bytes();
    auto check = [](const std::vector<uint8_t>& image) {
        const Read r = readImage(image, false);
        const AudioFile& j = *r.job;
        if (j.error == 0) {
            EXPECT_EQ(j.srcAudioData.size(), uint64_t{j.srcFrames} * j.srcChannels * j.srcSampleBytes);
        }
    };
    for (size_t n = 0; n < good.size(); ++n) {
        check(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)));
    }
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t v : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
            auto bad = good;
            bad[i] = v;
            check(bad);
        }
    }
}

TEST(WavReader, SoxFileReads) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    test::TempDir dir;
    const std::string path = dir.file("sine.wav");
    ASSERT_EQ(std::system(("sox -n -r 48000 -c 2 -b 24 '" + path + "' synth 0.5 sine 440").c_str()), 0);
    AudioFile job(path, false, false);
    AnalyseWAV(job, false);
    EXPECT_EQ(job.error, 0);
    EXPECT_EQ(job.srcChannels, 2u);
    EXPECT_EQ(job.srcFrameRate, 48000.0);
    EXPECT_EQ(job.srcSampleBits, 24u);
    EXPECT_EQ(job.srcFrames, 24000u);
    EXPECT_EQ(job.srcAudioData.size(), 24000u * 6u);
}

}  // namespace
}  // namespace quiramo
