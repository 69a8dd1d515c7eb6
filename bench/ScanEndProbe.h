// SPDX-License-Identifier: MIT
#pragma once
// Notes the moment a scan's walk has returned, as the window shows it: the
// first paint of the folder count label while no walk is running. The scan
// driver sets that label and repaints it at once, right after ScanFolder
// returns, so this is ScanFolder's return plus the label's own paint. Paints
// during the walk (the label is part of every full-window repaint) are not
// counted.

#include <QObject>
#include <optional>

#include "ThreadClock.h"

class QLabel;

namespace quorvel {
class frmMain;
}

namespace quorvel::bench {

class ScanEndProbe : public QObject {
    Q_OBJECT
  public:
    // Watches `folderCount` (a control of `window`) for as long as the probe
    // lives; the probe must go before the window (Qt drops the filter then).
    ScanEndProbe(const frmMain& window, QLabel& folderCount);
    ScanEndProbe(const ScanEndProbe&) = delete;
    ScanEndProbe& operator=(const ScanEndProbe&) = delete;

    // Forgets the last moment; the next paint after a walk is recorded.
    void Rearm() { seenAt_.reset(); }
    const std::optional<Moment>& SeenAt() const { return seenAt_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    const frmMain& window_;
    QLabel& folderCount_;
    ThreadClock clock_;  // the window thread's, which creates the probe
    std::optional<Moment> seenAt_;
};

}  // namespace quorvel::bench
