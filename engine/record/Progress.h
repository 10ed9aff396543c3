#pragma once
// The progress countdown every long loop uses. A countdown set to the interval N is
// decremented once per step; when it reaches zero the running percentage P goes up by one
// and is reported, and the countdown starts again. An interval of 0 never reports.
// The report answers whether to go on: a job asked to stop answers false, and the loop
// returns at once, so cancellation needs no check of its own anywhere.
//
// Pure kernels take a Progress by reference and know nothing of the job record;
// jobProgress() binds one to a job's throttled progress text.

#include <cstdint>

namespace quiramo {

class AudioFile;

struct Progress {
    using Report = bool (*)(void* context, unsigned percent);

    Progress() = default;
    Progress(Report r, void* c, uint64_t interval, unsigned start)
        : report(r), context(c), interval(interval), percent(start), countdown(interval) {}

    // One step of work. False when the work is to stop now.
    bool step() {
        if (--countdown != 0) return true;  // interval 0 wraps far beyond any loop length
        countdown = interval;
        ++percent;
        return report ? report(context, percent) : true;
    }

    // Several steps at once (a whole frame of a loop counted per sample, for example).
    bool steps(uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) {
            if (!step()) return false;
        }
        return true;
    }

    // Reports an explicit percentage (0 at the start of a stage, 50 half way, ...).
    bool set(unsigned p) {
        percent = p;
        return report ? report(context, p) : true;
    }

    Report report = nullptr;
    void* context = nullptr;
    uint64_t interval = 0;
    unsigned percent = 0;
    uint64_t countdown = 0;
};

// A Progress reporting through job.updateProgressTableText().
Progress jobProgress(AudioFile& job, uint64_t interval, unsigned start);

// Progress that never reports, for callers without a job.
inline Progress noProgress() { return Progress(); }

// The interval of a single pass over `steps` steps: steps / 100, at least 1.
inline uint64_t progressInterval(uint64_t steps, uint64_t passes = 1) {
    const uint64_t n = passes * steps / 100;
    return n == 0 ? 1 : n;
}

}  // namespace quiramo
