#include "ReadWaitProbe.h"

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace quorvel {
namespace {

// Reads counted after a slow one: a run of reads from a disk keeps them all
// counted, a read from memory that was slow by chance costs only these.
constexpr unsigned kCountedReads = 16;

// How often the calling thread has given up its core to wait; 0 where the
// system does not tell.
std::uint64_t ThreadWaits() {
#if defined(__linux__)
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) return static_cast<std::uint64_t>(usage.ru_nvcsw);
#endif
    return 0;
}

}  // namespace

void ReadWaitProbe::Start() {
    counting_ = readsToCount_ > 0;
    if (!counting_) return;
    --readsToCount_;
    waitsBefore_ = ThreadWaits();
}

bool ReadWaitProbe::SlowAndWaited(std::chrono::steady_clock::duration took) {
    if (took <= kSlowRead) return false;
    readsToCount_ = kCountedReads;
#if defined(__linux__)
    return counting_ && ThreadWaits() != waitsBefore_;
#else
    return counting_;
#endif
}

}  // namespace quorvel
