// The FLAC reader and writer, checked against the reference command-line tools: files the
// `flac` tool writes are read exactly, and files we write pass `flac -t`, decode to our
// samples and list their metadata blocks in our order under `metaflac`.

#include <FLAC/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/FlacReader.h"
#include "formats/FlacWriter.h"
#include "formats/ReadOnlyFile.h"
#include "formats/WavReader.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/support/AiffBuilder.h"
#include "tests/support/ExternalTool.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::captureCommand;
using test::folderEntries;
using test::readFile;
using test::runCommand;
using test::shellQuote;

// Deterministic samples spread over the whole range of the word length.
std::vector<int32_t> samples(size_t count, unsigned bits, uint32_t seed = 1) {
    std::vector<int32_t> s(count);
    uint32_t x = seed;
    for (auto& v : s) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<int32_t>(x) >> (32 - bits);
    }
    return s;
}

// Packed little-endian, 2 or 3 bytes a sample: what a WAV data chunk and the FLAC reader hold.
Bytes packed(const std::vector<int32_t>& s, unsigned bytesPerSample) {
    Bytes b;
    for (int32_t v : s) {
        if (bytesPerSample == 2) {
            bytes::appendU16LE(b, static_cast<uint16_t>(v));
        } else {
            bytes::appendU24LE(b, static_cast<uint32_t>(v));
        }
    }
    return b;
}

// "2 (APPLICATION) length 70 id 72696666" per block, from metaflac --list.
std::vector<std::string> blockList(const std::string& path) {
    std::istringstream in(captureCommand("metaflac --list " + shellQuote(path)));
    std::vector<std::string> blocks;
    std::string line;
    while (std::getline(in, line)) {
        // Application data is printed raw, without a line end of its own.
        if (line.find("METADATA block #") != std::string::npos) {
            blocks.emplace_back();
        } else if (!blocks.empty() && line.rfind("  type: ", 0) == 0 && blocks.back().empty()) {
            blocks.back() = line.substr(8);
        } else if (!blocks.empty() && line.rfind("  length: ", 0) == 0) {
            blocks.back() += " length " + line.substr(10);
        } else if (!blocks.empty() && line.rfind("  application ID: ", 0) == 0) {
            blocks.back() += " id " + line.substr(18);
        }
    }
    return blocks;
}

class FlacTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setHost(&host_);
        if (!test::haveTool("flac") || !test::haveTool("metaflac"))
            GTEST_SKIP() << "flac and metaflac are not installed";
    }
    void TearDown() override { platform::setHost(nullptr); }

    // A FLAC file made by the flac tool from a WAV file of these samples.
    std::string flacFromTool(const std::string& name, uint16_t channels, uint32_t rate, uint16_t bits,
                             const std::vector<int32_t>& s, const std::string& options = "--no-padding") {
        const std::string wav = test::WavBuilder()
                                    .pcm(channels, rate, bits)
                                    .data(packed(s, bits / 8))
                                    .writeTo(dir_, name + ".wav");
        const std::string flac = dir_.file(name + ".flac");
        EXPECT_EQ(runCommand("flac -s -f " + options + " -o " + shellQuote(flac) + " " + shellQuote(wav)), 0);
        return flac;
    }

    static std::unique_ptr<AudioFile> read(const std::string& path, bool headerOnly) {
        auto j = std::make_unique<AudioFile>(path, false, false);
        j->warnPreprocess = false;
        AnalyseFLAC(*j, headerOnly);
        return j;
    }

    // A finished conversion to FLAC as the driver hands it over: 32-bit samples.
    static std::unique_ptr<AudioFile> converted(const std::vector<int32_t>& s, uint32_t channels,
                                                uint32_t bits, double rate) {
        auto j = std::make_unique<AudioFile>("/tmp/source.wav", false, false);
        j->dstFileType = catalogue::kFileFLAC;
        j->dstEndianessValues = j->dstEndianessData = kLittleEndian;
        j->dstChannels_2 = j->dstChannelsData = channels;
        j->dstSampleBits = bits;
        j->dstSampleBytes = 4;
        j->dstFrames = j->srcFrames = static_cast<uint32_t>(s.size() / channels);
        j->dstFrameRate = j->srcFrameRate = rate;
        j->filterType_1 = catalogue::kTypeQW;
        j->filterType_2 = catalogue::kTypeHR;
        EXPECT_TRUE(allocateBuffer(*j, j->dstAudioData, s.size() * 4));
        for (size_t i = 0; i < s.size(); ++i)
            bytes::writeU32LE(&j->dstAudioData[4 * i], static_cast<uint32_t>(s[i]));
        return j;
    }

    test::TempDir dir_;
    platform::HeadlessHost host_;
};

