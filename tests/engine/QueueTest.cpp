// The shared queue: passes run one at a time in the order they were started, busy rows
// cannot be removed, and a record taken out of the queue stays alive for its pass.

#include "engine/Queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

#include "formats/Bytes.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo::test {
namespace {

std::string makeWav(const TempDir& dir, const std::string& name, uint32_t frames) {
    std::vector<uint8_t> samples;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lround(5000 * std::sin(i * 0.05)));
        bytes::appendU16LE(samples, static_cast<uint16_t>(v));
        bytes::appendU16LE(samples, static_cast<uint16_t>(-v));
    }
    return WavBuilder().pcm(2, 44100, 16).data(samples).writeTo(dir, name);
}

// Polls until every job satisfies done() or the time runs out.
template <typename Done>
bool waitFor(const std::vector<Queue::Job>& jobs, Done done, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        bool all = true;
        for (const auto& j : jobs) all = all && done(*j);
        if (all) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class QueueTest : public ::testing::Test {
protected:
    QueueTest()
        : queue([this](PassTurn turn) {
              settings::Selection sel;
              sel.filterType_1 = sel.filterType_2 = 1;
              sel.destinationOption = 2;
              sel.destinationText = dir.file("out");
              sel.suffix_1 = "-no";
              settings::SettingsMirror mirror;
              mirror.hiResType = 2;  // keep the rate and word length: the bytes stay comparable
              return settings::makeSnapshot(turn, mirror, sel);
          }) {
        std::filesystem::create_directories(dir.file("out"));
        platform::setHost(&host);
    }
    ~QueueTest() override {
        queue.waitForPasses();
        platform::setHost(nullptr);
    }

    TempDir dir;
    platform::HeadlessHost host;
    platform::ScopedMemoryLog log;
    Queue queue;
};

TEST_F(QueueTest, EightFilesAreAnalysedAndConvertedOneAtATimeInOrder) {
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) paths.push_back(makeWav(dir, "file" + std::to_string(i) + ".wav", 2000 + 100 * i));
    for (const auto& p : paths) ASSERT_NE(queue.add(p), nullptr);
    ASSERT_TRUE(waitFor(queue.jobs(), [](const AudioFile& j) { return j.state == kStateAnalysed; }));
    EXPECT_EQ(queue.convert([](size_t, const AudioFile&) { return true; }), 8u);
    ASSERT_TRUE(waitFor(queue.jobs(), [](const AudioFile& j) { return j.state == kStateConverted; }));

    std::vector<std::string> analysed, events;
    for (const auto& line : log.lines()) {
        if (line.rfind("<Info> Analysing audio file: ", 0) == 0) analysed.push_back(line.substr(29));
        if (line.rfind("<Info> Processing audio file: ", 0) == 0) events.push_back("start " + line.substr(30));
        if (line == "<Info> Complete") events.push_back("end");
    }
    EXPECT_EQ(analysed, paths);
    std::vector<std::string> expected;
    for (const auto& p : paths) {
        expected.push_back("start " + p);
        expected.push_back("end");
    }
    EXPECT_EQ(events, expected) << "each conversion must end before the next starts, in queue order";
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(std::filesystem::exists(dir.file("out/file" + std::to_string(i) + "-no.wav")));
    }
}

TEST_F(QueueTest, ConvertPicksOnlyAnalysedRowsWithoutErrorAndASecondPressFindsThemBusy) {
    const std::string good = makeWav(dir, "good.wav", 1000);
    const std::string bad = WavBuilder().riffId("RIFX").pcm(2, 44100, 16).data(100).writeTo(dir, "bad.wav");
    queue.add(good);
    queue.add(bad);
    EXPECT_EQ(queue.add(dir.file("song.mp3")), nullptr);
    EXPECT_EQ(queue.size(), 2u);
    ASSERT_TRUE(waitFor(queue.jobs(), [](const AudioFile& j) { return j.state == kStateAnalysed; }));

    // Hold the processing lock so the started conversion waits in "Queued".
    PassLock& lock = queue.processAudioLock();
    const uint64_t turn = lock.take();
    lock.waitTurn(turn);
    EXPECT_EQ(queue.convert([](size_t, const AudioFile&) { return true; }), 1u);
    EXPECT_EQ(queue.convert([](size_t, const AudioFile&) { return true; }), 0u);
    EXPECT_EQ(queue.jobs()[0]->state, kStateQueued);

    // The busy row stays; the failed one goes.
    EXPECT_EQ(queue.remove([](size_t, const AudioFile&) { return true; }), 1u);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.jobs()[0]->inputFile, good);
    lock.endTurn();
    ASSERT_TRUE(waitFor(queue.jobs(), [](const AudioFile& j) { return j.state == kStateConverted; }));
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "<WARNING> Cannot remove row 0"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "<WARNING> Cannot add '" + dir.file("song.mp3") + "' to the table view"),
              lines.end());
}

TEST_F(QueueTest, ARemovedRecordStaysAliveUntilItsPassEnds) {
    PassLock& lock = queue.analyseAudioLock();
    const uint64_t turn = lock.take();
    lock.waitTurn(turn);  // the analysis of the new file waits behind this turn
    Queue::Job job = queue.add(makeWav(dir, "late.wav", 1000));
    ASSERT_NE(job, nullptr);
    std::weak_ptr<AudioFile> watch = job;
    ASSERT_TRUE(waitFor({job}, [](const AudioFile& j) { return j.state == kStateAnalysing; }));
    job->state = kStateWaiting;  // as it is between the thread's start and its first step
    EXPECT_EQ(queue.remove([](size_t, const AudioFile&) { return true; }), 0u);
    EXPECT_TRUE(queue.empty());
    job.reset();
    EXPECT_FALSE(watch.expired()) << "the waiting pass keeps its record";
    lock.endTurn();
    queue.waitForPasses();
    EXPECT_TRUE(watch.expired());
}

TEST_F(QueueTest, CancelStopsAQueuedConversionWithoutWritingAnything) {
    Queue::Job job = queue.add(makeWav(dir, "song.wav", 1000));
    ASSERT_TRUE(waitFor({job}, [](const AudioFile& j) { return j.state == kStateAnalysed; }));
    PassLock& lock = queue.processAudioLock();
    const uint64_t turn = lock.take();
    lock.waitTurn(turn);
    ASSERT_EQ(queue.convert([](size_t, const AudioFile&) { return true; }), 1u);
    queue.cancel(job);
    lock.endTurn();
    ASSERT_TRUE(waitFor({job}, [](const AudioFile& j) { return j.state == kStateFailed; }));
    EXPECT_EQ(job->text(Column::state), "Cancelled. ");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/song-no.wav")));
}

}  // namespace
}  // namespace quiramo::test
