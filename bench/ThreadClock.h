// SPDX-License-Identifier: MIT
#pragma once
// A moment as two clocks: the steady (wall) clock, and the CPU time one
// thread has used. The abort latency is read on both; the CPU reading leaves
// out the time the thread waited for a core, which on a shared machine can
// exceed the latency itself.

#include <pthread.h>
#include <time.h>

#include <chrono>

namespace quorvel::bench {

struct Moment {
    std::chrono::steady_clock::time_point wall{};
    std::chrono::nanoseconds cpu{0};
};

inline double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                                  std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline double MillisecondsBetween(std::chrono::nanoseconds from, std::chrono::nanoseconds to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The CPU clock of one thread, readable from any thread of the process.
class ThreadClock {
  public:
    // The calling thread's clock.
    ThreadClock() { ::pthread_getcpuclockid(::pthread_self(), &clock_); }

    Moment Now() const {
        Moment m;
        m.wall = std::chrono::steady_clock::now();
        timespec ts{};
        ::clock_gettime(clock_, &ts);
        m.cpu = std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
        return m;
    }

  private:
    clockid_t clock_{};
};

}  // namespace quorvel::bench