TEST_F(FlacTest, ReadsFilesWrittenByTheFlacTool) {
    struct Case {
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
    };
    for (const Case& c : {Case{2, 44100, 16}, Case{2, 96000, 24}, Case{1, 48000, 16}, Case{2, 192000, 24}}) {
        const uint32_t frames = 10007;  // not a whole number of blocks
        const auto s = samples(size_t{frames} * c.channels, c.bits, c.rate);
        const std::string path = flacFromTool("tool", c.channels, c.rate, c.bits, s);

        const auto header = read(path, true);
        EXPECT_EQ(header->error.load(), 0) << c.bits;
        EXPECT_EQ(header->srcChannels, c.channels);
        EXPECT_EQ(header->srcSampleBits, c.bits);
        EXPECT_EQ(header->srcSampleBytes, c.bits / 8u);
        EXPECT_EQ(header->srcFrames, frames);
        EXPECT_EQ(header->srcFrameRate, c.rate);
        EXPECT_EQ(header->srcEndianessData, kLittleEndian);
        EXPECT_TRUE(header->srcAudioData.empty());

        const auto full = read(path, false);
        ASSERT_EQ(full->error.load(), 0) << c.bits;
        EXPECT_EQ(Bytes(full->srcAudioData.begin(), full->srcAudioData.end()), packed(s, c.bits / 8))
            << c.bits;
    }
}

TEST_F(FlacTest, WrittenFilesPassTheToolAndDecodeToOurSamples) {
    struct Case {
        uint32_t channels, bits;
        double rate;
    };
    for (const Case& c : {Case{2, 16, 44100.0}, Case{2, 24, 96000.0}, Case{6, 24, 48000.0}}) {
        const auto s = samples(size_t{20011} * c.channels, c.bits, c.bits);
        auto j = converted(s, c.channels, c.bits, c.rate);
        const std::string path = dir_.file(platform::format("ours-%u.flac", c.bits * c.channels));
        CreateDestBufferFLAC(*j, path);
        ASSERT_EQ(j->error.load(), 0);
        EXPECT_EQ(j->text(Column::state), "Encoding file...");
        EXPECT_EQ(runCommand("flac -s -t " + shellQuote(path)), 0) << c.bits;

        // The tool's decode and ours give back exactly what was encoded.
        const std::string wav = path + ".wav";
        ASSERT_EQ(runCommand("flac -s -d -f -o " + shellQuote(wav) + " " + shellQuote(path)), 0);
        AudioFile decoded(wav, false, false);
        AnalyseWAV(decoded, false);
        ASSERT_EQ(decoded.error.load(), 0);
        EXPECT_EQ(decoded.srcFrameRate, c.rate);
        EXPECT_EQ(decoded.srcChannels, c.channels);
        EXPECT_EQ(Bytes(decoded.srcAudioData.begin(), decoded.srcAudioData.end()), packed(s, c.bits / 8))
            << c.bits;

        const auto ours = read(path, false);
        ASSERT_EQ(ours->error.load(), 0);
        EXPECT_EQ(Bytes(ours->srcAudioData.begin(), ours->srcAudioData.end()), packed(s, c.bits / 8))
            << c.bits;
    }
    // Nothing but the outputs and the tool's decodes: no temporary file stays behind.
    EXPECT_EQ(folderEntries(dir_.path()).size(), 6u);
}

