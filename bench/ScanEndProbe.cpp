// SPDX-License-Identifier: MIT
#include "ScanEndProbe.h"

#include <QEvent>
#include <QLabel>

#include "frmMain.h"

namespace quorvel::bench {

ScanEndProbe::ScanEndProbe(const frmMain& window, QLabel& folderCount)
    : window_(window), folderCount_(folderCount) {
    folderCount_.installEventFilter(this);
}

bool ScanEndProbe::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &folderCount_ && event->type() == QEvent::Paint && !seenAt_) {
        const auto& scanner = window_.Scanner();
        if (scanner && !scanner->IsScanning()) seenAt_ = clock_.Now();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quorvel::bench
