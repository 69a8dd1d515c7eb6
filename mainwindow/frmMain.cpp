// SPDX-License-Identifier: MIT
#include "frmMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPalette>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>

#include "EventLoopYield.h"
#include "FolderCountText.h"
#include "FolderList.h"
#include "ScanPanes.h"
#include "ShownText.h"
#include "TextPane.h"
#include "mdlModes.h"
#include "mdlSetFormIcon32.h"
#include "ui_frmMain.h"

namespace quorvel {
namespace {

// A check box counts as set when ticked or greyed.
Flag CheckFlag(const QCheckBox& box) {
    return box.checkState() != Qt::Unchecked ? kTrue : kFalse;
}

// Decimal text to a 32-bit integer, the way the title colour is stored.
std::int32_t ToInt32(const QString& text) {
    bool ok = false;
    const double value = std::round(text.trimmed().toDouble(&ok));
    if (!ok || value < INT32_MIN || value > INT32_MAX) {
        throw OverflowError("not a 32-bit value: " + text.toStdString());
    }
    return static_cast<std::int32_t>(value);
}

// 0x00BBGGRR, red in the low byte.
QColor ColorFromBgr(std::int32_t value) {
    const auto bgr = static_cast<std::uint32_t>(value);
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void SetBackground(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, color);
    widget.setPalette(palette);
}

// An error's message as one line, whatever it holds.
std::string OneLine(const char* message) {
    std::string line = message ? message : "";
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

void ReportHandlerError(const char* handlerName, const char* message) {
    std::fprintf(stderr, "quorvel: %s: %s\n", handlerName, OneLine(message).c_str());
    std::fflush(stderr);
}

void AppendNumber(std::string& out, Counter n) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, result.ptr);
}

// Marks a pass as running for as long as it is on the stack, exceptions
// included, and carries out a close that came in while it ran.
class PassScope {
  public:
    explicit PassScope(int& depth, const bool& closeRequested, QWidget& window)
        : depth_(depth), closeRequested_(closeRequested), window_(window) {
        ++depth_;
    }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;
    ~PassScope() {
        if (--depth_ == 0 && closeRequested_) {
            QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
        }
    }

  private:
    int& depth_;
    const bool& closeRequested_;
    QWidget& window_;
};

}  // namespace

template <class Handler>
void frmMain::Guarded(const char* handlerName, Handler&& handler) {
    try {
        handler();
        return;
    } catch (const std::exception& error) {
        ReportHandlerError(handlerName, error.what());
    } catch (...) {
        ReportHandlerError(handlerName, "unknown error");
    }
    ui->cmdAbort->setEnabled(false);
}

frmMain::frmMain(std::string startFolder, std::shared_ptr<DirectoryReader> reader, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmMain>()),
      directoryReader(std::move(reader)),
      cDirwalk(&clsDirwalk::EntryFound, [this](std::string_view Name, std::string_view RelativePath,
                                               std::string_view FullPath, Flag IsFolder,
                                               Counter FileCount, Counter FolderCount) {
          cDirwalk_EntryFound(Name, RelativePath, FullPath, IsFolder, FileCount, FolderCount);
      }) {
    ui->setupUi(this);
    // A fixed dialog frame with a close box only. Still a normal top-level
    // window, so that it keeps its task bar entry: a minimised window without
    // one could not be got back on most Linux desktops.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    // The title strip's design colour; the load handler replaces it.
    SetBackground(*ui->picTitle, ui->picTitle->palette().color(QPalette::Highlight));

    ui->Dir1->Start(directoryReader, startFolder);
    connect(ui->Dir1, &FolderList::Change, this,
            [this] { Guarded("Dir1_Change", [this] { Dir1_Change(); }); });
    connect(ui->cmdAbort, &QPushButton::clicked, this,
            [this] { Guarded("cmdAbort_Click", [this] { cmdAbort_Click(); }); });
}

frmMain::~frmMain() = default;