// Signature, bext, iXML, ID3, padding, Vorbis comment, padding, picture, in that order;
// the reader finds every one of them again.
TEST_F(FlacTest, MetadataBlocksComeInOrderAndReadBack) {
    auto j = converted(samples(2000, 16), 2, 16, 44100.0);
    j->calculateDstR128 = j->dstBwfMetadata = true;  // a new bext: the source had none
    j->dstLoudnessValue = -23.456;
    j->srcIXMLChunkData = {'i', 'X', 'M', 'L', 5, 0, 0, 0, '<', 'a', '/', '>', '\n'};
    j->srcID3ChunkData = {'I', 'D', '3', ' ', 3, 0, 0, 0, 'I', 'D', '3'};
    j->srcVorbisComments = {"TITLE=D\xc3\xa9j\xc3\xa0 vu", "COMMENT=a=b=c", "no field name",
                            "N\xc3\xa4me=a name libFLAC refuses"};
    FlacPicture picture;
    picture.type = 3;
    picture.mimeType = "image/png";
    picture.description = "Cover \xc3\xa4";
    picture.width = 16;
    picture.height = 16;
    picture.depth = 24;
    picture.data = Bytes(300, 0x5A);
    j->srcPictureChunkDict = {picture};
    const std::string path = dir_.file("tagged.flac");
    CreateDestBufferFLAC(*j, path);
    ASSERT_EQ(j->error.load(), 0);
    ASSERT_EQ(runCommand("flac -s -t " + shellQuote(path)), 0);

    const std::vector<std::string> expected = {
        "0 (STREAMINFO) length 34",
        "2 (APPLICATION) length 70 id 72696666",   // "riff" + the 66-byte signature chunk
        "2 (APPLICATION) length 614 id 72696666",  // a new 610-byte bext chunk
        "2 (APPLICATION) length 17 id 72696666",
        "2 (APPLICATION) length 15 id 72696666",
        "1 (PADDING) length 8192",
        "4 (VORBIS_COMMENT) length " +
            std::to_string(4 + std::strlen(FLAC__VENDOR_STRING) + 4 + 4 + 15 + 4 + 13),
        "1 (PADDING) length 8192",
        "6 (PICTURE) length " + std::to_string(4 + 4 + 9 + 4 + 8 + 16 + 4 + 300),
    };
    const auto blocks = blockList(path);
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(blocks, expected);

    const auto back = read(path, true);
    ASSERT_EQ(back->error.load(), 0);
    EXPECT_NE(back->warning_1 & catalogue::bit(catalogue::findEnhancement(catalogue::kTypeQW)->priorPosition),
              0u);
    EXPECT_NE(back->warning_2 & catalogue::bit(catalogue::findEnhancement(catalogue::kTypeHR)->priorPosition),
              0u);
    ASSERT_EQ(back->srcBextChunkData.size(), 610u);
    EXPECT_EQ(static_cast<int16_t>(bytes::readU16LE(&back->srcBextChunkData[420])), -2346);
    EXPECT_EQ(back->srcIXMLChunkData, j->srcIXMLChunkData);
    EXPECT_EQ(back->srcID3ChunkData, j->srcID3ChunkData);
    EXPECT_EQ(back->srcVorbisComments,
              (std::vector<std::string>{"TITLE=D\xc3\xa9j\xc3\xa0 vu", "COMMENT=a=b=c"}));
    ASSERT_EQ(back->srcPictureChunkDict.size(), 1u);
    const FlacPicture& p = back->srcPictureChunkDict.front();
    EXPECT_EQ(p.type, 3u);
    EXPECT_EQ(p.mimeType, "image/png");
    EXPECT_EQ(p.description, "Cover \xc3\xa4");
    EXPECT_EQ(p.width, 16u);
    EXPECT_EQ(p.height, 16u);
    EXPECT_EQ(p.depth, 24u);
    EXPECT_EQ(p.data, picture.data);
}

// A plain conversion carries the signature chunk and nothing else of ours.
TEST_F(FlacTest, PlainConversionCarriesOnlyTheSignature) {
    auto j = converted(samples(2000, 16), 2, 16, 44100.0);
    j->calculateDstR128 = true;  // without dstBwfMetadata: no bext, no iXML
    j->srcIXMLChunkData = {'i', 'X', 'M', 'L', 1, 0, 0, 0, 'x'};
    const std::string path = dir_.file("plain.flac");
    CreateDestBufferFLAC(*j, path);
    ASSERT_EQ(j->error.load(), 0);
    // libFLAC itself adds a comment block holding only its vendor string when it is given
    // none; the reader ignores a block without comments.
    EXPECT_EQ(blockList(path),
              (std::vector<std::string>{
                  "0 (STREAMINFO) length 34",
                  "4 (VORBIS_COMMENT) length " + std::to_string(8 + std::strlen(FLAC__VENDOR_STRING)),
                  "2 (APPLICATION) length 70 id 72696666",
              }));
    const auto back = read(path, true);
    EXPECT_EQ(back->error.load(), 0);
    EXPECT_TRUE(back->srcVorbisComments.empty());
    EXPECT_TRUE(back->srcIXMLChunkData.empty());
}

