// What an archiving tool must never do, checked through the real passes: change a source
// file, replace an existing file (even one that appears while the conversion runs), leave
// a partial or temporary file behind after a failed write, or touch a record the queue
// has let go of while its pass is still running.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ProcessingDriver.h"
#include "engine/Queue.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Settings.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/engine/FileFixtures.h"
#include "tests/support/AiffBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo::test {
namespace {

constexpr uint32_t kFrames = 1000;

struct Source {
    const char* name;
    Bytes bytes;
};

std::vector<Source> sources(const TempDir& scratch) {
    const auto rate = AiffBuilder::rate44100();
    return {
        {"song.wav",
         WavBuilder().pcm(2, 44100, 16).data(pcm(kFrames, 2, 2)).chunk("bext", Bytes(602, 0)).bytes()},
        {"song.aif", AiffBuilder("AIFF")
                         .comm(AiffBuilder::commBody(2, kFrames, 16, rate))
                         .ssnd(pcm(kFrames, 2, 2, true))
                         .bytes()},
        {"song.aiff", AiffBuilder("AIFC")
                          .fver()
                          .comm(AiffBuilder::commBodyC(2, kFrames, 24, rate, "sowt"))
                          .ssnd(pcm(kFrames, 2, 3))
                          .bytes()},
        {"song.flac", flacFile(scratch, 2, 16, kFrames)},
    };
}

constexpr int kOutputFormats[] = {1, catalogue::kFileWAV, catalogue::kFileAIFF, catalogue::kFileAIFC,
                                  catalogue::kFileFLAC};

struct FileIdentity {
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
};

FileIdentity identity(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, st.st_size, st.st_mtim};
}

bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.inode == b.inode && a.size == b.size && a.modified.tv_sec == b.modified.tv_sec &&
           a.modified.tv_nsec == b.modified.tv_nsec;
}

struct Result {
    int state = 0;
    std::string stateText;
    std::string destination;
};

// One processing pass with the default settings (hi-res output on), as the queue runs it
// after a clean analysis.
Result convert(const std::string& source, int outputFormat, int destinationOption, const std::string& folder,
               const std::string& suffix) {
    AudioFile job(source, false, false);
    std::mutex lock;
    settings::SettingsMirror mirror;
    settings::Selection selection;
    selection.outputFormatType = outputFormat;
    selection.destinationOption = destinationOption;
    selection.destinationText = folder;
    selection.suffix_1 = suffix;
    ProcessFileThread(job, settings::makeSnapshot(lock, mirror, selection));
    return {job.state, job.text(Column::state), job.text(Column::destinationName)};
}

class NothingLost : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }

    TempDir dir_;
    platform::HeadlessHost host_;
};

TEST_F(NothingLost, SourceIsByteIdenticalAfterEveryConversion) {
    for (const Source& s : sources(dir_)) {
        ASSERT_FALSE(s.bytes.empty()) << s.name;
        const std::string path = writeFile(dir_, s.name, s.bytes);
        for (int format : kOutputFormats) {
            SCOPED_TRACE(std::string(s.name) + " to output format " + std::to_string(format));
            const FileIdentity before = identity(path);
            // Beside the source, and once with no suffix at all: the output's first
            // candidate name is then the source's own.
            for (const char* suffix : {"-conv", ""}) {
                const Result r = convert(path, format, 1, "", suffix);
                EXPECT_EQ(r.state, kStateConverted) << r.stateText;
                EXPECT_NE(r.destination, path);
                EXPECT_EQ(readFile(path), s.bytes);
                EXPECT_TRUE(identity(path) == before) << "the source was rewritten";
            }
        }
    }
}

TEST_F(NothingLost, AnExistingFileGetsANumberedNameAndStaysAsItWas) {
    const std::string source =
        WavBuilder().pcm(2, 44100, 16).data(pcm(kFrames, 2, 2)).writeTo(dir_, "take.wav");
    const Bytes keep = {'k', 'e', 'e', 'p'};
    writeFile(dir_, "take-out.wav", keep);
    writeFile(dir_, "take-out-1.wav", keep);
    platform::ScopedMemoryLog log;

    const Result r = convert(source, 1, 1, "", "-out");
    EXPECT_EQ(r.state, kStateConverted) << r.stateText;
    EXPECT_EQ(r.destination, dir_.file("take-out-2.wav"));
    EXPECT_EQ(readFile(dir_.file("take-out.wav")), keep);
    EXPECT_EQ(readFile(dir_.file("take-out-1.wav")), keep);
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "<Info> Writing destination buffer as audio file: " + r.destination + " (renamed)"),
              lines.end());
}

// Puts a file of its own at the destination name the moment the pass has chosen it, as
// another program (or a second copy of this one) could.
class SquattingHost : public platform::HeadlessHost {
  public:
    explicit SquattingHost(Bytes content) : content_(std::move(content)) {}
    void postRefresh(const AudioFile* job) override {
        HeadlessHost::postRefresh(job);
        const std::string name = job->text(Column::destinationName);
        std::lock_guard lock(mutex_);
        if (!squatted_.empty() || name == "--" || name.empty()) return;
        squatted_ = name;
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(content_.data()),
                   static_cast<std::streamsize>(content_.size()));
    }
    std::string squatted() const {
        std::lock_guard lock(mutex_);
        return squatted_;
    }

  private:
    const Bytes content_;
    mutable std::mutex mutex_;
    std::string squatted_;
};

