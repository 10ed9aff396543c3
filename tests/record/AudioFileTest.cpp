#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/record/AudioFile.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using namespace std::chrono_literals;

// Installs a headless host of the test's own, so refreshes and dialogs can be counted.
class HostedTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }
    platform::HeadlessHost host_;
};

TEST(AudioFileInit, NameAndTypeFromThePath) {
    struct Case {
        const char* path;
        bool showExtension, showFullPath;
        const char* name;
        int type;
        const char* typeText;
    };
    const Case cases[] = {
        {"/a/b/Song.wav", false, false, "Song", 2, "WAV audio"},
        {"/a/b/Song.wav", true, false, "Song.wav", 2, "WAV audio"},
        {"/a/b/Song.wav", false, true, "/a/b/Song", 2, "WAV audio"},
        {"/a/b/Song.wav", true, true, "/a/b/Song.wav", 2, "WAV audio"},
        {"/x/Song.Flac", false, false, "Song", 16, "FLAC audio"},
        {"/x/SONG.FLAC", true, false, "SONG.FLAC", 16, "FLAC audio"},
        {"/x/song.aifc", false, false, "song", 8, ""},  // the AIFF reader sets the text
        {"/x/song.AIF", false, false, "song", 8, ""},
        {"/x/song.aiff", true, false, "song.aiff", 8, ""},
        {"/x/song.WaV", false, false, "song", 2, "WAV audio"},
        {"/x/song.mp3", false, false, "song", 0, "Unsupported"},
        {"/x/song", false, false, "song", 0, "Unsupported"},
        {"/x/song.wav.bak", false, false, "song.wav", 0, "Unsupported"},
        {"/x.wav/song", false, true, "/x.wav/song", 0, "Unsupported"},  // a dot in a folder is no extension
        {"/x/.wav", false, false, ".wav", 2, "WAV audio"},              // a hidden name keeps its dot
        {"Song.wav", false, true, "Song", 2, "WAV audio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " ext=" + std::to_string(c.showExtension) +
                     " full=" + std::to_string(c.showFullPath));
        AudioFile job(c.path, c.showExtension, c.showFullPath);
        EXPECT_EQ(job.inputFile, c.path);
        EXPECT_EQ(job.text(Column::sourceName), c.name);
        EXPECT_EQ(job.srcFileType, c.type);
        EXPECT_EQ(job.text(Column::fileType), c.typeText);
    }
}

TEST(AudioFileInit, FreshRecordWaitsForAnalysis) {
    AudioFile job("/a/b/Song.wav", false, false);
    EXPECT_EQ(job.state, kStateWaiting);
    EXPECT_EQ(job.contextAction, 0);
    EXPECT_EQ(job.error, 0);
    EXPECT_EQ(job.warning, 0);
    EXPECT_EQ(job.warning_1, 0u);
    EXPECT_EQ(job.warning_2, 0u);
    const RowTexts t = job.rowTexts();
    for (Column c : {Column::state, Column::duration, Column::frameRate, Column::channels,
                     Column::sampleSizeBits, Column::filter, Column::destinationName}) {
        EXPECT_EQ(t.get(c), "--") << columnIdentifier(c);
    }
    EXPECT_EQ(t.progressTableText, "");
    EXPECT_LE(job.progressTableTextLastUpdate, std::chrono::steady_clock::now());
}

