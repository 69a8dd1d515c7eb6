// SPDX-License-Identifier: MIT
#include "EventLoopYield.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <utility>

namespace quorvel {

EventLoopYield::EventLoopYield()
    : EventLoopYield([timer = [] {
          QElapsedTimer started;
          started.start();
          return started;
      }()] { return timer.elapsed(); }) {}

EventLoopYield::EventLoopYield(Clock now) : now_(std::move(now)) {}

EventLoopYield& EventLoopYield::BeforeRun(std::function<void()> beforeRun) {
    beforeRun_ = std::move(beforeRun);
    return *this;
}

void EventLoopYield::operator()() {
    if (ran_ && now_() - lastRunEnded_ < kSliceMs) return;
    if (beforeRun_) beforeRun_();
    QCoreApplication::processEvents();
    // Measured from the end of the run: time spent in handlers (a nested
    // repaint, a slow slot) must not make the next yield come sooner.
    lastRunEnded_ = now_();
    ran_ = true;
}

}  // namespace quorvel