TEST_F(NothingLost, AFileThatAppearsDuringTheConversionIsNotReplaced) {
    const std::string source =
        WavBuilder().pcm(2, 44100, 16).data(pcm(kFrames, 2, 2)).writeTo(dir_, "take.wav");
    const Bytes theirs = {'t', 'h', 'e', 'i', 'r', 's'};
    for (int format : {catalogue::kFileWAV, catalogue::kFileAIFF, catalogue::kFileFLAC}) {
        SCOPED_TRACE("output format " + std::to_string(format));
        const std::string out = dir_.file("out" + std::to_string(format));
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        SquattingHost squatter(theirs);
        platform::setHost(&squatter);

        const Result r = convert(source, format, 2, out, "-out");
        platform::setHost(&host_);
        ASSERT_FALSE(squatter.squatted().empty());
        EXPECT_EQ(r.state, kStateFailed);
        EXPECT_EQ(r.stateText, "Cannot save file. ");
        EXPECT_EQ(readFile(squatter.squatted()), theirs);
        // Nothing of ours is left: no second name, no temporary file.
        EXPECT_EQ(folderEntries(out).size(), 1u);
    }
}

// Runs `work` in a child process that may not write files larger than `limit` bytes (the
// tests run as root, for whom permission bits stop nothing) and returns what it returned.
std::string withFileSizeLimit(rlim_t limit, const std::function<std::string()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(fds[0]);
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit r{limit, limit};
        std::string answer;
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0) {
            answer = "setrlimit failed";
        } else {
            try {
                answer = work();
            } catch (const std::exception& e) {
                answer = std::string("exception: ") + e.what();
            }
        }
        const ssize_t n = ::write(fds[1], answer.data(), answer.size());
        ::_exit(n == static_cast<ssize_t>(answer.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string answer;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) answer += " (child failed)";
    return answer;
}

TEST_F(NothingLost, AFailedWriteLeavesNoFileBehind) {
    const std::string source =
        WavBuilder().pcm(2, 44100, 16).data(pcm(kFrames, 2, 2)).writeTo(dir_, "take.wav");
    const std::string notAFolder = writeFile(dir_, "not-a-folder", {'x'});
    for (int format :
         {catalogue::kFileWAV, catalogue::kFileAIFF, catalogue::kFileAIFC, catalogue::kFileFLAC}) {
        SCOPED_TRACE("output format " + std::to_string(format));

        // The disk fills up (a file-size limit) part of the way through the file.
        const std::string out = dir_.file("full" + std::to_string(format));
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        const std::string answer = withFileSizeLimit(512, [&] {
            const Result r = convert(source, format, 2, out, "-out");
            return std::to_string(r.state) + " " + r.stateText + "|" + r.destination;
        });
        EXPECT_EQ(answer, std::to_string(kStateFailed) + " Cannot save file. |--");
        EXPECT_EQ(folderEntries(out), std::vector<std::string>{}) << "a partial or temporary file was left";

        // The destination folder is a file.
        const Result r = convert(source, format, 2, notAFolder, "-out");
        EXPECT_EQ(r.state, kStateFailed);
        EXPECT_EQ(r.stateText, "Cannot save file. ");
        EXPECT_EQ(readFile(notAFolder), Bytes{'x'});
    }
    EXPECT_EQ(folderEntries(dir_.path()).size(), 2u + 4u);  // source, not-a-folder, the four folders
}

// Stops a pass at its last refresh, the moment its row shows the final state, until the
// test has removed the row and let go of the record: the pass then ends on a record only
// it still holds.
class HoldingHost : public platform::HeadlessHost {
  public:
    explicit HoldingHost(int finalState) : finalState_(finalState) {}
    void postRefresh(const AudioFile* job) override {
        HeadlessHost::postRefresh(job);
        if (job->state != finalState_) return;
        std::unique_lock lock(mutex_);
        if (held_) return;
        held_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(60), [this] { return released_; });
    }
    bool waitUntilHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60), [this] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    const int finalState_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
};

TEST_F(NothingLost, ARemovedRowsPassFinishesOnItsOwnRecord) {
    const std::string source =
        WavBuilder().pcm(2, 44100, 16).data(pcm(kFrames, 2, 2)).writeTo(dir_, "take.wav");
    for (const bool conversion : {false, true}) {
        SCOPED_TRACE(conversion ? "conversion" : "analysis");
        const std::string out = dir_.file(conversion ? "converted" : "analysed");
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        HoldingHost holder(conversion ? kStateConverted : kStateAnalysed);
        platform::HeadlessHost quiet;
        platform::setHost(conversion ? &quiet : &holder);
        Queue queue([&](PassTurn turn) {
            settings::Selection selection;
            selection.destinationOption = 2;
            selection.destinationText = out;
            selection.suffix_1 = "-out";
            return settings::makeSnapshot(turn, settings::SettingsMirror(), selection);
        });
        Queue::Job job = queue.add(source);
        ASSERT_NE(job, nullptr);
        if (conversion) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (job->state != kStateAnalysed && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ASSERT_EQ(job->state, kStateAnalysed);
            platform::setHost(&holder);
            ASSERT_EQ(queue.convert([](size_t, const AudioFile&) { return true; }), 1u);
        }
        ASSERT_TRUE(holder.waitUntilHeld());

        std::weak_ptr<AudioFile> watch = job;
        EXPECT_EQ(queue.remove([](size_t, const AudioFile&) { return true; }), 0u)
            << "a finished row is removable";
        EXPECT_TRUE(queue.empty());
        job.reset();
        EXPECT_FALSE(watch.expired()) << "the pass must keep its record";
        holder.release();
        queue.waitForPasses();
        EXPECT_TRUE(watch.expired());
        if (conversion) {
            EXPECT_EQ(folderEntries(out), std::vector<std::string>{"take-out.wav"});
            EXPECT_GT(readFile(out + "/take-out.wav").size(),
                      2 * kFrames * 6);  // hi-res: twice the frames, 24 bits
        }
        platform::setHost(&host_);
    }
}

}  // namespace
}  // namespace quiramo::test