void frmMain::setVisible(bool visible) {
    if (visible && !bLoaded) {
        bLoaded = true;
        bLoading = true;
        Guarded("Form_Load", [this] { Form_Load(); });
        bLoading = false;
        if (bCloseRequested) {
            // Closed while loading, before it was ever shown: nothing to show,
            // and nothing else keeps the program running.
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                      Qt::QueuedConnection);
            return;
        }
    }
    QWidget::setVisible(visible);
}

void frmMain::Form_Load() {
    SetFormIcon(this, QStringLiteral("AAA"), kTrue);
    InitProductInfo();
    setWindowTitle(gProductName);
    ui->lblTitle->setText(gProductName);
    SetBackground(*ui->picTitle, ColorFromBgr(ToInt32(gTitleColor)));
    ui->cmdAbort->setEnabled(false);
    Dir1_Change();
}

void frmMain::Dir1_Change() {
    if (bCloseRequested) return;
    if (nPassDepth > 0) {
        // A pass is on the stack below us (we run inside its yield). Stop its
        // walk; it skips its end steps and scans Dir1's newest folder once
        // its walk has unwound.
        bRescanRequested = true;
        if (cDirwalk) cDirwalk->Abort();
        return;
    }
    PassScope scope(nPassDepth, bCloseRequested, *this);
    // Each round needs a folder change made during the previous one.
    const auto rescanPending = [this] { return bRescanRequested && !bCloseRequested; };
    do {
        bRescanRequested = false;
        // A pass that a newer folder change superseded and that then failed,
        // failed for a folder the user has left: its error is dropped and
        // the newer folder scanned, so that the path, the counts and Dir1
        // keep agreeing.
        try {
            RunPass();
        } catch (const std::exception& error) {
            if (rescanPending()) continue;
            ShowScanFailed(error.what());
            throw;
        } catch (...) {
            if (rescanPending()) continue;
            ShowScanFailed(nullptr);
            throw;
        }
    } while (rescanPending());
    bRescanRequested = false;
}

void frmMain::RunPass() {
    const std::string sPath = ui->Dir1->Path();
    ui->lblPath->setText(ShownText(sPath));

    scanPanes.reset();  // it refers to the scanner it was made for
    cDirwalk = std::make_shared<clsDirwalk>(directoryReader);
    scanPanes = std::make_unique<ScanPanes>(*cDirwalk, *ui->txtFoldersFound, *ui->txtFilesFound);
    // Every read on a thread of the scan's, the window's handled while the
    // walk waits; a read that does not answer is left behind at Abort, a
    // folder change or closing: the window never waits for it.
    cDirwalk->WaitForReads(ReadWaits::kYieldAbandonOnAbort);
    // The list panes are measured as the walk goes, at each run of the
    // event loop, so that showing them at its end takes no time.
    cDirwalk->SetYieldHook(
        [this, scanner = cDirwalk.get().get(),
         yield = EventLoopYield().BeforeRun([this] { scanPanes->MeasureLists(); })]() mutable {
            yield();
            if (bLoading && !bShownDuringLoad) ShowIfReadHangs(*scanner);
        });
    // Folders are listed ahead on worker threads; what the panes show, and
    // in which order, is the serial walk's.
    cDirwalk->ReadAhead(ReadAheadSettings{});
    // The lists keep 4 KiB pages (HugePageLists stays off): on a virtual
    // machine that gives its free memory back to the host, every fresh
    // 2 MiB page is faulted in on the host too, which cost the walk more
    // than the small page faults it saves (and made its time vary by half).
    cDirwalk->Events(CheckFlag(*ui->chkEvents));
    cDirwalk->FullPath(CheckFlag(*ui->chkFullPath));
    cDirwalk->SubFolders(CheckFlag(*ui->chkmSubFolders));

    ui->txtFolders->Clear();
    ui->txtFiles->Clear();
    ui->txtFoldersFound->Clear();
    ui->txtFilesFound->Clear();
    ui->cmdAbort->setEnabled(true);

    cDirwalk->ScanFolder(sPath);

    ui->cmdAbort->setEnabled(false);
    if (Superseded()) return;

    // Folders that could not be read, and links that were not entered, are
    // marked on the count, and named in its tooltip and accessible
    // description: "empty" and "not looked into" must not look alike.
    const FolderCountText folderCount =
        DescribeFolderCount(cDirwalk->FolderCount(), cDirwalk->FileCount(), sPath,
                            cDirwalk->ReadFailures().get(), cDirwalk->LinksNotEntered().get());
    const QFontMetrics metrics = ui->lblFolderCount->fontMetrics();
    ui->lblFolderCount->setText(metrics.horizontalAdvance(folderCount.caption) <=
                                        ui->lblFolderCount->width()
                                    ? folderCount.caption
                                    : folderCount.compactCaption);
    ui->lblFolderCount->setToolTip(folderCount.details);
    ui->lblFolderCount->setAccessibleDescription(folderCount.details);
    ui->lblFileCount->setText(QString::number(cDirwalk->FileCount()));
    ui->lblFileCount->setToolTip({});
    ui->lblFileCount->setAccessibleDescription({});
    ui->lblFolderCount->repaint();
    ui->lblFileCount->repaint();

    // The list panes show the scanner's lists themselves (held by the panes
    // from here on), one line per item.
    Yield();
    if (Superseded()) return;
    scanPanes->ShowFolders(*ui->txtFolders);
    Yield();
    if (Superseded()) return;
    scanPanes->ShowFiles(*ui->txtFiles);
}

