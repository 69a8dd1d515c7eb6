// SPDX-License-Identifier: MIT
// A seeded soak of the real window: a few hundred user actions (Abort,
// folder changes through Dir1, check boxes, rescans, close) at random moments
// of scans of a medium tree, most of them from inside a running scan. After
// every scan that ended, the panes and counts must agree with each other and
// with an independent walk of the folder (a prefix of it after an Abort); no
// scanner may outlive the window. The window's scans read ahead, as always.
//
// Determinism: at a walk's first yield (which always runs the event loop) the
// test replaces the window's time-sliced yield hook with its own, and the
// seed decides at which entries that hook runs the event loop; actions are
// posted events or direct calls, never timers. So one seed gives one sequence
// of handler calls. The seed is printed; QUORVEL_SOAK_SEED=<n> replays one.

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <quorvel/BasicTypes.h>
#include <quorvel/clsDirwalk.h>

#include "FaultyReader.h"
#include "ReferenceWalk.h"
#include "WindowTestSupport.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

constexpr std::uint64_t kDefaultSeed = 20240611;
constexpr int kSessions = 4;                // window lifetimes, each ending in a close
constexpr int kTopLevelActions = 60;        // per session, between scans
constexpr int kNestedActions = 80;          // per session, from inside scans
constexpr int kTreeEntries = 3000;          // about
constexpr std::uint64_t kTickCap = 200000;  // event loop runs inside scans, all sessions

std::uint64_t SeedFromEnvironment() {
    bool ok = false;
    const qulonglong seed = qEnvironmentVariable("QUORVEL_SOAK_SEED").toULongLong(&ok);
    return ok ? seed : kDefaultSeed;
}

// What the panes of a scan of a real folder must show, by the reference walk.
struct IndependentWalk {
    std::vector<std::string> foldersPreOrder;   // relative paths, as listed
    std::vector<std::string> foldersPostOrder;  // as completed and numbered
    std::vector<std::string> files;             // full paths, in the order met
    std::vector<bool> folderAt;                 // every entry met: a folder?
};

IndependentWalk WalkIndependently(const std::string& root, bool recursive,
                                  std::set<std::string> unreadable = {}) {
    IndependentWalk walk;
    for (const ReferenceStep& step :
         ReferenceWalk(root, {.enter = recursive, .unreadable = std::move(unreadable)})) {
        switch (step.kind) {
            case ReferenceStep::Kind::File:
                walk.files.push_back(step.folder + step.name);
                walk.folderAt.push_back(false);
                break;
            case ReferenceStep::Kind::Folder:
                walk.foldersPreOrder.push_back(step.relative);
                walk.folderAt.push_back(true);
                break;
            case ReferenceStep::Kind::FolderDone:
                walk.foldersPostOrder.push_back(step.relative);
                break;
        }
    }
    return walk;
}

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : engine_(seed) {}
    // The engine's output is fixed by the standard; the distributions of
    // <random> are not, so draws are made here.
    std::uint64_t Below(std::uint64_t n) { return engine_() % n; }
    bool Percent(std::uint64_t p) { return Below(100) < p; }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(items.size())];
    }

  private:
    std::mt19937_64 engine_;
};

