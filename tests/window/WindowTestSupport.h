// SPDX-License-Identifier: MIT
#pragma once
// Shared by the window tests: the trees they scan, access to frmMain's
// controls by name, and the window's text of a path.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

#include "FolderList.h"
#include "ListedOrder.h"
#include "TempTree.h"
#include "TextPane.h"
#include "frmMain.h"

namespace quorvel::testing {

// The worked example: a.txt, sub/b.txt and the empty folder sub/deep.
void BuildWorkedExample(const TempTree& tree);
// `folders` folders f00.., each holding `filesEach` files.
void BuildWideTree(const TempTree& tree, int folders, int filesEach);

// The trees the tests build have UTF-8 names only, so a path's text is its
// plain decoding.
inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

template <class T>
T& Control(const frmMain& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (!control) throw std::runtime_error(std::string("no control ") + name);
    return *control;
}
inline TextPane& Pane(const frmMain& window, const char* name) {
    return Control<TextPane>(window, name);
}
inline QString LabelText(const frmMain& window, const char* name) {
    return Control<QLabel>(window, name).text();
}

// Runs `action` at the next event loop run: for a scan started now, that is
// the walk's first yield.
void AtNextYield(std::function<void()> action);

// Runs the event loop until `list` shows its folder's subfolders (it reads
// them on a thread of its own); false when that takes over 5 s.
bool WaitForListing(const FolderList& list);

// Runs the application's event loop as main does and returns its status, or
// 99 when nothing ended it within 20 s: a hang fails instead of blocking.
int ExecWithFailsafe();

// Collects what is written to stderr (file descriptor 2) while it lives.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string Text() const;

  private:
    int savedFd_ = -1;
    std::string path_;
};

}  // namespace quorvel::testing