void frmMain::cDirwalk_EntryFound(std::string_view Name, std::string_view RelativePath,
                                  std::string_view FullPath, Flag IsFolder, Counter FileCount,
                                  Counter FolderCount) {
    const bool bFolder = IsFolder == kTrue;
    // The scanner's own entries are shown from its lists; only another
    // event (a call by hand, say) is built and appended as text.
    if (scanPanes && scanPanes->ShowFound(Name, bFolder, bFolder ? FolderCount : FileCount)) return;
    TextPane& pane = bFolder ? *ui->txtFoldersFound : *ui->txtFilesFound;
    sLine.clear();
    AppendNumber(sLine, bFolder ? FolderCount : FileCount);
    sLine.append(")-");
    AppendShown(sLine, Name);
    sLine.push_back('\t');
    AppendShown(sLine, RelativePath);
    sLine.push_back('\t');
    AppendShown(sLine, FullPath);
    sLine.push_back('\n');
    AppendToPane(pane, sLine);
}

void frmMain::cmdAbort_Click() {
    if (cDirwalk) cDirwalk->Abort();
    ui->cmdAbort->setEnabled(false);
}

// The counts of the previous folder must not pass for this one's: both say
// the scan failed, and their tooltip and description say why. The panes keep
// what the walk showed before the error.
void frmMain::ShowScanFailed(const char* message) {
    const QString why = QStringLiteral("The scan failed:\n") +
                        (message ? ShownText(OneLine(message)) : QStringLiteral("unknown error"));
    for (QLabel* count : {ui->lblFolderCount, ui->lblFileCount}) {
        count->setText(QStringLiteral("Scan failed"));
        count->setToolTip(why);
        count->setAccessibleDescription(why);
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (nPassDepth > 0) {
        // The walk is still on the stack and must unwind before the window
        // may go; PassScope closes it then.
        bCloseRequested = true;
        if (cDirwalk) cDirwalk->Abort();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmMain::ShowIfReadHangs(const clsDirwalk& scanner) {
    const std::optional<ReadWait> wait = scanner.WaitingForRead();
    if (!wait || std::chrono::steady_clock::now() - wait->since < kShowAfterHungRead) return;
    bShownDuringLoad = true;
    QWidget::setVisible(true);
    emit ShownDuringLoad();
}

void frmMain::Yield() {
    QCoreApplication::processEvents();
}

// Text goes at the very end and the insertion point follows it; the pane
// does this without reading its whole text. AppendShown made the text
// well-formed UTF-8, so the pane need not check it again.
void frmMain::AppendToPane(TextPane& pane, std::string_view utf8) {
    pane.AppendWellFormed(utf8);
}

}  // namespace quorvel
