// SPDX-License-Identifier: MIT
#include "ReadTiming.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include "SpinningMutex.h"

namespace quorvel {
namespace {

// Reads a thread keeps its wait count for at most.
constexpr unsigned kReadsPerAsk = 64;

ThreadWaits AskThreadWaits() {
    ThreadWaits waits;
#if defined(__linux__)
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
        waits.switches = static_cast<std::uint64_t>(usage.ru_nvcsw);
        waits.blocksRead = static_cast<std::uint64_t>(usage.ru_inblock);
    }
#endif
    return waits;
}

#if defined(__linux__)
// Whether a read of `folder` that waited for storage shows in the blocks its
// thread has read: only where the system counts them (its I/O accounting,
// present where /proc/self/io is), and only for a file system on a block
// device. Network and FUSE file systems (and btrfs's subvolumes) have
// devices of major number 0, and their reads are made by other threads, or
// none.
bool StorageReadsShow(FolderListing& folder) {
    static const bool accounted = ::access("/proc/self/io", R_OK) == 0;
    return accounted && major(static_cast<dev_t>(folder.Identity().device)) != 0;
}
#endif

}  // namespace

ThreadWaits WaitCount::Before() {
    if (readsLeft_ == 0 || lockSleeps_ != SpinningMutex::SleepsOnThisThread()) {
        Asked(AskThreadWaits());
    }
    --readsLeft_;
    return waits_;
}

void WaitCount::Asked(ThreadWaits waits) {
    waits_ = waits;
    lockSleeps_ = SpinningMutex::SleepsOnThisThread();
    readsLeft_ = kReadsPerAsk;
}

ReadClock::ReadClock(WaitCount* count)
    : start_(std::chrono::steady_clock::now()),
      count_(count),
      before_(count ? count->Before() : AskThreadWaits()) {}

ReadResult ReadClock::End(FolderListing* folder) const {
    ReadResult result;
    result.slow = std::chrono::steady_clock::now() - start_ > kSlowRead;
    if (!result.slow) return result;
#if defined(__linux__)
    const ThreadWaits after = AskThreadWaits();
    if (count_) count_->Asked(after);
    result.waited = after.switches != before_.switches && (after.blocksRead != before_.blocksRead ||
                                                           !folder || !StorageReadsShow(*folder));
#else
    (void)folder;
    result.waited = true;
#endif
    return result;
}

}  // namespace quorvel
