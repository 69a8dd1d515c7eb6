#pragma once
// Tells a slow read of a folder that waited for its data (from a disk, or
// across the network: more threads than cores overlap such waits) from one
// that only lost its core to other programs (where one more thread would only
// take more of the cores), by the thread's voluntary context switches.
// Counting those costs a system call, more than a read from memory takes, so
// a probe counts only around the reads that follow a slow one: the first
// slow read of a run never counts as waiting. One probe per thread.

#include <chrono>
#include <cstdint>

namespace quorvel {

class ReadWaitProbe {
  public:
    // A read that takes longer was not served from memory.
    static constexpr std::chrono::microseconds kSlowRead{1000};

    // Before a read.
    void Start();
    // After it, `took` long: whether it was slow and waited. Where the system
    // does not count, every slow read that follows a slow one waited.
    bool SlowAndWaited(std::chrono::steady_clock::duration took);

  private:
    unsigned readsToCount_ = 0;
    bool counting_ = false;
    std::uint64_t waitsBefore_ = 0;
};

}  // namespace quorvel
