// SPDX-License-Identifier: MIT
#include "mdlMain.h"

#include <QCoreApplication>
#include <memory>

#include "frmMain.h"
#include "mdlModes.h"

namespace quorvel {
namespace {

std::unique_ptr<frmMain>& MainWindowSlot() {
    static std::unique_ptr<frmMain> window;
    return window;
}

}  // namespace

QString CommandLineText(const QStringList& arguments) {
    return arguments.mid(1).join(QLatin1Char(' '));
}

bool StartsMinimised(const QString& commandLine) {
    return commandLine == QLatin1String("-st");
}

frmMain& MainWindow() {
    std::unique_ptr<frmMain>& window = MainWindowSlot();
    if (!window) window = std::make_unique<frmMain>();
    return *window;
}

void UnloadMainWindow() {
    MainWindowSlot().reset();
}

void Main() {
    Main(CommandLineText(QCoreApplication::arguments()));
}

void Main(const QString& commandLine) {
    // The identity step must not stop start-up: the window shows without it.
    try {
        InitProductInfo();
    } catch (...) {
    }
    // Qt needs no control classes registered before the first window.

    frmMain& window = MainWindow();
    const bool minimised = StartsMinimised(commandLine);
    const auto minimise = [&window] {
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
    };
    // A read that hangs shows the window before its first scan has ended:
    // minimised from then, not again later (the user may have restored it).
    bool shownEarly = false;
    const QMetaObject::Connection early =
        QObject::connect(&window, &frmMain::ShownDuringLoad, &window, [&] {
            shownEarly = true;
            if (minimised) minimise();
        });
    // Showing loads the window first: its first scan runs before it appears.
    window.show();
    QObject::disconnect(early);
    if (minimised && !shownEarly) minimise();
}

}  // namespace quorvel
