// SPDX-License-Identifier: MIT
// quorvel-bench-window [--digest] [--at-load | --abort N | --folder-list] FOLDER: scans FOLDER
// through the real main window, shown (offscreen unless QT_QPA_PLATFORM says otherwise), and prints
// the report line (see WalkReport.h).
//
// The program starts the way quorvel does (Main, in an empty temporary
// folder, so the load's own scan finds nothing), waits until the window is
// on screen, and then opens FOLDER in the folder list, as a user would: the
// window's own scan driver walks it with Events and Include Sub Folders set,
// showing every entry as it is found, then both counts and both lists. The
// time runs from opening the folder to the final state painted. Afterwards
// the four panes must hold one line per entry and the count labels the
// scanner's counts. fill_ms is the time from the walk's end (ScanEndProbe)
// to the list panes filled, the end of the scan driver's pass.
//
// --digest: adds the digest of the scanner's two lists to the report (after
// the time is taken, but it still costs the process some), so that the
// window's walk can be compared with the others.
//
// --at-load: starts in FOLDER instead, as `cd FOLDER && quorvel` does: the
// first scan runs while the window loads, before it is first shown.
//
// --abort N: opens FOLDER N times, each time clicking Abort from another
// thread after a delay that grows from run to run, and prints the time from
// posting each click to the walk's return (ScanEndProbe), on the wall clock
// and on the window thread's CPU clock:
//
//   abort_wall_ms=T,T,... abort_cpu_ms=T,T,... entries_at_abort=N,N,...
//
// --folder-list: the folder list's own work, without a scan: Dir1 (its
// change no longer reaching the window) opens FOLDER, lists and sorts its
// subfolders, lays them out and paints. Reports folders=<subfolders listed>
// files=0, the wall time as walk_ms and the window thread's CPU time as
// own_cpu_ms.

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QWindow>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <quorvel/OpenFileLimit.h>

#include "AbortClicker.h"
#include "FolderList.h"
#include "ScanEndProbe.h"
#include "TextPane.h"
#include "ThreadClock.h"
#include "WalkReport.h"
#include "frmMain.h"
#include "mdlMain.h"

