// SPDX-License-Identifier: MIT
#include "ThreadTally.h"

#include <cassert>

namespace quorvel {

void ThreadTally::Entry::Leave() {
    if (!tally_) return;
    const std::shared_ptr<ThreadTally> tally = std::move(tally_);
    const std::lock_guard lock(tally->mutex_);
    assert(tally->running_ > 0);
    if (--tally->running_ == 0) tally->none_.notify_all();
}

ThreadTally::Entry ThreadTally::Enter() {
    {
        const std::lock_guard lock(mutex_);
        ++running_;
    }
    return Entry(shared_from_this());
}

bool ThreadTally::WaitUntilNone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return none_.wait_for(lock, timeout, [this] { return running_ == 0; });
}

}  // namespace quorvel
