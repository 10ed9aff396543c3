// Malformed and unusual files of every readable kind, each taken through the real passes:
// the analysis, and the conversion when the analysis accepts the file. Each must end with
// its error text on the row and no output file, or convert; none may crash, hang, assert
// or read out of bounds (the suite runs under the address sanitizer in CI).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AnalysisDriver.h"
#include "engine/ProcessingDriver.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Buffer.h"
#include "engine/record/Settings.h"
#include "formats/Bytes.h"
#include "platform/Host.h"
#include "tests/engine/FileFixtures.h"
#include "tests/support/AiffBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo {
namespace {

using test::AiffBuilder;
using test::Bytes;
using test::flacFile;
using test::folderEntries;
using test::pcm;
using test::readFile;
using test::WavBuilder;

// A sanitizer build on a busy machine converts a short file in well under a second.
constexpr auto kPassLimit = std::chrono::seconds(120);

// 44.1 kHz as the ten COMM bytes, with the sign bit set.
AiffBuilder::Rate negativeRate() {
    AiffBuilder::Rate r = AiffBuilder::rate44100();
    r[0] |= 0x80;
    return r;
}

// A rate whose exponent is all ones: infinity or NaN as an extended float.
AiffBuilder::Rate hugeRate() {
    AiffBuilder::Rate r = AiffBuilder::rate44100();
    r[0] = 0x7F;
    r[1] = 0xFF;
    return r;
}

// How a file is expected to end.
enum class Ends {
    analysisError,    // the analysis shows the error text; nothing is converted
    conversionError,  // the analysis accepts it; the conversion ends with the error text
    converts,         // a complete output file
};

struct Case {
    std::string name;
    std::string fileName;  // the extension picks the reader
    Bytes bytes;
    Ends ends;
    std::string text;  // the row's state text for the two errors
};

std::vector<Case> wavCases() {
    const Bytes stereo16 = pcm(1000, 2, 2);
    WavBuilder manyChunks;
    manyChunks.pcm(2, 44100, 16);
    for (int i = 0; i < 1000; ++i) manyChunks.chunk("junk", Bytes(static_cast<size_t>(i % 3), 'j'));
    manyChunks.data(stereo16);
    const Bytes good = WavBuilder().pcm(2, 44100, 16).data(stereo16).bytes();
    Bytes oddData = pcm(250, 2, 2);
    oddData.push_back(0);  // 1001 bytes: 250 frames and one stray byte

    return {
        {"empty file", "empty.wav", {}, Ends::analysisError, "Invalid file header. "},
        {"RIFF header cut at 8 bytes", "h8.wav", Bytes(good.begin(), good.begin() + 8), Ends::analysisError,
         "Invalid file header. "},
        {"header and nothing else", "h12.wav", Bytes(good.begin(), good.begin() + 12), Ends::analysisError,
         "Invalid file header. "},
        {"cut inside fmt", "cutfmt.wav", Bytes(good.begin(), good.begin() + 26), Ends::analysisError,
         "Invalid file header. "},
        {"cut inside the data chunk", "cutdata.wav", Bytes(good.begin(), good.begin() + 1000),
         Ends::analysisError, "Invalid file header. "},
        {"data size overrunning the file", "overrun.wav",
         WavBuilder().pcm(2, 44100, 16).chunk("data", stereo16, true, 0xFFFFFFF0).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"zero channels", "ch0.wav", WavBuilder().pcm(0, 44100, 16).data(stereo16).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"zero bits", "bits0.wav", WavBuilder().pcm(2, 44100, 0).data(stereo16).bytes(), Ends::analysisError,
         "Invalid file header. "},
        {"no data chunk", "nodata.wav", WavBuilder().pcm(2, 44100, 16).bytes(), Ends::analysisError,
         "Invalid file header. "},
        {"no fmt chunk", "nofmt.wav", WavBuilder().data(stereo16).bytes(), Ends::analysisError,
         "Invalid file header. "},
        {"two data chunks", "twodata.wav",
         WavBuilder().pcm(2, 44100, 16).data(stereo16).data(stereo16).bytes(), Ends::analysisError,
         "Invalid file header. "},
        {"two bext chunks", "twobext.wav",
         WavBuilder()
             .pcm(2, 44100, 16)
             .chunk("bext", Bytes(602, 0))
             .data(stereo16)
             .chunk("bext", Bytes(602, 0))
             .bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"fmt of 20 bytes", "fmt20.wav", WavBuilder().fmt(Bytes(20, 1)).data(stereo16).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"floating point", "float.wav",
         WavBuilder().fmt(WavBuilder::fmtBody(2, 44100, 32, 3)).data(Bytes(800, 0)).bytes(),
         Ends::analysisError, "Unsupported compression type. "},
        {"extensible, not PCM", "extfloat.wav",
         WavBuilder().fmt(WavBuilder::fmtBody40(2, 44100, 32, 32, 3, 3)).data(Bytes(800, 0)).bytes(),
         Ends::analysisError, "Unsupported compression type. "},
        {"8-bit mono", "mono8.wav", WavBuilder().pcm(1, 44100, 8).data(pcm(1000, 1, 1)).bytes(),
         Ends::analysisError, "Unsupported number of channels. Unsupported sample bit depth. "},
        {"16-bit mono", "mono16.wav", WavBuilder().pcm(1, 44100, 16).data(pcm(1000, 1, 2)).bytes(),
         Ends::analysisError, "Unsupported number of channels. "},
        {"1000 tiny unknown chunks", "many.wav", manyChunks.bytes(), Ends::converts, ""},
        {"data first, odd unknown chunk with its pad byte", "order.wav",
         WavBuilder().data(stereo16).chunk("LIST", Bytes(3, 'x')).pcm(2, 44100, 16).bytes(), Ends::converts,
         ""},
        {"odd data size ending the file without a pad byte", "odd.wav",
         WavBuilder().pcm(2, 44100, 16).chunk("data", oddData, false).bytes(), Ends::converts, ""},
        // The chunk walk needs a byte of body to look at a chunk: an empty data chunk at the
        // very end is not seen at all.
        {"empty data chunk ending the file", "nosamples.wav",
         WavBuilder().pcm(2, 44100, 16).data(Bytes()).bytes(), Ends::analysisError, "Invalid file header. "},
        {"no samples at all", "zeroframes.wav",
         WavBuilder().pcm(2, 44100, 16).data(Bytes()).chunk("LIST", Bytes(4, 'x')).bytes(),
         Ends::conversionError, "Invalid audio data. "},
        {"RIFF size that lies", "riffsize.wav",
         WavBuilder().riffSize(0xFFFFFFFF).pcm(2, 44100, 16).data(stereo16).bytes(), Ends::converts, ""},
        {"extensible 24-bit", "ext24.wav",
         WavBuilder().fmt(WavBuilder::fmtBody40(2, 48000, 24, 24, 3)).data(pcm(1000, 2, 3)).bytes(),
         Ends::converts, ""},
    };
}

std::vector<Case> aiffCases() {
    const auto rate = AiffBuilder::rate44100();
    const Bytes samples = pcm(1000, 2, 2, true);
    const auto aifc = [&](const std::string& compression) {
        return AiffBuilder("AIFC").fver().comm(AiffBuilder::commBodyC(2, 1000, 16, rate, compression));
    };
    AiffBuilder manyChunks("AIFF");
    manyChunks.comm(AiffBuilder::commBody(2, 1000, 16, rate));
    for (int i = 0; i < 1000; ++i) manyChunks.chunk("junk", Bytes(static_cast<size_t>(i % 3), 'j'));
    manyChunks.ssnd(samples);
    const Bytes good =
        AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 1000, 16, rate)).ssnd(samples).bytes();
    Bytes aesd(24, 0);
    aesd[0] = 0x19;  // professional status, 50/15 us emphasis

    return {
        {"FORM header cut at 10 bytes", "h10.aif", Bytes(good.begin(), good.begin() + 10),
         Ends::analysisError, "Invalid file header. "},
        {"cut inside COMM", "cutcomm.aif", Bytes(good.begin(), good.begin() + 30), Ends::analysisError,
         "Invalid file header. "},
        {"cut inside SSND", "cutssnd.aif", Bytes(good.begin(), good.begin() + 2000), Ends::analysisError,
         "Invalid file header. "},
        {"COMM of 16 bytes", "comm16.aif",
         AiffBuilder("AIFF").chunk("COMM", Bytes(16, 0)).ssnd(samples).bytes(), Ends::analysisError,
         "Invalid file header. "},
        {"AIFF-C COMM without its compression type", "comm18.aiff",
         AiffBuilder("AIFC").fver().comm(AiffBuilder::commBody(2, 1000, 16, rate)).ssnd(samples).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"zero channels", "ch0.aif",
         AiffBuilder("AIFF").comm(AiffBuilder::commBody(0, 1000, 16, rate)).ssnd(samples).bytes(),
         Ends::analysisError, "Unsupported number of channels. "},
        {"zero bits", "bits0.aif",
         AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 1000, 0, rate)).ssnd(samples).bytes(),
         Ends::analysisError, "Unsupported sample bit depth. "},
        {"no COMM", "nocomm.aif", AiffBuilder("AIFF").ssnd(samples).bytes(), Ends::analysisError,
         "Invalid file header. "},
        {"no SSND", "nossnd.aif", AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 1000, 16, rate)).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"two COMM chunks", "twocomm.aif",
         AiffBuilder("AIFF")
             .comm(AiffBuilder::commBody(2, 1000, 16, rate))
             .comm(AiffBuilder::commBody(2, 1000, 16, rate))
             .ssnd(samples)
             .bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"SSND with fewer frames than COMM", "short.aif",
         AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 4000, 16, rate)).ssnd(samples).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"SSND offset past its chunk", "offset.aif",
         AiffBuilder("AIFF")
             .comm(AiffBuilder::commBody(2, 1000, 16, rate))
             .chunk("SSND",
                    [] {
                        Bytes b;
                        bytes::appendU32BE(b, 0x7FFFFFFF);
                        bytes::appendU32BE(b, 0);
                        return b;
                    }())
             .bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"AIFF-C without FVER", "nofver.aiff",
         AiffBuilder("AIFC").comm(AiffBuilder::commBodyC(2, 1000, 16, rate, "NONE")).ssnd(samples).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"AIFF with FVER", "fver.aif",
         AiffBuilder("AIFF").fver().comm(AiffBuilder::commBody(2, 1000, 16, rate)).ssnd(samples).bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"wrong FVER timestamp", "fvertime.aiff",
         AiffBuilder("AIFC")
             .fver(0x12345678)
             .comm(AiffBuilder::commBodyC(2, 1000, 16, rate, "NONE"))
             .ssnd(samples)
             .bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"FVER of 8 bytes", "fver8.aiff",
         AiffBuilder("AIFC")
             .chunk("FVER", Bytes(8, 0xA2))
             .comm(AiffBuilder::commBodyC(2, 1000, 16, rate, "NONE"))
             .ssnd(samples)
             .bytes(),
         Ends::analysisError, "Invalid file header. "},
        {"compression ulaw", "ulaw.aiff", aifc("ulaw").ssnd(samples).bytes(), Ends::analysisError,
         "Unsupported compression type. "},
        {"negative rate sign", "negrate.aif",
         AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 1000, 16, negativeRate())).ssnd(samples).bytes(),
         Ends::analysisError, "Unsupported frame rate. "},
        {"rate exponent all ones", "infrate.aif",
         AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 1000, 16, hugeRate())).ssnd(samples).bytes(),
         Ends::analysisError, "Unsupported frame rate. "},
        {"8-bit mono", "mono8.aif",
         AiffBuilder("AIFF")
             .comm(AiffBuilder::commBody(1, 1000, 8, rate))
             .ssnd(pcm(1000, 1, 1, true))
             .bytes(),
         Ends::analysisError, "Unsupported number of channels. Unsupported sample bit depth. "},
        {"no samples at all", "zeroframes.aif",
         AiffBuilder("AIFF").comm(AiffBuilder::commBody(2, 0, 16, rate)).ssnd({}).bytes(),
         Ends::conversionError, "Invalid audio data. "},
        {"1000 tiny unknown chunks", "many.aif", manyChunks.bytes(), Ends::converts, ""},
        {"sowt with emphasis, an SSND offset and trailing chunks", "sowt.aiff",
         aifc("sowt").chunk("AESD", aesd).ssnd(pcm(1000, 2, 2), 6).chunk("ANNO", Bytes(5, 'a')).bytes(),
         Ends::converts, ""},
        {"NONE", "none.aiff", aifc("NONE").ssnd(samples).bytes(), Ends::converts, ""},
    };
}