TEST(AudioFileRow, ColumnIdentifiersAreTheTextNames) {
    const char* expected[kColumnCount] = {
        "sourceNameTableText", "fileTypeTableText",       "stateTableText",    "progressTableText",
        "durationTableText",   "frameRateTableText",      "channelsTableText", "sampleSizeBitsTableText",
        "filterTableText",     "destinationNameTableText"};
    AudioFile job("/x/a.wav", false, false);
    for (int i = 0; i < kColumnCount; ++i) {
        const auto c = static_cast<Column>(i);
        EXPECT_STREQ(columnIdentifier(c), expected[i]);
        // Each column is its own text.
        job.setText(c, expected[i]);
    }
    const RowTexts t = job.rowTexts();
    EXPECT_EQ(t.sourceNameTableText, "sourceNameTableText");
    EXPECT_EQ(t.fileTypeTableText, "fileTypeTableText");
    EXPECT_EQ(t.stateTableText, "stateTableText");
    EXPECT_EQ(t.progressTableText, "progressTableText");
    EXPECT_EQ(t.durationTableText, "durationTableText");
    EXPECT_EQ(t.frameRateTableText, "frameRateTableText");
    EXPECT_EQ(t.channelsTableText, "channelsTableText");
    EXPECT_EQ(t.sampleSizeBitsTableText, "sampleSizeBitsTableText");
    EXPECT_EQ(t.filterTableText, "filterTableText");
    EXPECT_EQ(t.destinationNameTableText, "destinationNameTableText");
    job.appendText(Column::fileType, " > FLAC audio");
    EXPECT_EQ(job.text(Column::fileType), "fileTypeTableText > FLAC audio");
}

TEST(ResultTexts, EveryErrorBitHasItsText) {
    const std::pair<int, const char*> rows[] = {
        {1, "Unknown error. "},
        {2, "Memory allocation error. "},
        {4, "Cannot open file. "},
        {8, "Cannot save file. "},
        {16, "Invalid file type. "},
        {32, "Invalid file header. "},
        {64, "Unsupported frame rate. "},
        {128, "Unsupported number of channels. "},
        {256, "Unsupported sample bit depth. "},
        {512, "Unsupported compression type. "},
        {1024, "Invalid audio data. "},
        {4096, "Cancelled. "},
        {16384, "Invalid frame-rate for half-speed needle drop. "},
    };
    std::string all;
    for (const auto& [bit, text] : rows) {
        EXPECT_EQ(errorTexts(bit), text);
        all += text;
    }
    EXPECT_EQ(errorTexts(0x7FFF), all);  // in table order; the unused bits 2048 and 8192 add nothing
    EXPECT_EQ(errorTexts(2048 | 8192), "");
}

TEST(ResultTexts, ErrorTextsKeepTheirOrderWhateverOrderTheBitsWereSet) {
    for (const bool frameRateFirst : {true, false}) {
        AudioFile job("/x/a.wav", false, false);
        job.setText(Column::destinationName, "a-qw.wav");
        job.setText(Column::state, "Analysing...");
        if (frameRateFirst) {
            job.error |= kErrorFrameRate;
            job.error |= kErrorFileType;
        } else {
            job.error |= kErrorFileType;
            job.error |= kErrorFrameRate;
        }
        job.showErrorTexts();
        EXPECT_EQ(job.text(Column::state), "Invalid file type. Unsupported frame rate. ");
        EXPECT_EQ(job.text(Column::destinationName), "--");
    }
}

