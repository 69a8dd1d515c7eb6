// SPDX-License-Identifier: MIT
#pragma once
// How the walk waits for a read that another thread makes for it, when the
// walk's thread must not block (clsDirwalk's ReadWaits other than kBlock):
// in short slices, its owner's yield hook running between them, until the
// answer comes or the walk gives the read up.
//
// The reading layers bring the sleeping (a wait for their own answer, at
// most one slice long); the walk's side decides what runs between slices and
// when to give up (an Abort). A read given up stays with the thread making
// it, and the layer that asked for it keeps it from reaching the walk: once
// the walk has given up one read, it asks for no other, and every layer
// answers at once with ECANCELED.

#include <chrono>

namespace quorvel {

class ReadWaiter {
  public:
    using Clock = std::chrono::steady_clock;
    // Sleeps this long before the owner first gets the thread, and between
    // its turns: an answer from memory comes well within it, while a user's
    // click waits for at most that beyond the owner's own time slice.
    static constexpr std::chrono::milliseconds kSlice{4};

    virtual ~ReadWaiter() = default;

    // The walk has waited since `since` and has not been answered: runs the
    // owner's turn. False when the walk gives the read up.
    virtual bool StillWaiting(Clock::time_point since) = 0;
    // The wait for which StillWaiting was called has ended.
    virtual void WaitEnded() = 0;
    // Whether this scan has given up a read: from then on nothing is read.
    virtual bool GaveUp() const = 0;

    // Waits with `sleep(kSlice)`, which returns true once answered; true
    // when answered, false when given up.
    template <class Sleep>
    bool Wait(Sleep&& sleep) {
        if (sleep(kSlice)) return true;
        const Clock::time_point since = Clock::now() - kSlice;
        struct Ended {
            ReadWaiter& waiter;
            ~Ended() { waiter.WaitEnded(); }
        } ended{*this};
        while (StillWaiting(since)) {
            if (sleep(kSlice)) return true;
        }
        return false;
    }
};

}  // namespace quorvel