std::vector<Case> flacCases(const test::TempDir& dir) {
    const Bytes good = flacFile(dir, 2, 16, 20000);
    const Bytes mono8 = flacFile(dir, 1, 8, 2000);
    const Bytes empty = flacFile(dir, 2, 16, 0);
    EXPECT_GT(good.size(), 2000u);
    if (good.size() <= 2000) return {};

    // STREAMINFO follows "fLaC" and its 4-byte block header; the low 32 bits of the total
    // sample count sit at bytes 22-25 of the file.
    Bytes doubledTotal = good;
    bytes::writeU32BE(doubledTotal.data() + 22, bytes::readU32BE(good.data() + 22) * 2);
    Bytes unknownTotal = good;
    bytes::writeU32BE(unknownTotal.data() + 22, 0);
    unknownTotal[21] &= 0xF0;
    // Four thousand million frames announced in twenty kilobytes.
    Bytes impossibleTotal = good;
    bytes::writeU32BE(impossibleTotal.data() + 22, 0xFFFFFFFF);
    Bytes damagedFrame = good;
    damagedFrame[good.size() - 300] ^= 0x5A;

    return {
        {"magic only", "magic.flac", Bytes{'f', 'L', 'a', 'C'}, Ends::analysisError, "Cannot open file. "},
        {"cut inside STREAMINFO", "cutinfo.flac", Bytes(good.begin(), good.begin() + 20), Ends::analysisError,
         "Cannot open file. "},
        // The decoder also reports the bytes it skipped looking for a frame.
        {"a WAV file named .flac", "wav.flac", WavBuilder().pcm(2, 44100, 16).data(pcm(100, 2, 2)).bytes(),
         Ends::analysisError, "Cannot open file. Invalid audio data. "},
        {"cut in the middle of a frame", "cutframe.flac",
         Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2 + 7)), Ends::conversionError,
         "Invalid audio data. "},
        {"one byte short", "short.flac", Bytes(good.begin(), good.end() - 1), Ends::conversionError,
         "Invalid audio data. "},
        {"a frame damaged", "damaged.flac", damagedFrame, Ends::conversionError, "Invalid audio data. "},
        {"total samples twice the stream", "total.flac", doubledTotal, Ends::conversionError,
         "Invalid audio data. "},
        {"more frames announced than the file can hold", "impossible.flac", impossibleTotal,
         Ends::conversionError, "Invalid audio data. "},
        {"8-bit mono", "mono8.flac", mono8, Ends::analysisError,
         "Unsupported number of channels. Unsupported sample bit depth. "},
        {"no samples at all", "empty.flac", empty, Ends::conversionError, "Invalid audio data. "},
        {"total samples unknown", "unknown.flac", unknownTotal, Ends::converts, ""},
        {"16-bit stereo", "good.flac", good, Ends::converts, ""},
    };
}