TEST(ResultTexts, ProcessingWarningsThenMultipleConvertsThenComplete) {
    AudioFile job("/x/a.wav", false, false);
    job.warning |= kWarningTruncated4GB;
    job.warning |= kWarningAttenuated;
    job.clipdB = 3;
    EXPECT_EQ(
        job.processingResultText(),
        "Attenuated by 3.00dB to avoid excessive clipping. Output file truncated to 4GB limit. Complete.");

    job.warning = 0;
    EXPECT_EQ(job.processingResultText(), "Complete.");
    job.warning_1 = 1;  // earlier conversions with None only
    EXPECT_EQ(job.processingResultText(), "Complete.");
    job.warning_1 = 1 | (uint64_t{1} << 49);
    EXPECT_EQ(job.processingResultText(), "Multiple converts. Complete.");

    // Every warning, set in reverse order, comes out in the order of appending.
    job.warning_1 = 0;
    job.clipdB = 1.234;
    job.adjustDstR128Level = -16.5;
    for (int bit = 512; bit >= 1; bit >>= 1) job.warning |= bit;
    EXPECT_EQ(job.processingResultText(),
              "Loudness adjusted to -16.5 LUFS. "
              "Attenuated by 1.23dB to avoid excessive clipping. "
              "Excessive clipping in converted file (1.23dB). "
              "Output file truncated to 4GB limit. "
              "Header chunk has odd number of bytes. "
              "File is too short for R128 analysis. "
              "50/15 \xCE\xBCs emphasis detected. Requires CD de-emphasis equalisation. "
              "CCITT J.17 emphasis detected. Requires Radio de-emphasis equalisation. "
              "No RADAR detected for CD-4 quadraphonic decode. "
              "Failed to detect Wow! "
              "Complete.");
    // The analysis shows only the warnings both passes show.
    EXPECT_EQ(analysisWarningTexts(kWarningLoudnessAdjusted | kWarningAttenuated | kWarningExcessiveClipping),
              "");
    EXPECT_EQ(analysisWarningTexts(kWarningWowNotDetected | kWarningOddChunk),
              "Header chunk has odd number of bytes. Failed to detect Wow! ");
}

class ProgressText : public HostedTest {};

TEST_F(ProgressText, ThrottlesTheMiddleValuesButNotTheEnds) {
    AudioFile job("/x/a.wav", false, false);
    EXPECT_TRUE(job.updateProgressTableText(0));
    EXPECT_EQ(job.text(Column::progress), "0%");
    EXPECT_EQ(host_.refreshCount(), 1u);
    for (unsigned p : {1u, 2u, 3u}) EXPECT_TRUE(job.updateProgressTableText(p));
    EXPECT_EQ(job.text(Column::progress), "0%");
    EXPECT_EQ(host_.refreshCount(), 1u);  // nothing changed, nothing to redraw

    EXPECT_TRUE(job.updateProgressTableText(100));
    EXPECT_EQ(job.text(Column::progress), "100%");
    EXPECT_EQ(host_.refreshCount(), 2u);

    EXPECT_TRUE(job.updateProgressTableText(250));  // capped by the report itself
    EXPECT_EQ(job.text(Column::progress), "100%");

    job.updateProgressTableText(0);
    EXPECT_EQ(job.text(Column::progress), "0%");
    // More than 0.1 s after the last change a middle value shows, and restarts the clock.
    job.progressTableTextLastUpdate = std::chrono::steady_clock::now() - 150ms;
    const unsigned before = host_.refreshCount();
    EXPECT_TRUE(job.updateProgressTableText(42));
    EXPECT_EQ(job.text(Column::progress), "42%");
    EXPECT_EQ(host_.refreshCount(), before + 1);
    EXPECT_TRUE(job.updateProgressTableText(43));
    EXPECT_EQ(job.text(Column::progress), "42%");
}

TEST_F(ProgressText, ShowsAMiddleValueAfterRealTimeHasPassed) {
    AudioFile job("/x/a.wav", false, false);
    job.updateProgressTableText(0);
    std::this_thread::sleep_for(120ms);
    job.updateProgressTableText(7);
    EXPECT_EQ(job.text(Column::progress), "7%");
}

TEST_F(ProgressText, CancelFromAnotherThreadStopsTheLoopAtItsNextStep) {
    AudioFile job("/x/a.wav", false, false);
    std::atomic<bool> running{false};
    std::atomic<bool> stoppedByProgress{false};
    std::thread worker([&] {
        // A long loop of a pass: one progress step per sample, reporting every 1000.
        Progress progress = jobProgress(job, 1000, 0);
        running = true;
        for (uint64_t i = 0; i < (uint64_t{1} << 40); ++i) {
            if (!progress.step()) {
                stoppedByProgress = true;
                return;
            }
        }
    });
    while (!running) std::this_thread::yield();
    std::thread canceller([&] { job.requestCancel(); });
    canceller.join();
    worker.join();
    EXPECT_TRUE(stoppedByProgress);
    EXPECT_TRUE(job.cancelRequested());
    EXPECT_EQ(job.error, kErrorCancelled);
    EXPECT_FALSE(job.updateProgressTableText(0));
    job.showErrorTexts();
    EXPECT_EQ(job.text(Column::state), "Cancelled. ");
}

