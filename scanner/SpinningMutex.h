// SPDX-License-Identifier: MIT
#pragma once
// The read-ahead queue's lock, and the spinning that goes with it.
//
// The queue's lock is held for a few microseconds at a time, by the walk and
// by each worker once a folder: a thread that finds it taken spins a moment
// before it sleeps, since putting a thread to sleep and waking it costs
// several times that on a virtual machine (bench/README.md, "spinning").
// A build with QUORVEL_PLAIN_SPIN defined neither spins here nor in
// SpinUntil: the simpler form the bench measures this against.

#include <atomic>
#include <cstdint>
#include <mutex>

namespace quorvel {

// A moment's pause in a spin loop, letting the other hyperthread run.
inline void CpuPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Spins until `done()` or `spins` pauses have passed; returns done().
template <class Done>
bool SpinUntil(Done done, int spins) {
#if defined(QUORVEL_PLAIN_SPIN)
    spins = 0;
#endif
    for (int spin = 0; spin < spins; ++spin) {
        if (done()) return true;
        CpuPause();
    }
    return done();
}

class SpinningMutex {
  public:
    void lock();
    void unlock() {
        held_.store(false, std::memory_order_relaxed);
        mutex_.unlock();
    }
    bool try_lock() {
        if (!mutex_.try_lock()) return false;
        held_.store(true, std::memory_order_relaxed);
        return true;
    }

    // How often the calling thread has slept on any SpinningMutex: a thread
    // that did slept for something other than a folder's read.
    static std::uint64_t SleepsOnThisThread();

  private:
    std::mutex mutex_;
    // A hint for spinners, who read it instead of trying the mutex: a
    // failed try takes the mutex's cache line from the holder's core.
    std::atomic<bool> held_ = false;
};

}  // namespace quorvel