// The result of both passes on one file.
struct Outcome {
    int analysisError = 0;
    int state = 0;
    std::string stateText;
    std::string destinationText;
};

class MalformedFiles : public ::testing::Test {
  protected:
    // No file of these tables needs more than a few megabytes; a header that makes a pass
    // claim more is a fault even where the machine would grant it.
    void SetUp() override {
        platform::setHost(&host_);
        setAllocationLimitForTesting(kAllocationLimit);
    }
    void TearDown() override {
        setAllocationLimitForTesting(0);
        platform::setHost(nullptr);
    }
    static constexpr size_t kAllocationLimit = size_t{256} << 20;

    // Analysis, then the conversion when the analysis found nothing wrong, on a thread of
    // their own so that a hang fails the case by name instead of stopping the run.
    Outcome runPasses(const std::string& path, const std::string& outFolder) {
        Outcome outcome;
        auto passes = std::make_shared<std::packaged_task<void()>>([&] {
            AudioFile job(path, false, false);
            std::mutex lock;
            settings::SettingsMirror mirror;  // the defaults: hi-res output on
            settings::Selection selection;
            selection.destinationOption = 2;
            selection.destinationText = outFolder;
            selection.suffix_1 = "-out";
            AnalyseFileThread(job, settings::makeSnapshot(lock, mirror, selection));
            outcome.analysisError = job.error;
            if (job.error == 0) ProcessFileThread(job, settings::makeSnapshot(lock, mirror, selection));
            outcome.state = job.state;
            outcome.stateText = job.text(Column::state);
            outcome.destinationText = job.text(Column::destinationName);
        });
        std::future<void> done = passes->get_future();
        std::thread([passes] { (*passes)(); }).detach();
        if (done.wait_for(kPassLimit) != std::future_status::ready) {
            // The thread still uses this test's objects: nothing sound is left but to stop.
            std::fprintf(stderr, "%s did not finish within %lld s\n", path.c_str(),
                         static_cast<long long>(kPassLimit.count()));
            std::fflush(nullptr);
            std::_Exit(1);
        }
        done.get();  // an assertion the file reached fails the case here
        return outcome;
    }