TEST_F(FlacTest, CommentsAndPictureSurviveFlacToFlac) {
    const auto s = samples(2 * 5000, 24, 7);
    const std::string source = flacFromTool("source", 2, 96000, 24, s);
    const std::string picturePath = dir_.file("cover.bin");
    { std::ofstream(picturePath, std::ios::binary) << std::string(777, '\x89'); }
    ASSERT_EQ(runCommand("metaflac --set-tag=" + shellQuote("TITLE=D\xc3\xa9j\xc3\xa0 vu") +
                         " --set-tag=" + shellQuote("ARTIST=\xe5\xb0\x8f\xe6\xbe\xa4") +
                         " --set-tag=" + shellQuote("COMMENT=key=value") + " --import-picture-from=" +
                         shellQuote("3|image/jpeg|Front \xc3\xa9|32x32x24|" + picturePath) + " " +
                         shellQuote(source)),
              0);

    // The two passes of a conversion, then the writer with the source's metadata.
    auto j = read(source, true);
    ASSERT_EQ(j->error.load(), 0);
    AnalyseFLAC(*j, false);
    ASSERT_EQ(j->error.load(), 0);
    EXPECT_EQ(j->srcVorbisComments,
              (std::vector<std::string>{"TITLE=D\xc3\xa9j\xc3\xa0 vu", "ARTIST=\xe5\xb0\x8f\xe6\xbe\xa4",
                                        "COMMENT=key=value"}));
    j->dstFileType = catalogue::kFileFLAC;
    j->dstEndianessValues = j->dstEndianessData = kLittleEndian;
    j->dstChannels_2 = j->dstChannelsData = 2;
    j->dstSampleBits = 24;
    j->dstSampleBytes = 4;
    j->dstFrames = j->srcFrames;
    j->dstFrameRate = j->srcFrameRate;
    ASSERT_TRUE(allocateBuffer(*j, j->dstAudioData, s.size() * 4));
    for (size_t i = 0; i < s.size(); ++i)
        bytes::writeU32LE(&j->dstAudioData[4 * i], static_cast<uint32_t>(s[i]));
    const std::string out = dir_.file("out.flac");
    CreateDestBufferFLAC(*j, out);
    ASSERT_EQ(j->error.load(), 0);

    EXPECT_EQ(captureCommand("metaflac --export-tags-to=- " + shellQuote(out)),
              "TITLE=D\xc3\xa9j\xc3\xa0 vu\nARTIST=\xe5\xb0\x8f\xe6\xbe\xa4\nCOMMENT=key=value\n");
    const std::string exported = dir_.file("exported.bin");
    ASSERT_EQ(runCommand("metaflac --export-picture-to=" + shellQuote(exported) + " " + shellQuote(out)), 0);
    EXPECT_EQ(readFile(exported), readFile(picturePath));
    const std::string listing = captureCommand("metaflac --list --block-type=PICTURE " + shellQuote(out));
    for (const char* line : {"  type: 3 (Cover (front))", "  MIME type: image/jpeg",
                             "  description: Front \xc3\xa9", "  width: 32", "  height: 32", "  depth: 24"}) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    }
}

