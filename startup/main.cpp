// SPDX-License-Identifier: MIT
// The process entry: the application object, then Main, then the event loop
// for as long as the window lives.

#include <QApplication>

#include <quorvel/OpenFileLimit.h>

#include "mdlMain.h"

int main(int argc, char* argv[]) {
    // Before Qt starts any thread: a deep walk holds one descriptor per level.
    quorvel::RaiseOpenFileLimit();
    QApplication application(argc, argv);
    quorvel::Main();
    const int status = QApplication::exec();
    // The window goes before the application object it needs.
    quorvel::UnloadMainWindow();
    return status;
}