// About kTreeEntries entries, up to four levels deep, some folders empty;
// names with spaces, non-ASCII letters and long ones. Returns every folder's
// relative path, "" for the root.
std::vector<std::string> BuildMediumTree(const TempTree& tree, Rng& rng) {
    std::vector<std::string> folders{""};
    std::vector<std::string> empty;
    int entries = 0;
    int serial = 0;
    for (std::size_t next = 0; next < folders.size() && entries < kTreeEntries; ++next) {
        const std::string rel = folders[next];
        const std::string prefix = rel.empty() ? "" : rel + "/";
        const auto depth = rel.empty() ? 0 : std::count(rel.begin(), rel.end(), '/') + 1;
        const auto files = 1 + rng.Below(50);
        for (std::uint64_t i = 0; i < files; ++i, ++entries, ++serial) {
            const std::string n = std::to_string(serial);
            switch (rng.Below(6)) {
                case 0:
                    tree.File(prefix + "name with spaces " + n);
                    break;
                case 1:
                    tree.File(prefix + "caf\xC3\xA9 " + n + ".md");
                    break;
                case 2:
                    tree.File(prefix + std::string(120, 'L') + n);
                    break;
                case 3:
                    tree.File(prefix + ".hidden" + n);
                    break;
                default:
                    tree.File(prefix + "file" + n + ".txt");
                    break;
            }
        }
        const auto subfolders = depth >= 4 ? 0 : rel.empty() ? 6 : rng.Below(6);
        for (std::uint64_t i = 0; i < subfolders; ++i, ++entries, ++serial) {
            const std::string n = std::to_string(serial);
            const std::string name = rng.Percent(20) ? "\xC3\xA9t\xC3\xA9 " + n : "d" + n;
            tree.Folder(prefix + name);
            folders.push_back(prefix + name);
        }
        // Left empty: a walk of it never yields, so the window's own yield
        // hook stays on that scanner.
        if (rng.Percent(10)) {
            const std::string name = prefix + "empty " + std::to_string(serial++);
            tree.Folder(name);
            ++entries;
            empty.push_back(name);
        }
    }
    folders.insert(folders.end(), empty.begin(), empty.end());
    return folders;
}

class Soak {
  public:
    // `unreadable`: absolute paths of folders that refuse to open.
    Soak(std::uint64_t seed, const TempTree& tree, std::vector<std::string> folders,
         std::set<std::string> unreadable)
        : seed_(seed),
          rng_(seed),
          tree_(tree),
          folders_(std::move(folders)),
          unreadable_(std::move(unreadable)) {
        for (const std::string& path : unreadable_) reader_->FailOpen(path, EACCES);
    }

    // One window from creation to close. Failures are reported through
    // QTest; the caller checks QTest::currentTestFailed().
    void RunSession(int session);
    QString Summary() const;

  private:
    // What the user does.
    void TopLevelAction();
    void NestedAction();
    void OpenFolderInDir1();
    void ClickAbort();
    void ChangeCheckBox();
    void Close(std::unique_ptr<frmMain>& window);

    // The event loop's side: one tick per run of it.
    void PostTick();
    void Tick();
    void NoteScanner(const std::shared_ptr<clsDirwalk>& scanner);
    void OnYield();

    // Checks; each returns a description of what is wrong, or nothing.
    QString CheckShown();
    QString CheckFlags(const clsDirwalk& scanner) const;
    const IndependentWalk& Reference(const std::string& root, bool recursive);
    void Problem(const QString& what);
    QString Where() const;
    std::string FolderPath(const std::string& rel) const {
        return rel.empty() ? tree_.Root() : tree_.Root() + "/" + rel;
    }

    FolderList& Dir1() const { return Control<FolderList>(*window_, "Dir1"); }
    QPushButton& AbortButton() const { return Control<QPushButton>(*window_, "cmdAbort"); }

    std::uint64_t seed_;
    Rng rng_;
    const TempTree& tree_;
    std::vector<std::string> folders_;
    std::set<std::string> unreadable_;
    std::shared_ptr<FaultyReader> reader_ = std::make_shared<FaultyReader>();
    std::map<std::pair<std::string, bool>, IndependentWalk> references_;

    frmMain* window_ = nullptr;
    QObject tickContext_;
    bool ticking_ = false;
    bool acting_ = false;
    int session_ = 0;
    int step_ = 0;
    int nestedLeft_ = 0;
    int closeAtTick_ = 0;  // counts down scanning ticks; 0: no close planned
    bool closeSent_ = false;
    std::uint64_t yieldPercent_ = 100;
    std::uint64_t actPercent_ = 0;

    // Every scanner the window made, by a reference that does not keep it.
    std::vector<std::weak_ptr<clsDirwalk>> scanners_;
    const clsDirwalk* lastSeen_ = nullptr;
    std::set<const clsDirwalk*> aborted_;
    QStringList problems_;

    std::uint64_t ticks_ = 0;
    std::uint64_t yields_ = 0;
    int actions_ = 0;
    int nestedActions_ = 0;
    int completeChecks_ = 0;
    int abortedChecks_ = 0;
    int markedChecks_ = 0;
    int closedInScan_ = 0;
};

