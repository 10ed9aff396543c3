#include "engine/Queue.h"

#include <strings.h>

#include "engine/AnalysisDriver.h"
#include "engine/ProcessingDriver.h"
#include "platform/Log.h"

namespace quiramo {

Queue::Queue(SnapshotSource snapshotSource) : snapshotSource_(std::move(snapshotSource)) {}

Queue::~Queue() { waitForPasses(); }

bool Queue::acceptsPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string ext = path.substr(dot + 1);
    for (const char* accepted : {"AIF", "AIFF", "AIFC", "WAV", "FLAC"}) {
        if (strcasecmp(ext.c_str(), accepted) == 0) return true;
    }
    return false;
}

void Queue::setNameDisplay(bool showFileExt, bool showFullPath) {
    showFileExt_ = showFileExt;
    showFullPath_ = showFullPath;
}

Queue::Job Queue::add(const std::string& path) {
    if (!acceptsPath(path)) {
        platform::log("<WARNING> Cannot add '%s' to the table view", path.c_str());
        return nullptr;
    }
    auto job = std::make_shared<AudioFile>(path, showFileExt_, showFullPath_);
    queue_.push_back(job);
    analyse(job);
    return job;
}

void Queue::analyse(const Job& job) {
    if (job->state != kStateWaiting) return;
    start(job, analyseAudioLock_, false);
}

size_t Queue::convert(const RowFilter& pick) {
    size_t started = 0;
    for (size_t row = 0; row < queue_.size(); ++row) {
        const Job& job = queue_[row];
        if (!pick(row, *job) || job->state != kStateAnalysed || job->error != 0) continue;
        // Marked at once, so a second convert command finds the row busy.
        job->state = kStateQueued;
        start(job, processAudioLock_, true);
        ++started;
    }
    return started;
}

size_t Queue::remove(const RowFilter& pick) {
    size_t stayed = 0;
    for (size_t row = queue_.size(); row-- > 0;) {
        if (!pick(row, *queue_[row])) continue;
        const int state = queue_[row]->state;
        if (state == kStateAnalysing || state == kStateQueued || state == kStateConverting) {
            platform::log("<WARNING> Cannot remove row %lu", static_cast<unsigned long>(row));
            ++stayed;
            continue;
        }
        // A pass still waiting for its lock keeps its own reference and ends unseen.
        queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(row));
    }
    return stayed;
}

void Queue::cancel(const Job& job) { job->requestCancel(); }

void Queue::start(const Job& job, PassLock& lock, bool processing) {
    reapFinished();
    const uint64_t ticket = lock.take();
    settings::Snapshot snapshot = snapshotSource_(PassTurn(lock, ticket));
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread thread([job, snapshot = std::move(snapshot), processing, done]() {
            if (processing) {
                ProcessFileThread(*job, snapshot);
            } else {
                AnalyseFileThread(*job, snapshot);
            }
            done->store(true, std::memory_order_release);
        });
        workers_.push_back({std::move(thread), done});
    } catch (const std::system_error& e) {
        // No thread: give the turn back so later passes are not blocked, and fail the row.
        lock.abandon(ticket);
        platform::log("<ERROR> %s", e.what());
        job->error |= kErrorUnknown;
        job->showErrorTexts();
        job->state = processing ? kStateFailed : kStateAnalysed;
        job->postRefresh();
    }
}

void Queue::reapFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load(std::memory_order_acquire)) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void Queue::waitForPasses() {
    for (auto& w : workers_) {
        if (w.thread.joinable()) w.thread.join();
    }
    workers_.clear();
}

}  // namespace quiramo
