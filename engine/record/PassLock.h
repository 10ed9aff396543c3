#pragma once
// The lock that serialises the passes of one kind (all analyses, or all conversions).
// It is fair and its turns can be reserved: the queue takes a turn for each pass at the
// moment it starts the pass, so passes run in the order they were started, not in the
// order their threads happen to reach the lock.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

namespace quiramo {

class PassLock {
public:
    // Reserves the next turn.
    uint64_t take();
    // Blocks until turn t is served.
    void waitTurn(uint64_t t);
    // Ends the turn being served.
    void endTurn();
    // Gives up a reserved turn that will never be waited for.
    void abandon(uint64_t t);

private:
    void skipAbandoned();  // with mutex_ held
    std::mutex mutex_;
    std::condition_variable served_;
    uint64_t next_ = 0;
    uint64_t serving_ = 0;
    std::set<uint64_t> abandoned_;
};

// Entry 0 of a settings snapshot: the pass's lock. Either a reserved turn of a PassLock or
// a plain mutex; usable with std::lock_guard.
class PassTurn {
public:
    PassTurn() = default;
    explicit PassTurn(std::mutex& mutex) : mutex_(&mutex) {}
    PassTurn(PassLock& lock, uint64_t ticket) : passLock_(&lock), ticket_(ticket) {}

    void lock() const {
        if (mutex_) {
            mutex_->lock();
        } else if (passLock_) {
            passLock_->waitTurn(ticket_);
        }
    }
    void unlock() const {
        if (mutex_) {
            mutex_->unlock();
        } else if (passLock_) {
            passLock_->endTurn();
        }
    }

private:
    std::mutex* mutex_ = nullptr;
    PassLock* passLock_ = nullptr;
    uint64_t ticket_ = 0;
};

}  // namespace quiramo
