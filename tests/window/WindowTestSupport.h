#pragma once
// Shared by the window tests: trees built in a temporary folder, access to
// frmMain's controls by name, and the file system's own listing order (the
// walk follows it, so expected texts are assembled in that order).

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DirectoryReader.h"
#include "FolderList.h"
#include "TextPane.h"
#include "frmMain.h"

namespace quorvel::testing {

// A temporary folder; paths are absolute, with '/' between parts. Removed
// with everything in it, names that are not UTF-8 included (QTemporaryDir
// cannot remove those).
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Root() const { return root_; }
    std::string Path(std::string_view rel) const;
    void Folder(std::string_view rel) const;  // with missing parents
    void File(std::string_view rel) const;    // empty file; parents created
  private:
    std::string root_;
};

// The worked example: a.txt, sub/b.txt and the empty folder sub/deep.
void BuildWorkedExample(const TempFolder& tree);
// `folders` folders f00.., each holding `filesEach` files.
void BuildWideTree(const TempFolder& tree, int folders, int filesEach);

// Entry names of one folder in the order the file system lists them.
std::vector<std::string> ListingOrder(const std::string& folder);
bool ListsBefore(const std::string& folder, std::string_view first, std::string_view second);

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

// A reader over the real file system, except that a scan of the folder
// `poison` calls `thrower` at its first entry. Dir1 still lists that folder:
// the scanner asks for its root with a trailing '/', the folder list without.
std::shared_ptr<DirectoryReader> ThrowingReaderOf(std::string poison,
                                                  std::function<void()> thrower);

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
