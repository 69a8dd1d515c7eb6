// SPDX-License-Identifier: MIT
#include "AbortClicker.h"

#include <QAbstractButton>
#include <QMetaObject>

namespace quorvel::bench {

AbortClicker::AbortClicker(QAbstractButton& button, const ThreadClock& windowClock,
                           std::chrono::milliseconds delay)
    : button_(&button),
      windowClock_(windowClock),
      thread_([this, delay](std::stop_token stop) { Run(std::move(stop), delay); }) {}

AbortClicker::~AbortClicker() {
    thread_.request_stop();
    thread_.join();
}

std::optional<Moment> AbortClicker::PostedAt() {
    const std::lock_guard lock(mutex_);
    return postedAt_;
}

void AbortClicker::Run(std::stop_token stop, std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    // Nothing but a stop request ends the wait early.
    wake_.wait_for(lock, stop, delay, [] { return false; });
    if (stop.stop_requested()) return;
    // The moment is taken before posting: the window thread may handle the
    // click before invokeMethod returns here.
    postedAt_ = windowClock_.Now();
    // Queued: the click itself runs on the button's thread.
    QMetaObject::invokeMethod(button_, &QAbstractButton::click, Qt::QueuedConnection);
}

}  // namespace quorvel::bench