TEST_F(ProgressText, NoCancelMeansGoOn) {
    AudioFile job("/x/a.wav", false, false);
    EXPECT_FALSE(job.checkCancelled());
    EXPECT_EQ(job.error, 0);
    job.requestCancel();
    EXPECT_TRUE(job.checkCancelled());
    EXPECT_EQ(errorTexts(job.error), "Cancelled. ");
}

class AlreadyProcessed : public HostedTest {};

TEST_F(AlreadyProcessed, ShowsTheTextAndSwitchesTheWarningOffWhenTicked) {
    AudioFile job("/x/a.wav", false, false);
    job.ShowFileAlreadyProcessedWarning("QUERNWALD");
    ASSERT_EQ(host_.warningsShown().size(), 1u);
    EXPECT_EQ(host_.warningsShown()[0], "This source file has already been processed with QUERNWALD.");
    EXPECT_EQ(host_.readStoredSetting("WarnPreprocess"), "YES");

    host_.setSuppressAlreadyProcessed(true);
    job.ShowFileAlreadyProcessedWarning("Hi-Res");
    EXPECT_EQ(host_.warningsShown().back(), "This source file has already been processed with Hi-Res.");
    EXPECT_EQ(host_.readStoredSetting("WarnPreprocess"), "NO");
}

TEST(CreateSrcAudioData, CopiesExactlyTheAnnouncedBytes) {
    AudioFile job("/x/a.wav", false, false);
    job.srcFrames = 3;
    job.srcChannels = 2;
    job.srcSampleBytes = 3;
    std::vector<uint8_t> bytes(18);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    CreateSrcAudioData(job, bytes.data(), bytes.size());
    EXPECT_EQ(job.error, 0);
    ASSERT_EQ(job.srcAudioData.size(), 18u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), job.srcAudioData.begin()));
}

TEST(CreateSrcAudioData, ASizeMismatchIsAProgrammingError) {
    AudioFile job("/x/a.wav", false, false);
    job.srcFrames = 3;
    job.srcChannels = 2;
    job.srcSampleBytes = 2;
    std::vector<uint8_t> bytes(13);
    try {
        CreateSrcAudioData(job, bytes.data(), bytes.size());
        FAIL() << "no assertion";
    } catch (const platform::AssertionError& e) {
        EXPECT_STREQ(e.what(), "Unexpected dataSize in CreateSrcAudioData");
    }
    EXPECT_TRUE(job.srcAudioData.empty());

    // Counts whose product wraps round 64 bits must not pass as a match: 2^31 × 2^31 × 4
    // wraps to 0, which would accept an absurd header as an empty source.
    job.srcFrames = 0x80000000u;
    job.srcChannels = 0x80000000u;
    job.srcSampleBytes = 4;
    EXPECT_THROW(CreateSrcAudioData(job, bytes.data(), 0), platform::AssertionError);
}

TEST(CreateSrcAudioData, AFailedAllocationSetsError2) {
    struct LimitGuard {
        ~LimitGuard() { setAllocationLimitForTesting(0); }
    } guard;
    platform::ScopedMemoryLog log;
    AudioFile job("/x/a.wav", false, false);
    job.srcFrames = 1000;
    job.srcChannels = 2;
    job.srcSampleBytes = 2;
    std::vector<uint8_t> bytes(4000);
    setAllocationLimitForTesting(1024);
    CreateSrcAudioData(job, bytes.data(), bytes.size());
    EXPECT_EQ(job.error, kErrorMemory);
    EXPECT_TRUE(job.srcAudioData.empty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"<ERROR> Memory allocation"});
}

}  // namespace
}  // namespace quiramo
