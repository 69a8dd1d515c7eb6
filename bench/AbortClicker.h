// SPDX-License-Identifier: MIT
#pragma once
// Clicks a button from another thread after a delay, the way a user's click
// arrives: at a moment of its own, queued for the window's thread, which
// handles it the next time its event loop runs (during a walk, at one of the
// walk's time-sliced yields). The moment of posting is kept, on the wall clock
// and on the window thread's CPU clock.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "ThreadClock.h"

class QAbstractButton;

namespace quorvel::bench {

class AbortClicker {
  public:
    // `windowClock` must be the clock of the thread that owns `button`.
    AbortClicker(QAbstractButton& button, const ThreadClock& windowClock,
                 std::chrono::milliseconds delay);
    // Cancels a click not yet posted and waits for the thread.
    ~AbortClicker();
    AbortClicker(const AbortClicker&) = delete;
    AbortClicker& operator=(const AbortClicker&) = delete;

    // When the click was posted; empty if it was not (yet).
    std::optional<Moment> PostedAt();

  private:
    void Run(std::stop_token stop, std::chrono::milliseconds delay);

    QAbstractButton* button_;  // outlives this object: the destructor joins
    ThreadClock windowClock_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::optional<Moment> postedAt_;
    std::jthread thread_;  // last: it starts once everything above is ready
};

}  // namespace quorvel::bench
