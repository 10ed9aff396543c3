#pragma once
// The queue of job records shared by the desktop window and the command line: queueing
// files, one analysis thread per new file, one processing thread per converted row, the two
// pass locks, and removing rows. All of its operations are called from one thread (the
// front end's main thread); the passes run on threads of their own and reach the front end
// only through platform::Host.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/PassLock.h"
#include "engine/record/Settings.h"

namespace quiramo {

class Queue {
public:
    using Job = std::shared_ptr<AudioFile>;
    // Builds the settings snapshot of a pass from the front end's current state, with the
    // given lock as entry 0.
    using SnapshotSource = std::function<settings::Snapshot(PassTurn lock)>;
    // Picks rows for convert and remove.
    using RowFilter = std::function<bool(size_t row, const AudioFile& job)>;

    explicit Queue(SnapshotSource snapshotSource);
    ~Queue();  // waits for every pass to end
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    // The name extensions a source may have ("AIF", "AIFF", "AIFC", "WAV", "FLAC", any case).
    static bool acceptsPath(const std::string& path);

    // How new rows show their source names.
    void setNameDisplay(bool showFileExt, bool showFullPath);

    // Queues one file and starts its analysis. A path with another extension logs
    // "<WARNING> Cannot add '%s' to the table view" and returns nullptr (the caller beeps).
    Job add(const std::string& path);

    // Starts the analysis of a record in state 2.
    void analyse(const Job& job);

    // Starts a conversion for every row the filter picks that is analysed (state 4) without
    // error, all with the same settings. Returns how many were started (none: beep).
    size_t convert(const RowFilter& pick);

    // Removes the rows the filter picks, except busy ones (states 3, 5, 7), which stay with
    // "<WARNING> Cannot remove row %lu". Returns how many stayed (some: beep).
    size_t remove(const RowFilter& pick);

    // Asks the running or waiting pass of a row to stop; it ends "Cancelled. ".
    void cancel(const Job& job);

    // The rows, in order.
    std::vector<Job> jobs() const { return queue_; }
    size_t size() const { return queue_.size(); }
    bool empty() const { return queue_.empty(); }

    // Blocks until every pass started so far has ended.
    void waitForPasses();

    PassLock& analyseAudioLock() { return analyseAudioLock_; }
    PassLock& processAudioLock() { return processAudioLock_; }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void start(const Job& job, PassLock& lock, bool processing);
    void reapFinished();

    SnapshotSource snapshotSource_;
    std::vector<Job> queue_;
    PassLock analyseAudioLock_;
    PassLock processAudioLock_;
    std::vector<Worker> workers_;
    bool showFileExt_ = false;
    bool showFullPath_ = false;
};

}  // namespace quiramo
