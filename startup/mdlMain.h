// SPDX-License-Identifier: MIT
#pragma once
// Start-up: fills the product identity, prepares the toolkit and shows the
// one main window, minimised when the command line asks for it. The process
// entry creates the QApplication first and runs its event loop after Main
// has returned.

#include <QString>
#include <QStringList>

namespace quorvel {

class frmMain;

// The arguments after the program's own name, joined by single blanks.
QString CommandLineText(const QStringList& arguments);

// Only the whole text "-st", case-sensitively, starts minimised.
bool StartsMinimised(const QString& commandLine);

// The one main window, created the first time it is needed.
frmMain& MainWindow();
// Destroys the main window; it is created anew when next needed. The process
// entry calls this before the QApplication goes.
void UnloadMainWindow();

// Reads the command line from the application object.
void Main();
// The same start-up steps for a given command-line text.
void Main(const QString& commandLine);

}  // namespace quorvel
