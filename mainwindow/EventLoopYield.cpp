// SPDX-License-Identifier: MIT
#include "EventLoopYield.h"

#include <QCoreApplication>

namespace quorvel {

void EventLoopYield::operator()() {
    if (sinceLastRun_.isValid() && sinceLastRun_.elapsed() < kSliceMs) return;
    QCoreApplication::processEvents();
    // Measured from the end of the run: time spent in handlers (a nested
    // repaint, a slow slot) must not make the next yield come sooner.
    sinceLastRun_.start();
}

}  // namespace quorvel