void Soak::RunSession(int session) {
    session_ = session;
    step_ = -1;
    nestedLeft_ = kNestedActions;
    closeAtTick_ = 0;
    closeSent_ = false;
    lastSeen_ = nullptr;
    auto window = std::make_unique<frmMain>(FolderPath(rng_.Pick(folders_)), reader_);
    window_ = window.get();
    // However the session ends, nothing may reach the window after it.
    struct Detach {
        Soak& soak;
        ~Detach() {
            soak.window_ = nullptr;
            soak.ticking_ = false;
        }
    } detach{*this};
    acting_ = true;
    ticking_ = true;
    PostTick();

    // The first scan runs inside the load, before the window is visible;
    // actions reach it from the walk's yields all the same.
    window->show();
    QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join('\n')));
    const QString atLoad = CheckShown();
    QVERIFY2(atLoad.isEmpty(), qPrintable(Where() + atLoad));

    for (step_ = 0; step_ < kTopLevelActions; ++step_) {
        TopLevelAction();
        QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join('\n')));
        QVERIFY2(ticks_ < kTickCap, qPrintable(Where() + "event loop ran too often"));
        const QString problem = CheckShown();
        QVERIFY2(problem.isEmpty(), qPrintable(Where() + problem));
    }
    Close(window);
}

void Soak::TopLevelAction() {
    ++actions_;
    const auto roll = rng_.Below(100);
    if (roll < 40) {
        OpenFolderInDir1();
    } else if (roll < 55) {
        window_->Dir1_Change();  // a rescan of the same folder, as the load does it
    } else if (roll < 65) {
        emit Dir1().Change();  // the change notification, same folder
    } else if (roll < 90) {
        ChangeCheckBox();
    } else {
        ClickAbort();  // between scans: the button is disabled, nothing happens
    }
    if (window_->IsScanning()) Problem("a scan is still running after the action returned");
    if (AbortButton().isEnabled()) Problem("Abort is enabled between scans");
}

void Soak::NestedAction() {
    ++actions_;
    ++nestedActions_;
    const auto roll = rng_.Below(100);
    if (roll < 30) {
        ClickAbort();
    } else if (roll < 60) {
        OpenFolderInDir1();
    } else if (roll < 70) {
        emit Dir1().Change();
    } else {
        ChangeCheckBox();
    }
}

void Soak::OpenFolderInDir1() {
    FolderList& dir1 = Dir1();
    const std::string& root = tree_.Root();
    const auto variant = rng_.Below(3);
    if (variant == 2) {
        // Most folders are small leaves; the whole tree gets its share.
        dir1.SetPath(rng_.Percent(40) ? tree_.Root() : FolderPath(rng_.Pick(folders_)));
        return;
    }
    // Only entries inside the tree: the chain above it leads to "/".
    std::vector<int> inTree;
    for (int row = 0; row < dir1.model()->rowCount(); ++row) {
        const std::string path = dir1.ItemPath(row);
        if (path == root || path.starts_with(root + "/")) inTree.push_back(row);
    }
    if (inTree.empty()) return Problem("Dir1 shows nothing of the tree");
    const QModelIndex item = dir1.model()->index(rng_.Pick(inTree), 0);
    if (variant == 1 || !window_->isVisible()) {
        dir1.setCurrentIndex(item);
        QTest::keyClick(&dir1, Qt::Key_Return);
        return;
    }
    dir1.scrollTo(item);
    const QPoint at = dir1.visualRect(item).center();
    // As a double click arrives: press, release, then the double-click press.
    QTest::mouseClick(dir1.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(dir1.viewport(), Qt::LeftButton, {}, at);
}

void Soak::ClickAbort() {
    QPushButton& abort = AbortButton();
    if (!abort.isEnabled()) {
        abort.click();  // a click on a disabled button does nothing
        return;
    }
    const std::shared_ptr<clsDirwalk> scanner = window_->Scanner();
    if (!scanner || !scanner->IsScanning()) return Problem("Abort is enabled with no walk running");
    if (window_->isVisible()) {
        QTest::mouseClick(&abort, Qt::LeftButton);
    } else {
        abort.click();
    }
    if (abort.isEnabled()) Problem("Abort stayed enabled after a click");
    aborted_.insert(scanner.get());
}

void Soak::ChangeCheckBox() {
    static const char* const kBoxes[] = {"chkEvents", "chkFullPath", "chkmSubFolders"};
    auto& box = Control<QCheckBox>(*window_, kBoxes[rng_.Below(3)]);
    if (window_->isVisible() && rng_.Percent(50)) {
        // On the box itself: the widget's middle may lie past its caption.
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, box.height() / 2));
    } else {
        box.setCheckState(Qt::CheckState(rng_.Below(3)));  // greyed included
    }
}

