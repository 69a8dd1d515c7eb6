// SPDX-License-Identifier: MIT
#pragma once
// frmMain: the program's only window. It scans the folder chosen in Dir1
// with a new clsDirwalk, shows every entry as it is found (when chkEvents is
// set), and, when the walk has ended, both counts and the collected folder
// and file lists. Abort stops a running walk.
//
// The panes show the scanner's lists themselves, not copies (ScanPanes): the
// found panes a line per event, computed from the lists, and the list panes
// the lists once the walk has ended.
//
// Showing the window the first time loads it: Form_Load (and with it the
// first scan) runs to its end before the window becomes visible; except
// that once a single read of that scan has not answered for 3 s (a dead
// mount below the start folder), the window shows with the scan still
// running, so that the user can abort it or pick another folder.
//
// The window's thread never waits in the file system: each scan makes its
// reads on threads of its own and yields while it waits for one, and Dir1
// lists its folder on a thread of its own. Abort, a folder change and
// closing give up a read that does not return; its thread is left to end on
// its own, and the folder is marked as not answered on the folder count.
//
// Re-entry: the walk yields to the event loop, so any handler may run while
// a scan is on the stack. A folder change then aborts the running walk; that
// pass drops its end steps and the new folder is scanned as soon as the walk
// has unwound, so the panes show the newest folder's results exactly once and
// scans never nest. Closing the window during a scan aborts it as well and
// closes once the walk has unwound.
//
// Folders the walk could not read, and links it did not enter, are marked on
// the folder count and named in its tooltip (FolderCountText), so that they
// do not pass for empty folders.
//
// Assistive technology reads the value labels (title, path, counts) by what
// they show: they carry no fixed accessible name. The caption beside each is
// its buddy, which Qt offers as a labelled-by relation; the title, which has
// no caption, says what it is in its description.
//
// Errors: handlers are entered from Qt, which cannot carry an exception. Each
// connection runs its handler under a guard that writes one line to stderr,
// disables Abort and leaves the window usable. A scan that ends in an error
// (a counter overflow, memory running out, ...) says so on both counts, with
// the error's message in their tooltips; the next folder change scans anew.

#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include <quorvel/BasicTypes.h>
#include <quorvel/DirectoryReader.h>
#include <quorvel/WithEvents.h>
#include <quorvel/clsDirwalk.h>

namespace Ui {
class frmMain;
}

namespace quorvel {

class ScanPanes;
class TextPane;

class frmMain : public QWidget {
    Q_OBJECT

  public:
    // `startFolder` is where Dir1 starts: by default the folder the user
    // started the program in (StartFolder), and relative paths from there;
    // `reader` lists folders for Dir1 and every scan.
    explicit frmMain(std::string startFolder = {},
                     std::shared_ptr<DirectoryReader> reader = SystemDirectoryReader(),
                     QWidget* parent = nullptr);
    ~frmMain() override;

    void setVisible(bool visible) override;

    // A read of the first scan hangs so long that the window is shown
    // before that scan has ended.
    static constexpr std::chrono::seconds kShowAfterHungRead{3};

    // The handlers, in code order. Public so that a test can call them the
    // way the runtime does; the connections go through the error guard.
    void Form_Load();
    void Dir1_Change();
    void cDirwalk_EntryFound(std::string_view Name, std::string_view RelativePath,
                             std::string_view FullPath, Flag IsFolder, Counter FileCount,
                             Counter FolderCount);
    void cmdAbort_Click();

    // The current scanner, or null before the first scan.
    const std::shared_ptr<clsDirwalk>& Scanner() const { return cDirwalk.get(); }
    bool IsLoaded() const { return bLoaded; }
    // True while a scan driver pass (its walk or its end steps) is running.
    bool IsScanning() const { return nPassDepth > 0; }

  signals:
    // The window was shown during its load, its first scan still running.
    void ShownDuringLoad();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // One scan driver pass. Returns early, skipping the rest of its end
    // steps, once a newer folder change or a close has superseded it.
    void RunPass();
    // `message` is the error's, or null when it has none.
    void ShowScanFailed(const char* message);
    bool Superseded() const { return bRescanRequested || bCloseRequested; }
    void ShowIfReadHangs(const clsDirwalk& scanner);
    void Yield();
    void AppendToPane(TextPane& pane, std::string_view utf8);
    template <class Handler>
    void Guarded(const char* handlerName, Handler&& handler);

    std::unique_ptr<Ui::frmMain> ui;
    std::shared_ptr<DirectoryReader> directoryReader;
    WithEvents<clsDirwalk, EntryFoundHandler> cDirwalk;
    // What the current pass shows of cDirwalk's lists in the panes.
    std::unique_ptr<ScanPanes> scanPanes;
    bool bLoaded = false;
    bool bLoading = false;
    bool bShownDuringLoad = false;
    int nPassDepth = 0;
    bool bRescanRequested = false;
    bool bCloseRequested = false;
    // Reused for every found line, so that an entry costs no allocation.
    std::string sLine;
};

}  // namespace quorvel