namespace {

using quorvel::FolderList;
using quorvel::frmMain;
using quorvel::TextPane;
using quorvel::bench::Moment;

struct Options {
    bool atLoad = false;
    bool digest = false;
    bool folderList = false;
    int aborts = 0;
    std::string folder;
};

template <class T>
T& Control(const frmMain& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (!control) throw std::runtime_error(std::string("no control ") + name);
    return *control;
}

// The count a label starts with (a mark may follow it).
std::uint64_t LabelNumber(const frmMain& window, const char* name) {
    bool ok = false;
    const QString text = Control<QLabel>(window, name).text();
    const qulonglong n = text.section(QLatin1Char(' '), 0, 0).toULongLong(&ok);
    if (!ok) throw std::runtime_error(std::string(name) + " shows no number");
    return n;
}

std::uint64_t Lines(const frmMain& window, const char* name) {
    return static_cast<std::uint64_t>(Control<TextPane>(window, name).LineCount());
}

// Both boxes the benchmark depends on, ticked (not greyed: the design value).
void TickScanBoxes(const frmMain& window) {
    for (const char* name : {"chkEvents", "chkmSubFolders"}) {
        Control<QCheckBox>(window, name).setCheckState(Qt::Checked);
    }
}

void WaitUntilExposed(const frmMain& window) {
    QElapsedTimer waited;
    waited.start();
    while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
        if (waited.elapsed() > 10000) throw std::runtime_error("the window was never exposed");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
}

// What the window shows after a completed pass: the counts, and one pane
// line per entry in all four panes.
struct Shown {
    std::uint64_t folders = 0;
    std::uint64_t files = 0;
};

Shown CheckShown(const frmMain& window) {
    if (window.IsScanning()) throw std::runtime_error("the scan is still running");
    if (Control<QPushButton>(window, "cmdAbort").isEnabled())
        throw std::runtime_error("Abort is still enabled");
    const Shown shown{LabelNumber(window, "lblFolderCount"), LabelNumber(window, "lblFileCount")};
    const auto& scanner = window.Scanner();
    if (!scanner || static_cast<std::uint64_t>(scanner->FolderCount()) != shown.folders ||
        static_cast<std::uint64_t>(scanner->FileCount()) != shown.files)
        throw std::runtime_error("the count labels differ from the scanner's counts");
    if (Lines(window, "txtFoldersFound") != shown.folders ||
        Lines(window, "txtFolders") != shown.folders ||
        Lines(window, "txtFilesFound") != shown.files || Lines(window, "txtFiles") != shown.files)
        throw std::runtime_error("a pane does not hold one line per entry");
    return shown;
}

std::size_t PaneBytes(const frmMain& window) {
    std::size_t bytes = 0;
    for (const char* name : {"txtFoldersFound", "txtFilesFound", "txtFolders", "txtFiles"})
        bytes += Control<TextPane>(window, name).MemoryBytes();
    return bytes;
}

// Starts the program the way quorvel does, in `folder`; returns its window,
// shown and loaded (the load's scan of `folder` is over).
frmMain& StartIn(const std::string& folder) {
    if (::chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
    quorvel::Main(QString());
    frmMain& window = quorvel::MainWindow();
    WaitUntilExposed(window);
    return window;
}

int WalkOnce(const Options& options) {
    QTemporaryDir empty;
    if (!empty.isValid()) throw std::runtime_error("no temporary folder");
    double ms = 0;
    double fillMs = -1;
    if (options.atLoad) {
        const quorvel::bench::WalkTimer timer;
        frmMain& window = StartIn(options.folder);
        ms = timer.ElapsedMs();
        if (Control<QCheckBox>(window, "chkEvents").checkState() != Qt::Checked ||
            Control<QCheckBox>(window, "chkmSubFolders").checkState() != Qt::Checked)
            throw std::runtime_error("the design no longer ticks Events and Include Sub Folders");
    } else {
        frmMain& window = StartIn(empty.path().toStdString());
        TickScanBoxes(window);
        const quorvel::bench::ThreadClock windowClock;
        quorvel::bench::ScanEndProbe probe(window, Control<QLabel>(window, "lblFolderCount"));
        const quorvel::bench::WalkTimer timer;
        Control<FolderList>(window, "Dir1").SetPath(options.folder);
        const Moment filled = windowClock.Now();
        QCoreApplication::processEvents();  // the final state painted
        ms = timer.ElapsedMs();
        if (!probe.SeenAt()) throw std::runtime_error("the end of the walk was not seen");
        fillMs = quorvel::bench::MillisecondsBetween(probe.SeenAt()->wall, filled.wall);
    }
    const frmMain& window = quorvel::MainWindow();
    const Shown shown = CheckShown(window);
    quorvel::bench::PrintWalkReport(shown.folders, shown.files, ms);
    if (options.digest) {
        quorvel::bench::PrintDigest(quorvel::bench::ListDigest(*window.Scanner()->Folders()),
                                    quorvel::bench::ListDigest(*window.Scanner()->Files()));
    }
    std::printf(" pane_bytes=%zu", PaneBytes(window));
    if (fillMs >= 0) std::printf(" fill_ms=%.3f", fillMs);
    std::printf("\n");
    quorvel::UnloadMainWindow();
    return 0;
}

int FolderListOnce(const Options& options) {
    QTemporaryDir empty;
    if (!empty.isValid()) throw std::runtime_error("no temporary folder");
    frmMain& window = StartIn(empty.path().toStdString());
    auto& dir1 = Control<FolderList>(window, "Dir1");
    QObject::disconnect(&dir1, &FolderList::Change, nullptr, nullptr);
    const quorvel::bench::ThreadClock windowClock;
    const Moment start = windowClock.Now();
    dir1.SetPath(options.folder);
    // Its subfolders are read on a thread of their own; the window's thread
    // handles events meanwhile, as it would.
    while (dir1.IsListing()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // What the next paint would do anyway, done now: the view lays out its
    // rows and paints them.
    dir1.doItemsLayout();
    dir1.viewport()->repaint();
    QCoreApplication::processEvents();
    const Moment end = windowClock.Now();
    if (dir1.Path() != options.folder) throw std::runtime_error("Dir1 did not open the folder");
    const int listed = dir1.model()->rowCount() - dir1.currentIndex().row() - 1;
    quorvel::bench::PrintWalkReport(static_cast<std::uint64_t>(listed), 0,
                                    quorvel::bench::MillisecondsBetween(start.wall, end.wall));
    std::printf(" own_cpu_ms=%.3f\n", quorvel::bench::MillisecondsBetween(start.cpu, end.cpu));
    quorvel::UnloadMainWindow();
    return 0;
}

std::string JoinMs(const std::vector<double>& values) {
    std::string out;
    for (const double v : values) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.3f", out.empty() ? "" : ",", v);
        out += text;
    }
    return out;
}

int AbortRepeatedly(const Options& options) {
    QTemporaryDir empty;
    if (!empty.isValid()) throw std::runtime_error("no temporary folder");
    const std::string emptyFolder = empty.path().toStdString();
    frmMain& window = StartIn(emptyFolder);
    TickScanBoxes(window);
    auto& dir1 = Control<FolderList>(window, "Dir1");
    auto& abort = Control<QPushButton>(window, "cmdAbort");
    const quorvel::bench::ThreadClock windowClock;
    auto probe = std::make_unique<quorvel::bench::ScanEndProbe>(
        window, Control<QLabel>(window, "lblFolderCount"));

    std::vector<double> wallMs, cpuMs;
    std::string entries;
    int late = 0;
    for (int run = 0; run < options.aborts; ++run) {
        // Back to the empty folder, so that opening FOLDER is a folder change.
        dir1.SetPath(emptyFolder);
        probe->Rearm();
        // Delays off the yield's 16 ms beat, so the clicks land at different
        // points of a slice.
        const std::chrono::milliseconds delay(40 + 53 * run);
        std::optional<Moment> posted;
        {
            quorvel::bench::AbortClicker clicker(abort, windowClock, delay);
            dir1.SetPath(options.folder);
            posted = clicker.PostedAt();
        }
        // A click that came after the walk is still queued: let it find
        // Abort disabled now rather than stop the next walk at its start.
        QCoreApplication::processEvents();
        const Shown shown = CheckShown(window);
        const std::optional<Moment>& ended = probe->SeenAt();
        if (!ended) throw std::runtime_error("the end of the walk was not seen");
        if (!posted || ended->wall < posted->wall) {
            ++late;
            continue;
        }
        wallMs.push_back(quorvel::bench::MillisecondsBetween(posted->wall, ended->wall));
        cpuMs.push_back(quorvel::bench::MillisecondsBetween(posted->cpu, ended->cpu));
        if (!entries.empty()) entries.push_back(',');
        entries.append(std::to_string(shown.folders + shown.files));
    }
    if (wallMs.empty()) throw std::runtime_error("every walk ended before its click");
    std::printf("abort_wall_ms=%s abort_cpu_ms=%s entries_at_abort=%s late=%d\n",
                JoinMs(wallMs).c_str(), JoinMs(cpuMs).c_str(), entries.c_str(), late);
    probe.reset();
    quorvel::UnloadMainWindow();
    return 0;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    int arg = 1;
    for (; arg < argc - 1; ++arg) {
        if (std::strcmp(argv[arg], "--at-load") == 0) {
            options.atLoad = true;
        } else if (std::strcmp(argv[arg], "--digest") == 0) {
            options.digest = true;
        } else if (std::strcmp(argv[arg], "--folder-list") == 0) {
            options.folderList = true;
        } else if (std::strcmp(argv[arg], "--abort") == 0 && arg + 1 < argc - 1) {
            options.aborts = std::atoi(argv[++arg]);
            if (options.aborts < 1 || options.aborts > 100) return false;
        } else {
            break;
        }
    }
    if (arg != argc - 1 || argv[arg][0] == '-' ||
        int(options.atLoad) + int(options.folderList) + int(options.aborts > 0) > 1)
        return false;
    std::error_code error;
    options.folder = std::filesystem::absolute(argv[arg], error).lexically_normal().string();
    return !error;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: quorvel-bench-window [--digest] [--at-load | --abort N | --folder-list] "
            "FOLDER\n");
        return 2;
    }
    // As quorvel does, before any thread: a deep walk holds one descriptor a level.
    quorvel::RaiseOpenFileLimit();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    try {
        if (options.folderList) return FolderListOnce(options);
        return options.aborts ? AbortRepeatedly(options) : WalkOnce(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorvel-bench-window: %s\n", error.what());
        quorvel::UnloadMainWindow();
        return 1;
    }
}