void Soak::Close(std::unique_ptr<frmMain>& window) {
    // Every session but the last closes from inside a scan, at a random run
    // of the event loop (a pass runs it at least twice, in its end steps);
    // the close then waits for the walk to unwind.
    if (session_ + 1 < kSessions) {
        closeAtTick_ = int(1 + rng_.Below(10));
        for (int attempt = 0; attempt < 5 && !closeSent_; ++attempt) window_->Dir1_Change();
        closeAtTick_ = 0;
        QVERIFY2(closeSent_, qPrintable(Where() + "no scan to close in"));
    }
    acting_ = false;
    if (closeSent_) {
        ++closedInScan_;
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
    } else {
        window->close();
    }
    QVERIFY(!window->isVisible());
    QVERIFY(!window->IsScanning());
    QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join('\n')));

    // Closed, but the object still exists: only its last scanner may live.
    const clsDirwalk* const current = window->Scanner().get();
    QVERIFY(current != nullptr);
    for (const auto& scanner : scanners_) {
        const std::shared_ptr<clsDirwalk> alive = scanner.lock();
        QVERIFY2(!alive || alive.get() == current,
                 qPrintable(Where() + "a replaced scanner is still alive after close"));
    }
    ticking_ = false;
    window_ = nullptr;
    window.reset();
    for (const auto& scanner : scanners_) {
        QVERIFY2(scanner.expired(), qPrintable(Where() + "a scanner outlived its window"));
    }
}

void Soak::PostTick() {
    QMetaObject::invokeMethod(
        &tickContext_, [this] { Tick(); }, Qt::QueuedConnection);
}

// Runs once per run of the event loop: a posted event reposted from inside
// itself is delivered at the next run, not in the same one.
void Soak::Tick() {
    if (!ticking_) return;
    PostTick();
    if (!window_) return;
    NoteScanner(window_->Scanner());
    if (!acting_ || !window_->IsScanning()) return;
    ++ticks_;
    if (closeAtTick_ > 0 && --closeAtTick_ == 0) {
        window_->close();
        closeSent_ = true;
        acting_ = false;
        // Deferred: the walk is on the stack below us.
        if (!window_->isVisible()) Problem("the window closed with a walk on the stack");
        return;
    }
    if (ticks_ < kTickCap && nestedLeft_ > 0 && rng_.Percent(actPercent_)) {
        --nestedLeft_;
        NestedAction();
    }
}

void Soak::NoteScanner(const std::shared_ptr<clsDirwalk>& scanner) {
    if (!scanner || scanner.get() == lastSeen_) return;
    // A new pass: the window has set its flags and not yet run the loop
    // since, so they must match the boxes as they are now.
    lastSeen_ = scanner.get();
    scanners_.push_back(scanner);
    if (const QString problem = CheckFlags(*scanner); !problem.isEmpty()) Problem(problem);
    // How often this pass lets the loop run, and how busy the user is.
    static const std::vector<std::uint64_t> kYieldPercents{50, 10, 3, 1};
    static const std::vector<std::uint64_t> kActPercents{0, 3, 10, 40};
    yieldPercent_ = rng_.Pick(kYieldPercents);
    actPercent_ = rng_.Pick(kActPercents);
    // Only while it walks: a finished walk keeps the window's own hook, so
    // that a reference cycle through it would show as a surviving scanner.
    if (scanner->IsScanning()) scanner->SetYieldHook([this] { OnYield(); });
}

