#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AnalysisDriver.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Settings.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/support/ImageParts.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo {
namespace {

using catalogue::bit;
using test::signatureBody;
using test::WavBuilder;

class AnalysisDriver : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }

    std::unique_ptr<AudioFile> analyse(const std::string& path) {
        auto job = std::make_unique<AudioFile>(path, false, false);
        settings::SettingsMirror mirror;
        settings::Selection selection;
        AnalyseFileThread(*job, settings::makeSnapshot(lock_, mirror, selection));
        return job;
    }
    std::unique_ptr<AudioFile> analyse(const WavBuilder& wav, const std::string& name = "a.wav") {
        return analyse(wav.writeTo(dir_, name));
    }

    // Every pass must leave the lock free for the next one.
    bool lockIsFree() {
        if (!lock_.try_lock()) return false;
        lock_.unlock();
        return true;
    }

    test::TempDir dir_;
    platform::HeadlessHost host_;
    std::mutex lock_;
};

TEST_F(AnalysisDriver, LongStereoFileIsReadyWithItsParameters) {
    // 3723.5 s at 44.1 kHz; the samples are a hole in a sparse file, the header reads them
    // not at all.
    const uint64_t frames = 3723 * 44100 + 22050;
    const auto job = analyse(WavBuilder().pcm(2, 44100, 16).data(frames * 4));
    const RowTexts t = job->rowTexts();
    EXPECT_EQ(t.stateTableText, "Ready to convert. ");
    EXPECT_EQ(t.durationTableText, "62:03");
    EXPECT_EQ(t.frameRateTableText, "44100");
    EXPECT_EQ(t.channelsTableText, "2");
    EXPECT_EQ(t.sampleSizeBitsTableText, "16");
    EXPECT_EQ(t.fileTypeTableText, "WAV audio");
    EXPECT_EQ(t.destinationNameTableText, "--");
    EXPECT_EQ(job->state, kStateAnalysed);
    EXPECT_EQ(job->error, 0);
    EXPECT_EQ(job->srcFrames, frames);
    EXPECT_TRUE(job->srcAudioData.empty());
    EXPECT_EQ(host_.refreshCount(), 3u);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(AnalysisDriver, ParametersOutsideTheChainAreRejected) {
    struct Case {
        const char* name;
        WavBuilder wav;
        const char* state;
        int error;
    };
    const Case cases[] = {
        {"22.05 kHz", WavBuilder().pcm(2, 22050, 16).data(4 * 100), "Unsupported frame rate. ",
         kErrorFrameRate},
        {"mono 8-bit", WavBuilder().pcm(1, 44100, 8).data(100),
         "Unsupported number of channels. Unsupported sample bit depth. ", kErrorChannels | kErrorBitDepth},
        {"float", WavBuilder().fmt(WavBuilder::fmtBody(2, 44100, 32, 3)).data(800),
         "Unsupported compression type. ", kErrorCompression},
        {"24 bits in 32", WavBuilder().fmt(WavBuilder::fmtBody40(2, 44100, 32, 24, 3)).data(800),
         "Unsupported sample bit depth. ", kErrorBitDepth},
        {"rate 0", WavBuilder().pcm(2, 0, 16).data(400), "Unsupported frame rate. ", kErrorFrameRate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto job = analyse(c.wav);
        const RowTexts t = job->rowTexts();
        EXPECT_EQ(t.stateTableText, c.state);
        EXPECT_EQ(t.destinationNameTableText, "--");
        EXPECT_EQ(job->error, c.error);
        EXPECT_EQ(job->state, kStateAnalysed);
        EXPECT_TRUE(lockIsFree());
    }
}

TEST_F(AnalysisDriver, UnsupportedExtensionAndMissingFile) {
    const auto mp3 = analyse(dir_.file("song.mp3"));
    EXPECT_EQ(mp3->text(Column::state), "Invalid file type. ");
    EXPECT_EQ(mp3->state, kStateAnalysed);

    const auto gone = analyse(dir_.file("gone.wav"));
    EXPECT_EQ(gone->text(Column::state), "Cannot open file. ");
    EXPECT_EQ(gone->text(Column::duration), "--");
    EXPECT_EQ(gone->state, kStateAnalysed);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(AnalysisDriver, PriorConversionsOnTheRow) {
    // Once with QUERNWALD and None: the item and nothing after it, and the dialog.
    const auto once =
        analyse(WavBuilder().pcm(2, 44100, 16).data(400).chunk("QUER", signatureBody(catalogue::kTypeQW, 1)));
    EXPECT_EQ(once->text(Column::state), "Ready to convert. Prior conversion: QUERNWALD");
    EXPECT_EQ(host_.warningsShown(),
              std::vector<std::string>{"This source file has already been processed with QUERNWALD."});

    // The layout follows the version text: 2.0.13 wrote 4-byte fields, 2.0.14 on 8-byte ones.
    struct Case {
        const char* version;
        size_t width;
        const char* state;
    };
    const Case cases[] = {
        {"v2.0.13", 4, "Ready to convert. Prior conversion: QUERNWALD + Groove"},
        {"v2.0.14", 8, "Ready to convert. Prior conversion: QUERNWALD + Groove"},
        {"v2.1", 8, "Ready to convert. Prior conversion: QUERNWALD + Groove"},
        {"v3", 8, "Ready to convert. Prior conversion: QUERNWALD + Groove"},
        {"v2.0.13", 8, "Invalid file header. "},
        {"v2.0.14", 4, "Invalid file header. "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << " with " << c.width << "-byte fields");
        // Layout 1 stored Groove as Enhancement 2 value 2.
        const uint64_t groove = c.width == 4 ? 2 : catalogue::kTypeGR;
        const auto job =
            analyse(WavBuilder()
                        .pcm(2, 44100, 16)
                        .data(400)
                        .chunk("QUER", signatureBody(catalogue::kTypeQW, groove, c.version, c.width)));
        EXPECT_EQ(job->text(Column::state), c.state);
    }
}

TEST_F(AnalysisDriver, ReadyTextOrder) {
    AudioFile job("/a/b.wav", false, false);
    // Converted twice with QUERNWALD, once with Enhancement 2 None, once with Groove: the
    // ". " comes from bit 0 and the blank of " + " stays beside it.
    job.warning_1 = bit(1);
    job.warning_2 = bit(0) | bit(48);
    EXPECT_EQ(readyText(job), "Ready to convert. Prior conversion: QUERNWALD.  + Groove");

    // T-Sym prints right after Twin Quads; analysis warnings follow in their fixed order.
    job.warning_1 = bit(0) | bit(7) | bit(49) | bit(6);
    job.warning_2 = bit(1);
    job.warning = kWarningOddChunk | kWarningTruncated4GB | kWarningCdEmphasis;
    EXPECT_EQ(
        readyText(job),
        "Ready to convert. Prior conversion: Twin QuadsPrior conversion: QUERNWALD T-SymPrior conversion: "
        "Cantor 51 Surround + QUERNWALDOutput file truncated to 4GB limit. Header chunk has odd number of "
        "bytes. 50/15 \u03bcs emphasis detected. Requires CD de-emphasis equalisation. ");
}

TEST_F(AnalysisDriver, StoredWarnSettingIsReadAfresh) {
    // The snapshot says warn; the store, changed by another file's dialog, says no.
    host_.setStoredSetting("WarnPreprocess", "NO");
    const auto job =
        analyse(WavBuilder().pcm(2, 44100, 16).data(400).chunk("QUER", signatureBody(catalogue::kTypeQW, 1)));
    EXPECT_EQ(job->text(Column::state), "Ready to convert. Prior conversion: QUERNWALD");
    EXPECT_FALSE(job->warnPreprocess);
    EXPECT_TRUE(host_.warningsShown().empty());
}

TEST_F(AnalysisDriver, TooEarlyResultsAssertAndReleaseTheLock) {
    for (int which = 0; which < 2; ++which) {
        const std::string path = WavBuilder().pcm(2, 44100, 16).data(400).writeTo(dir_, "a.wav");
        AudioFile job(path, false, false);
        if (which == 0) {
            job.error = kErrorUnknown;
        } else {
            job.warning_2 = 1;
        }
        try {
            AnalyseFileThread(
                job, settings::makeSnapshot(lock_, settings::SettingsMirror{}, settings::Selection{}));
            ADD_FAILURE() << "no assertion";
        } catch (const platform::AssertionError& e) {
            EXPECT_EQ(std::string(e.what()),
                      which == 0 ? "There is an error too early in the thread in AnalyseFileThread"
                                 : "There is a warning too early in the thread in AnalyseFileThread");
        }
        EXPECT_TRUE(lockIsFree());
    }
}

TEST_F(AnalysisDriver, LogOfARejectedFile) {
    const std::string path =
        WavBuilder().fmt(WavBuilder::fmtBody(2, 44100, 16, 3)).data(8).writeTo(dir_, "f.wav");
    platform::ScopedMemoryLog log;
    analyse(path);
    const std::vector<std::string> expected = {
        "<Info> ===============================================================",
        "<Info> Analysing audio file: " + path,
        "<Info>  File extension 'wav' is supported.",
        "<Info> Analysing RIFF chunk",
        "<Info>  ckID = RIFF",
        "<Info>  ckDataSize = 2c (hex) 44 (dec)",
        "<Info>  format = WAV",
        "<Info>  RIFF chunk is good",
        "<Info> Eumerating remaining chunks",
        "<Info>  ckID = fmt ",
        "<Info>  ckDataSize = 10 (hex) 16 (dec)",
        "<Info>  16 bytes remaining",
        "<Info>  ckID = data",
        "<Info>  ckDataSize = 8 (hex) 8 (dec)",
        "<Info>  0 bytes remaining",
        "<Info>  Bytes from unknown chunks = 0 (hex) 0 (dec)",
        "<Info> Analysing fmt chunk",
        "<Info>  ckID = fmt ",
        "<Info>  ckDataSize = 10 (hex) 16 (dec)",
        "<ERROR> Unexpected wFormatTag: 3 (hex) 3 (dec), ckDataSize: 10 (hex) 16 (dec)",
    };
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(AnalysisDriver, LogOfAGoodFile) {
    const std::string path = WavBuilder().pcm(2, 96000, 24).data(6 * 96000).writeTo(dir_, "g.WAV");
    platform::ScopedMemoryLog log;
    const auto job = analyse(path);
    EXPECT_EQ(job->text(Column::state), "Ready to convert. ");
    EXPECT_EQ(job->text(Column::duration), "00:01");
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "<Info> Analysing audio file: " + path);
    EXPECT_EQ(lines[2], "<Info>  File extension 'WAV' is supported.");
    // The reader's own lines are compared in full by its suite; the reports follow them.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "<Info>  data chunk is good"), lines.end());
    for (const auto& line : lines) EXPECT_FALSE(line.starts_with("<ERROR>")) << line;
}

TEST_F(AnalysisDriver, PassesOnTheirOwnThreadsTakeTurns) {
    const uint32_t rates[] = {44100, 48000, 88200, 96000, 22050, 176400};
    std::vector<std::unique_ptr<AudioFile>> jobs;
    for (uint32_t rate : rates) {
        const std::string name = std::to_string(rate) + ".wav";
        jobs.push_back(std::make_unique<AudioFile>(
            WavBuilder().pcm(2, rate, 24).data(6 * 1000).writeTo(dir_, name), false, false));
    }
    std::vector<std::thread> threads;
    for (auto& job : jobs) {
        threads.emplace_back([this, j = job.get()] {
            AnalyseFileThread(
                *j, settings::makeSnapshot(lock_, settings::SettingsMirror{}, settings::Selection{}));
        });
    }
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < jobs.size(); ++i) {
        SCOPED_TRACE(rates[i]);
        EXPECT_EQ(jobs[i]->state, kStateAnalysed);
        EXPECT_EQ(jobs[i]->text(Column::state),
                  rates[i] == 22050 ? "Unsupported frame rate. " : "Ready to convert. ");
        EXPECT_EQ(jobs[i]->text(Column::frameRate), std::to_string(rates[i]));
    }
    EXPECT_TRUE(lockIsFree());
}

TEST_F(AnalysisDriver, SoxFileIsReady) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const std::string path = dir_.file("sine.wav");
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + path + "' synth 1 sine 440").c_str()), 0);
    const auto job = analyse(path);
    EXPECT_EQ(job->text(Column::state), "Ready to convert. ");
    EXPECT_EQ(job->text(Column::duration), "00:01");
    EXPECT_EQ(job->srcFrames, 44100u);
}

}  // namespace
}  // namespace quiramo
