// SPDX-License-Identifier: MIT
#include "SpinningMutex.h"

namespace quorvel {
namespace {

// About as long as the walk or a worker holds the lock when it queues a
// folder's subfolders (a pause takes 10 to 40 ns, by processor).
constexpr int kLockSpins = 1000;

thread_local std::uint64_t tLockSleeps = 0;

}  // namespace

void SpinningMutex::lock() {
    if (SpinUntil([this] { return !held_.load(std::memory_order_relaxed) && try_lock(); },
                  kLockSpins)) {
        return;
    }
    ++tLockSleeps;
    mutex_.lock();
    held_.store(true, std::memory_order_relaxed);
}

std::uint64_t SpinningMutex::SleepsOnThisThread() {
    return tLockSleeps;
}

}  // namespace quorvel