void Soak::OnYield() {
    ++yields_;
    if (rng_.Percent(yieldPercent_)) QCoreApplication::processEvents();
}

QString Soak::CheckFlags(const clsDirwalk& scanner) const {
    const auto flag = [&](const char* name) {
        return Control<QCheckBox>(*window_, name).checkState() != Qt::Unchecked ? kTrue : kFalse;
    };
    if (scanner.Events() != flag("chkEvents") || scanner.FullPath() != flag("chkFullPath") ||
        scanner.SubFolders() != flag("chkmSubFolders")) {
        return Where() + "a new scanner's flags differ from the check boxes";
    }
    // Every result checked here comes from a walk that reads ahead.
    if (scanner.ReadAhead().workers == 0) return Where() + "the window scans without read-ahead";
    return {};
}

const IndependentWalk& Soak::Reference(const std::string& root, bool recursive) {
    const auto key = std::make_pair(root, recursive);
    auto found = references_.find(key);
    if (found == references_.end()) {
        found = references_.emplace(key, WalkIndependently(root, recursive, unreadable_)).first;
    }
    return found->second;
}

QString Soak::CheckShown() {
    const std::shared_ptr<clsDirwalk> scanner = window_->Scanner();
    if (!scanner) return "no scanner after a scan";
    if (scanner->IsScanning() || window_->IsScanning()) return "a walk is still running";
    if (AbortButton().isEnabled()) return "Abort is enabled after the scan";
    const std::string root = Dir1().Path();
    const QString rootText = Q(root);
    if (LabelText(*window_, "lblPath") != rootText) return "lblPath is not Dir1's folder";
    const TextPane& folders = Pane(*window_, "txtFolders");
    const TextPane& files = Pane(*window_, "txtFiles");
    const qsizetype nFolders = folders.LineCount();
    const qsizetype nFiles = files.LineCount();
    if (scanner->FolderCount() != nFolders || scanner->FileCount() != nFiles) {
        return QStringLiteral("counts %1/%2, list panes %3/%4")
            .arg(scanner->FolderCount())
            .arg(scanner->FileCount())
            .arg(nFolders)
            .arg(nFiles);
    }
    if (LabelText(*window_, "lblFileCount") != QString::number(nFiles)) {
        return "the file count label differs from txtFiles";
    }

    // Against the independent walk: all of it, or after an Abort a prefix
    // cut at one point of the walk.
    const IndependentWalk& walk = Reference(root, scanner->SubFolders() == kTrue);
    const bool fullPath = scanner->FullPath() != kFalse;
    const auto shownFolder = [&](const std::string& rel) {
        return fullPath ? rootText + "/" + Q(rel) + "/" : Q(rel);
    };
    if (std::size_t(nFolders) > walk.foldersPreOrder.size() ||
        std::size_t(nFiles) > walk.files.size()) {
        return "more shown than the folder holds";
    }
    for (qsizetype i = 0; i < nFolders; ++i) {
        if (folders.Line(i) != shownFolder(walk.foldersPreOrder[std::size_t(i)])) {
            return QStringLiteral("txtFolders line %1: %2").arg(i).arg(folders.Line(i));
        }
    }
    for (qsizetype i = 0; i < nFiles; ++i) {
        if (files.Line(i) != Q(walk.files[std::size_t(i)])) {
            return QStringLiteral("txtFiles line %1: %2").arg(i).arg(files.Line(i));
        }
    }
    const bool complete = std::size_t(nFolders) == walk.foldersPreOrder.size() &&
                          std::size_t(nFiles) == walk.files.size();
    if (!complete) {
        if (!aborted_.contains(scanner.get())) return "an incomplete scan that nobody aborted";
        qsizetype seenFolders = 0;
        qsizetype seenFiles = 0;
        for (const bool folder : walk.folderAt) {
            qsizetype& seen = folder ? seenFolders : seenFiles;
            if (seen == (folder ? nFolders : nFiles)) break;
            ++seen;
        }
        if (seenFolders != nFolders || seenFiles != nFiles) {
            return "the folders and files shown after an Abort do not end at one point";
        }
    }
    ++(complete ? completeChecks_ : abortedChecks_);

    // A read that an Abort gave up (the folder the walk waited for, shown)
    // is marked as not answered, in place of whatever else it would be.
    std::string unanswered;
    for (const ReadFailure& failure : *scanner->ReadFailures()) {
        if (failure.error != std::errc::operation_canceled) continue;
        if (!unanswered.empty()) return "two reads given up in one scan";
        if (!aborted_.contains(scanner.get())) return "a read given up, and nobody aborted";
        unanswered = failure.path;
    }
    bool unansweredShown = unanswered.empty() || unanswered == root + "/";
    // The folder count, marked for every listed folder that refused to open
    // (only entered, and so only found unreadable, with sub folders on).
    QStringList unread;
    for (qsizetype i = 0; i < nFolders; ++i) {
        const std::string path = root + "/" + walk.foldersPreOrder[std::size_t(i)];
        if (path + "/" == unanswered) {
            unansweredShown = true;
        } else if (unreadable_.contains(path) && scanner->SubFolders() == kTrue) {
            unread << Q(path) + "/: " + Q(std::strerror(EACCES));
        }
    }
    if (!unansweredShown) return "a read given up of a folder not shown";
    QString caption = QString::number(nFolders);
    QStringList marks;
    if (unreadable_.contains(root) && unanswered.empty()) {
        caption += " (could not read)";
        unread << rootText + "/: " + Q(std::strerror(EACCES));
    } else if (!unread.isEmpty()) {
        marks << QStringLiteral("%1 unreadable").arg(unread.size());
    }
    if (!unanswered.empty()) marks << QStringLiteral("1 not answered");
    if (!marks.isEmpty()) caption += " (" + marks.join(", ") + ")";
    QStringList expected;
    if (!unanswered.empty()) {
        expected << "1 folder did not answer:"
                 << Q(unanswered) + ": no answer before the scan was stopped";
    }
    if (!unread.isEmpty()) {
        expected << (unread.size() == 1
                         ? QStringLiteral("Could not read 1 folder:")
                         : QStringLiteral("Could not read %1 folders:").arg(unread.size()))
                 << unread;
    }
    if (!expected.isEmpty()) ++markedChecks_;
    const QLabel& folderCount = Control<QLabel>(*window_, "lblFolderCount");
    const QStringList details = folderCount.toolTip().split('\n', Qt::SkipEmptyParts);
    if (folderCount.text() != caption || details != expected ||
        folderCount.accessibleDescription() != folderCount.toolTip()) {
        return QStringLiteral("folder count \"%1\", tooltip \"%2\"; expected \"%3\", %4")
            .arg(folderCount.text(), folderCount.toolTip(), caption, expected.join(" | "));
    }

    // The found panes: numbered without gaps, the same entries as the lists.
    const TextPane& foldersFound = Pane(*window_, "txtFoldersFound");
    const TextPane& filesFound = Pane(*window_, "txtFilesFound");
    if (scanner->Events() != kTrue) {
        if (foldersFound.LineCount() != 0 || filesFound.LineCount() != 0) {
            return "found panes filled with events off";
        }
        return {};
    }
    if (filesFound.LineCount() != nFiles || foldersFound.LineCount() != nFolders) {
        return "found panes and list panes differ in length";
    }
    for (qsizetype i = 0; i < nFiles; ++i) {
        const QString number = QString::number(i + 1) + ")-";
        const QStringList pieces = filesFound.Line(i).split('\t');
        if (pieces.size() != 3 || !pieces[0].startsWith(number) ||
            pieces[2] + pieces[0].mid(number.size()) != files.Line(i) ||
            rootText + "/" + pieces[1] != pieces[2]) {
            return QStringLiteral("txtFilesFound line %1: %2").arg(i).arg(filesFound.Line(i));
        }
    }
    std::set<QString> foundRel;
    for (qsizetype i = 0; i < nFolders; ++i) {
        const QString number = QString::number(i + 1) + ")-";
        const QStringList pieces = foldersFound.Line(i).split('\t');
        const bool wellFormed = pieces.size() == 3 && pieces[0].startsWith(number) &&
                                pieces[2] == rootText + "/" + pieces[1] &&
                                pieces[1].section('/', -1) == pieces[0].mid(number.size());
        // Complete walks number folders exactly in post-order.
        if (!wellFormed || (complete && pieces[1] != Q(walk.foldersPostOrder[std::size_t(i)]))) {
            return QStringLiteral("txtFoldersFound line %1: %2").arg(i).arg(foldersFound.Line(i));
        }
        foundRel.insert(pieces[1]);
    }
    std::set<QString> listedRel;
    for (qsizetype i = 0; i < nFolders; ++i) {
        listedRel.insert(Q(walk.foldersPreOrder[std::size_t(i)]));
    }
    if (foundRel != listedRel) return "txtFoldersFound and txtFolders name different folders";
    return {};
}