TEST_F(FlacTest, ReaderKeepsTheFirstOfEachKindAndDiscardsForeignApplications) {
    const std::string path = flacFromTool("two", 2, 44100, 16, samples(2000, 16));
    const std::string picture = dir_.file("p.bin");
    std::ofstream(picture, std::ios::binary) << "first";
    ASSERT_EQ(runCommand("metaflac --import-picture-from=" + shellQuote("3|image/png|one|1x1x24|" + picture) +
                         " " + shellQuote(path)),
              0);
    std::ofstream(picture, std::ios::binary) << "second";
    ASSERT_EQ(runCommand("metaflac --import-picture-from=" + shellQuote("4|image/png|two|1x1x24|" + picture) +
                         " " + shellQuote(path)),
              0);

    auto j = std::make_unique<AudioFile>(path, false, false);
    j->srcVorbisComments = {"KEPT=from before"};  // the tool's vendor-only comment block leaves it
    platform::ScopedMemoryLog log;
    AnalyseFLAC(*j, true);
    EXPECT_EQ(j->error.load(), 0);
    ASSERT_EQ(j->srcPictureChunkDict.size(), 1u);
    EXPECT_EQ(j->srcPictureChunkDict.front().description, "one");
    EXPECT_EQ(j->srcPictureChunkDict.front().data, (Bytes{'f', 'i', 'r', 's', 't'}));
    EXPECT_EQ(j->srcVorbisComments, std::vector<std::string>{"KEPT=from before"});
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "<ERROR> Only one FLAC picture is supported'"),
              lines.end());

    // An APPLICATION block holding a chunk we do not keep: write a bext block, rename it.
    auto w = converted(samples(200, 16), 2, 16, 44100.0);
    w->calculateDstR128 = w->dstBwfMetadata = true;
    const std::string ours = dir_.file("renamed.flac");
    CreateDestBufferFLAC(*w, ours);
    ASSERT_EQ(w->error.load(), 0);
    Bytes image = readFile(ours);
    const std::string needle = "riffbext";
    auto at = std::search(image.begin(), image.end(), needle.begin(), needle.end());
    ASSERT_NE(at, image.end());
    std::copy_n("junk", 4, at + 4);
    auto back = std::make_unique<AudioFile>("/in/memory.flac", false, false);
    back->warnPreprocess = false;
    ReadOnlyFile file;
    file.openMemory(image.data(), image.size());
    log.clear();
    AnalyseFLAC(*back, file, true);
    EXPECT_EQ(back->error.load(), 0);
    EXPECT_TRUE(back->srcBextChunkData.empty());
    const auto discard = log.lines();
    EXPECT_NE(std::find(discard.begin(), discard.end(), "<Info>  Discarding application chunk: junk"),
              discard.end());
}

// Damaged, cut and foreign files end with an error, never with a crash or wrong samples.
TEST_F(FlacTest, DamagedFilesFailTheJob) {
    const auto s = samples(2 * 30000, 16, 3);
    const Bytes good = readFile(flacFromTool("good", 2, 44100, 16, s));
    ASSERT_GT(good.size(), 10000u);

    struct Case {
        const char* name;
        Bytes image;
        bool headerOnly;
        int error;
    };
    Bytes flipped = good;
    flipped[flipped.size() / 2] ^= 0x10;
    Bytes cut(good.begin(), good.begin() + static_cast<long>(good.size() * 6 / 10));
    Bytes garbage(good.size(), 0x42);
    const Case cases[] = {
        {"a flipped bit in the audio", flipped, false, kErrorAudioData},
        {"cut in the middle", cut, false, kErrorAudioData},
        {"not FLAC at all", garbage, true, kErrorCannotOpen},
        {"not FLAC at all, processing", garbage, false, kErrorCannotOpen},
        {"empty", Bytes(), true, kErrorCannotOpen},
        {"only the stream marker", Bytes{'f', 'L', 'a', 'C'}, true, kErrorCannotOpen},
        {"cut in the stream info", Bytes(good.begin(), good.begin() + 20), true, kErrorCannotOpen},
    };
    for (const auto& c : cases) {
        AudioFile j("/in/memory.flac", false, false);
        ReadOnlyFile file;
        file.openMemory(c.image.data(), c.image.size());
        AnalyseFLAC(j, file, c.headerOnly);
        EXPECT_NE(j.error & c.error, 0) << c.name << ": error " << j.error.load();
        EXPECT_TRUE(j.srcAudioData.empty()) << c.name;
    }

    AudioFile missing(dir_.file("absent.flac"), false, false);
    AnalyseFLAC(missing, false);
    EXPECT_EQ(missing.error.load(), kErrorCannotOpen);
}

// A file cut anywhere is refused or read whole: never a crash, never a short side.
TEST_F(FlacTest, FileCutAtAnyLengthIsHandled) {
    const auto s = samples(2 * 300, 16, 13);
    auto w = converted(s, 2, 16, 44100.0);
    w->calculateDstR128 = w->dstBwfMetadata = true;
    w->srcVorbisComments = {"TITLE=t"};
    const std::string path = dir_.file("cut.flac");
    CreateDestBufferFLAC(*w, path);
    ASSERT_EQ(w->error.load(), 0);
    const Bytes whole = readFile(path);
    for (size_t n = 0; n < whole.size(); n += n < 800 ? 1 : 7) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(n));
        AudioFile j("/in/memory.flac", false, false);
        j.warnPreprocess = false;
        ReadOnlyFile file;
        file.openMemory(cut.data(), cut.size());
        AnalyseFLAC(j, file, false);
        EXPECT_NE(j.error.load(), 0) << n;
        EXPECT_TRUE(j.srcAudioData.empty()) << n;
    }
}

