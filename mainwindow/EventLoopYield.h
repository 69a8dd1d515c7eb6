// SPDX-License-Identifier: MIT
#pragma once
// The scanner's yield, bound to the Qt event loop and time-sliced.
//
// The walk yields after every entry. Running the event loop each time would
// cost far more than the walk itself (every yield repaints whatever changed),
// so only the first yield of a scan runs it unconditionally (the new folder
// path, the cleared panes and the enabled Abort button show at once); later
// yields run it only when about one frame has passed since it last ran. What
// the walk reports, and in which order, does not change; only how often the
// window gets to handle input and repaint.

#include <QtGlobal>

#include <functional>

namespace quorvel {

class EventLoopYield {
  public:
    static constexpr qint64 kSliceMs = 16;
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;

    // Use a fresh object for every scan: its first call always yields.
    // Timed by a monotonic clock of the system's.
    EventLoopYield();
    explicit EventLoopYield(Clock now);
    // `beforeRun` runs each time just before the event loop does (the
    // owner's catching up with the walk, say), no more often.
    EventLoopYield& BeforeRun(std::function<void()> beforeRun);
    void operator()();

  private:
    Clock now_;
    std::function<void()> beforeRun_;
    qint64 lastRunEnded_ = 0;
    bool ran_ = false;
};

}  // namespace quorvel