void Soak::Problem(const QString& what) {
    problems_ << Where() + what;
}

QString Soak::Where() const {
    return QStringLiteral("[seed %1, session %2, step %3] ").arg(seed_).arg(session_).arg(step_);
}

QString Soak::Summary() const {
    return QStringLiteral(
               "%1 actions (%2 inside scans), %3 scanners, %4 complete and %5 aborted scans "
               "checked (%6 with unreadable folders), %7 closes inside a scan, %8 yields, %9 event "
               "loop runs inside scans")
        .arg(actions_)
        .arg(nestedActions_)
        .arg(scanners_.size())
        .arg(completeChecks_)
        .arg(abortedChecks_)
        .arg(markedChecks_)
        .arg(closedInScan_)
        .arg(yields_)
        .arg(ticks_);
}

}  // namespace

class SoakTest : public QObject {
    Q_OBJECT

  private slots:
    void userRaces();
    void closeWhileLoading();
};

void SoakTest::userRaces() {
    const std::uint64_t seed = SeedFromEnvironment();
    qInfo("soak seed %llu (QUORVEL_SOAK_SEED=<n> to replay)",
          static_cast<unsigned long long>(seed));
    TempTree tree;
    Rng treeRng(seed ^ 0x7472656500000000ull);
    std::vector<std::string> folders = BuildMediumTree(tree, treeRng);
    const IndependentWalk whole = WalkIndependently(tree.Root(), true);
    qInfo("tree: %zu folders, %zu files", whole.foldersPreOrder.size(), whole.files.size());
    QVERIFY(folders.size() > 20);
    // A few folders (never the root) that cannot be read.
    std::set<std::string> unreadable;
    for (int i = 0; i < 3; ++i) {
        unreadable.insert(tree.Root() + "/" + folders[1 + treeRng.Below(folders.size() - 1)]);
    }

    Soak soak(seed, tree, std::move(folders), std::move(unreadable));
    for (int session = 0; session < kSessions; ++session) {
        soak.RunSession(session);
        if (QTest::currentTestFailed()) break;
    }
    qInfo("%s", qPrintable(soak.Summary()));
}

void SoakTest::closeWhileLoading() {
    // The one close the soak cannot reach: during the first scan, before the
    // window was ever shown. It must not show, must not hang the program
    // (nothing else would end it), and must leave no scanner behind.
    TempTree tree;
    BuildWideTree(tree, 10, 20);
    std::weak_ptr<clsDirwalk> scanner;
    {
        frmMain window(tree.Root());
        bool closedInScan = false;
        AtNextYield([&] {
            closedInScan = window.IsScanning();
            scanner = window.Scanner();
            window.close();
        });
        window.show();
        QVERIFY(closedInScan);
        QVERIFY(!window.isVisible());
        QVERIFY(!window.IsScanning());
        QVERIFY(window.Scanner()->FileCount() < 200);
        QCOMPARE(Pane(window, "txtFiles").Text(), QString());

        // The program's event loop, as main runs it next: it must end.
        QCOMPARE(ExecWithFailsafe(), 0);
        QVERIFY(!window.isVisible());
    }
    QVERIFY(scanner.expired());
}

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
