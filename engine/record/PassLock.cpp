#include "engine/record/PassLock.h"

namespace quiramo {

uint64_t PassLock::take() {
    std::lock_guard lock(mutex_);
    return next_++;
}

void PassLock::waitTurn(uint64_t t) {
    std::unique_lock lock(mutex_);
    served_.wait(lock, [&] { return serving_ == t; });
}

void PassLock::endTurn() {
    {
        std::lock_guard lock(mutex_);
        ++serving_;
        skipAbandoned();
    }
    served_.notify_all();
}

void PassLock::abandon(uint64_t t) {
    {
        std::lock_guard lock(mutex_);
        abandoned_.insert(t);
        skipAbandoned();
    }
    served_.notify_all();
}

void PassLock::skipAbandoned() {
    for (auto it = abandoned_.find(serving_); it != abandoned_.end(); it = abandoned_.find(serving_)) {
        abandoned_.erase(it);
        ++serving_;
    }
}

}  // namespace quiramo