// STREAMINFO's 36-bit total: the low nibble of byte 21 and bytes 22 to 25 of the file.
void patchTotal(Bytes& image, uint64_t total) {
    image[21] = static_cast<uint8_t>((image[21] & 0xF0) | (total >> 32));
    bytes::writeU32BE(&image[22], static_cast<uint32_t>(total));
}

// A stream that leaves its total unknown is read in full all the same, the buffer growing
// as frames come; a growth that cannot be had ends the read with a memory error; a total
// that is wrong either way fails the job instead of handing over a side of another length.
TEST_F(FlacTest, TotalInTheStreamInfoIsCheckedAgainstTheFrames) {
    const auto s = samples(2 * 12345, 16, 5);
    const Bytes good = readFile(flacFromTool("unknown", 2, 44100, 16, s));
    const auto decode = [](const Bytes& image, AudioFile& job) {
        ReadOnlyFile file;
        file.openMemory(image.data(), image.size());
        AnalyseFLAC(job, file, false);
    };

    Bytes unknown = good;
    patchTotal(unknown, 0);
    AudioFile j("/in/memory.flac", false, false);
    decode(unknown, j);
    ASSERT_EQ(j.error.load(), 0);
    EXPECT_EQ(j.srcFrames, 12345u);
    EXPECT_EQ(Bytes(j.srcAudioData.begin(), j.srcAudioData.end()), packed(s, 2));

    setAllocationLimitForTesting(16384);
    AudioFile small("/in/memory.flac", false, false);
    decode(unknown, small);
    setAllocationLimitForTesting(0);
    EXPECT_EQ(small.error & kErrorMemory, kErrorMemory);
    EXPECT_EQ(errorTexts(small.error).find("Memory allocation error. "), 0u);
    EXPECT_TRUE(small.srcAudioData.empty());

    for (uint64_t total : {1000ull, 12344ull, 12346ull, 40000ull}) {
        Bytes wrong = good;
        patchTotal(wrong, total);
        AudioFile w("/in/memory.flac", false, false);
        decode(wrong, w);
        EXPECT_NE(w.error.load(), 0) << total;
        EXPECT_TRUE(w.srcAudioData.empty()) << total;
    }
}

// A conversion that is stopped, or that cannot be put in place, leaves no file behind and
// never replaces an existing one.
TEST_F(FlacTest, FailedOrCancelledEncodingLeavesNothingBehind) {
    const auto s = samples(2 * 200000, 24, 9);

    auto cancelled = converted(s, 2, 24, 96000.0);
    cancelled->requestCancel();
    CreateDestBufferFLAC(*cancelled, dir_.file("cancelled.flac"));
    EXPECT_EQ(cancelled->error.load(), kErrorCancelled);
    EXPECT_TRUE(folderEntries(dir_.path()).empty());

    const std::string taken = dir_.file("taken.flac");
    std::ofstream(taken) << "an earlier file";
    auto clash = converted(s, 2, 24, 96000.0);
    CreateDestBufferFLAC(*clash, taken);
    EXPECT_EQ(clash->error.load(), kErrorCannotSave);
    EXPECT_EQ(readFile(taken),
              (Bytes{'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'f', 'i', 'l', 'e'}));
    EXPECT_EQ(folderEntries(dir_.path()), std::vector<std::string>{"taken.flac"});

    // Samples beyond the word length cannot be encoded as they are.
    auto wide = converted(samples(2 * 1000, 24, 11), 2, 16, 44100.0);
    CreateDestBufferFLAC(*wide, dir_.file("wide.flac"));
    EXPECT_EQ(wide->error.load(), kErrorCannotSave);
    EXPECT_EQ(folderEntries(dir_.path()), std::vector<std::string>{"taken.flac"});

    auto nowhere = converted(samples(2 * 1000, 16), 2, 16, 44100.0);
    CreateDestBufferFLAC(*nowhere, dir_.file("no-such-folder/out.flac"));
    EXPECT_EQ(nowhere->error.load(), kErrorCannotSave);
}

}  // namespace
}  // namespace quiramo