    void check(const std::vector<Case>& cases) {
        ASSERT_FALSE(cases.empty());
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const std::string source = test::writeFile(dir_, c.fileName, c.bytes);
            const std::string out = dir_.file("out-" + c.fileName);
            ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);

            const Outcome o = runPasses(source, out);
            const std::vector<std::string> written = folderEntries(out);
            switch (c.ends) {
                case Ends::analysisError:
                    EXPECT_NE(o.analysisError, 0);
                    EXPECT_EQ(o.state, kStateAnalysed);
                    EXPECT_EQ(o.stateText, c.text);
                    EXPECT_EQ(o.destinationText, "--");
                    EXPECT_TRUE(written.empty());
                    break;
                case Ends::conversionError:
                    EXPECT_EQ(o.analysisError, 0) << o.stateText;
                    EXPECT_EQ(o.state, kStateFailed);
                    EXPECT_EQ(o.stateText, c.text);
                    EXPECT_EQ(o.destinationText, "--");
                    EXPECT_TRUE(written.empty()) << written.front();
                    break;
                case Ends::converts:
                    EXPECT_EQ(o.analysisError, 0) << o.stateText;
                    EXPECT_EQ(o.state, kStateConverted) << o.stateText;
                    EXPECT_TRUE(o.stateText.size() >= 9 && o.stateText.ends_with("Complete.")) << o.stateText;
                    ASSERT_EQ(written.size(), 1u);
                    EXPECT_EQ(out + "/" + written[0], o.destinationText);
                    EXPECT_GT(readFile(o.destinationText).size(), 44u);
                    break;
            }
            EXPECT_EQ(readFile(source), c.bytes) << "the source changed";
        }
    }

    test::TempDir dir_;
    platform::HeadlessHost host_;
};

TEST_F(MalformedFiles, WavFilesEndWithTheirErrorTextOrConvert) {
    check(wavCases());
}

TEST_F(MalformedFiles, AiffFilesEndWithTheirErrorTextOrConvert) {
    check(aiffCases());
}

TEST_F(MalformedFiles, FlacFilesEndWithTheirErrorTextOrConvert) {
    check(flacCases(dir_));
}

}  // namespace
}  // namespace quiramo
