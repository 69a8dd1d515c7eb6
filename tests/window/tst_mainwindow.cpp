// SPDX-License-Identifier: MIT
// The scan driver through the real window: what the four panes, the counts
// and the Abort button show for a scan, and how the window behaves when a
// scan is interrupted by Abort, by another folder, by closing, or by an error.

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>

#include <quorvel/BasicTypes.h>

#include "DirwalkTestAccess.h"
#include "FaultyReader.h"
#include "WindowTestSupport.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

// The worked example's four panes for root `root`, in the order the file
// system lists the root (a.txt may come before or after sub).
struct ExampleTexts {
    QString foldersFound, filesFound, folders, files;
};

ExampleTexts WorkedExampleTexts(const std::string& root) {
    const QString r = Q(root);
    const bool aFirst = ListsBefore(root, "a.txt", "sub");
    const QString aLine = QStringLiteral("%1)-a.txt\t\t") + r + "/\n";
    const QString bLine = QStringLiteral("%1)-b.txt\tsub/\t") + r + "/sub/\n";
    ExampleTexts t;
    t.foldersFound = "1)-deep\tsub/deep\t" + r + "/sub/deep\n" + "2)-sub\tsub\t" + r + "/sub\n";
    t.filesFound = aFirst ? aLine.arg(1) + bLine.arg(2) : bLine.arg(1) + aLine.arg(2);
    t.folders = "sub\nsub/deep\n";
    t.files = aFirst ? r + "/a.txt\n" + r + "/sub/b.txt\n" : r + "/sub/b.txt\n" + r + "/a.txt\n";
    return t;
}

void VerifyWorkedExample(const frmMain& window, const std::string& root) {
    const ExampleTexts expected = WorkedExampleTexts(root);
    QCOMPARE(Pane(window, "txtFoldersFound").Text(), expected.foldersFound);
    QCOMPARE(Pane(window, "txtFilesFound").Text(), expected.filesFound);
    QCOMPARE(Pane(window, "txtFolders").Text(), expected.folders);
    QCOMPARE(Pane(window, "txtFiles").Text(), expected.files);
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("2"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("2"));
    QCOMPARE(LabelText(window, "lblPath"), Q(root));
    QVERIFY(!Control<QPushButton>(window, "cmdAbort").isEnabled());
}

void SetBox(const frmMain& window, const char* name, Qt::CheckState state) {
    Control<QCheckBox>(window, name).setCheckState(state);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void workedExampleAtLoad();
    void abortStateBeforeDuringAfter();
    void checkBoxes_data();
    void checkBoxes();
    void emptyAndUnreadableFolders();
    void abortDuringScan();
    void folderChangeDuringScan();
    void folderChangeAfterWalk();
    void closeDuringScan();
    void errorLeavingHandler_data();
    void errorLeavingHandler();
    void controlCharactersInNames();
    void longListFilledWholeAndInOrder();
};

void MainWindowTest::workedExampleAtLoad() {
    TempTree tree;
    BuildWorkedExample(tree);
    frmMain window(tree.Root());
    QVERIFY(!window.IsLoaded());
    QCOMPARE(Pane(window, "txtFiles").Text(), QString());

    window.show();
    QVERIFY(window.IsLoaded());
    VerifyWorkedExample(window, tree.Root());

    // Scanning again replaces everything rather than adding to it.
    window.Dir1_Change();
    VerifyWorkedExample(window, tree.Root());
}

void MainWindowTest::abortStateBeforeDuringAfter() {
    TempTree tree;
    BuildWorkedExample(tree);
    frmMain window(tree.Root());
    auto& abort = Control<QPushButton>(window, "cmdAbort");
    QVERIFY(abort.isEnabled());  // the design state, before the load

    // During the first scan, from inside an event that the walk's yield runs,
    // before the window is visible at all.
    int checks = 0;
    AtNextYield([&] {
        ++checks;
        QVERIFY(abort.isEnabled());
        QVERIFY(window.Scanner() && window.Scanner()->IsScanning());
        QVERIFY(!window.isVisible());
        QCOMPARE(Pane(window, "txtFiles").Text(), QString());
        QCOMPARE(LabelText(window, "lblPath"), Q(tree.Root()));
    });
    window.show();
    QCOMPARE(checks, 1);
    QVERIFY(window.isVisible());
    QVERIFY(!abort.isEnabled());
    QVERIFY(!window.IsScanning());
}

void MainWindowTest::checkBoxes_data() {
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("fullPath");
    QTest::addColumn<int>("subFolders");
    const int clear = Qt::Unchecked, ticked = Qt::Checked, greyed = Qt::PartiallyChecked;
    QTest::newRow("defaults") << ticked << clear << ticked;
    QTest::newRow("events clear") << clear << clear << ticked;
    QTest::newRow("events greyed") << greyed << clear << ticked;
    QTest::newRow("full path ticked") << ticked << ticked << ticked;
    QTest::newRow("full path greyed") << ticked << greyed << ticked;
    QTest::newRow("sub folders clear") << ticked << clear << clear;
    QTest::newRow("sub folders greyed") << ticked << clear << greyed;
}

void MainWindowTest::checkBoxes() {
    QFETCH(int, events);
    QFETCH(int, fullPath);
    QFETCH(int, subFolders);
    TempTree tree;
    BuildWorkedExample(tree);
    const QString r = Q(tree.Root());
    frmMain window(tree.Root());
    window.show();
    SetBox(window, "chkEvents", Qt::CheckState(events));
    SetBox(window, "chkFullPath", Qt::CheckState(fullPath));
    SetBox(window, "chkmSubFolders", Qt::CheckState(subFolders));
    window.Dir1_Change();

    QCOMPARE(window.Scanner()->Events(), events ? kTrue : kFalse);
    QCOMPARE(window.Scanner()->FullPath(), fullPath ? kTrue : kFalse);
    QCOMPARE(window.Scanner()->SubFolders(), subFolders ? kTrue : kFalse);

    ExampleTexts expected = WorkedExampleTexts(tree.Root());
    if (fullPath) expected.folders = r + "/sub/\n" + r + "/sub/deep/\n";
    QString folderCount = "2";
    QString fileCount = "2";
    if (!subFolders) {
        expected.foldersFound = "1)-sub\tsub\t" + r + "/sub\n";
        expected.filesFound = "1)-a.txt\t\t" + r + "/\n";
        expected.folders = fullPath ? r + "/sub/\n" : QStringLiteral("sub\n");
        expected.files = r + "/a.txt\n";
        folderCount = fileCount = "1";
    }
    if (!events) expected.foldersFound = expected.filesFound = QString();

    QCOMPARE(Pane(window, "txtFoldersFound").Text(), expected.foldersFound);
    QCOMPARE(Pane(window, "txtFilesFound").Text(), expected.filesFound);
    QCOMPARE(Pane(window, "txtFolders").Text(), expected.folders);
    QCOMPARE(Pane(window, "txtFiles").Text(), expected.files);
    QCOMPARE(LabelText(window, "lblFolderCount"), folderCount);
    QCOMPARE(LabelText(window, "lblFileCount"), fileCount);
}

void MainWindowTest::emptyAndUnreadableFolders() {
    TempTree tree;
    BuildWorkedExample(tree);
    tree.Folder("empty");
    frmMain window(tree.Root());
    window.show();
    QVERIFY(!Pane(window, "txtFiles").Text().isEmpty());

    auto& dir1 = Control<FolderList>(window, "Dir1");
    dir1.SetPath(tree.Path("empty"));
    QCOMPARE(LabelText(window, "lblPath"), Q(tree.Path("empty")));
    for (const char* pane : {"txtFoldersFound", "txtFilesFound", "txtFolders", "txtFiles"}) {
        QCOMPARE(Pane(window, pane).Text(), QString());
    }
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("0"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("0"));

    // Gone between choosing and scanning: not an error, nothing found, and
    // the count tells it apart from an empty folder.
    dir1.SetPath(tree.Path("vanished"));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("0 (could not read)"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("0"));
    QCOMPARE(Pane(window, "txtFiles").Text(), QString());
}

void MainWindowTest::abortDuringScan() {
    TempTree tree;
    BuildWideTree(tree, 10, 20);
    frmMain window(tree.Root());
    window.show();
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("200"));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("10"));

    // The first yield comes after the first file of the first folder; Abort
    // there finishes that entry and completes the open folder on the way out.
    auto& abort = Control<QPushButton>(window, "cmdAbort");
    bool clicked = false;
    AtNextYield([&] {
        QVERIFY(abort.isEnabled());
        QTest::mouseClick(&abort, Qt::LeftButton);
        clicked = true;
        QVERIFY(!abort.isEnabled());
    });
    window.Dir1_Change();
    QVERIFY(clicked);
    QVERIFY(!abort.isEnabled());
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("1"));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("1"));
    QCOMPARE(Pane(window, "txtFiles").LineCount(), qsizetype(1));
    QCOMPARE(Pane(window, "txtFolders").LineCount(), qsizetype(1));
    QCOMPARE(Pane(window, "txtFilesFound").LineCount(), qsizetype(1));
    QCOMPARE(Pane(window, "txtFoldersFound").LineCount(), qsizetype(1));
    const QString folder = Pane(window, "txtFolders").Line(0);
    QVERIFY(Pane(window, "txtFiles").Line(0).startsWith(Q(tree.Root()) + "/" + folder + "/file"));
}

void MainWindowTest::folderChangeDuringScan() {
    TempTree wide;
    BuildWideTree(wide, 10, 20);
    TempTree example;
    BuildWorkedExample(example);
    frmMain window(wide.Root());
    auto& dir1 = Control<FolderList>(window, "Dir1");

    // The first scan is interrupted by the change, inside the load.
    int changes = 0;
    AtNextYield([&] {
        ++changes;
        dir1.SetPath(example.Root());
        // The running walk is asked to stop; the new pass starts after it.
        QVERIFY(window.IsScanning());
    });
    window.show();
    QCOMPARE(changes, 1);
    VerifyWorkedExample(window, example.Root());
    QCOMPARE(window.Scanner()->FolderCount(), 2);

    // And once more from a visible window, with two changes in one yield:
    // only the newest folder is scanned and shown.
    dir1.SetPath(wide.Root());
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("200"));
    AtNextYield([&] {
        dir1.SetPath(wide.Path("f03"));
        dir1.SetPath(example.Root());
    });
    dir1.SetPath(wide.Path("f05"));
    VerifyWorkedExample(window, example.Root());
}

void MainWindowTest::folderChangeAfterWalk() {
    // A change that lands in the yields between the counts and the list
    // panes: the pass that is filling the panes stops, the new one fills them.
    TempTree small;
    small.File("only.txt");
    TempTree example;
    BuildWorkedExample(example);
    frmMain window(small.Root());
    window.show();
    auto& dir1 = Control<FolderList>(window, "Dir1");
    AtNextYield([&] { AtNextYield([&] { dir1.SetPath(example.Root()); }); });
    window.Dir1_Change();
    VerifyWorkedExample(window, example.Root());
}

void MainWindowTest::closeDuringScan() {
    TempTree tree;
    BuildWideTree(tree, 10, 20);
    frmMain window(tree.Root());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    bool closedInScan = false;
    QTimer::singleShot(0, [&] {
        AtNextYield([&] {
            closedInScan = window.IsScanning();
            window.close();
        });
        window.Dir1_Change();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(ExecWithFailsafe(), 0);
    QVERIFY(closedInScan);
    QVERIFY(elapsed.elapsed() < 10000);
    QVERIFY(!window.isVisible());
    QVERIFY(!window.IsScanning());
    // The aborted pass showed nothing of its partial walk.
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("200"));
    QCOMPARE(Pane(window, "txtFiles").Text(), QString());
    QVERIFY(window.Scanner()->FileCount() < 200);
}

void MainWindowTest::errorLeavingHandler_data() {
    QTest::addColumn<bool>("overflow");
    QTest::newRow("counter overflow") << true;
    QTest::newRow("any other exception") << false;
}

void MainWindowTest::errorLeavingHandler() {
    QFETCH(bool, overflow);
    TempTree tree;
    BuildWorkedExample(tree);
    TempTree other;
    other.Folder("bad");
    const std::string bad = other.Path("bad");
    auto reader = std::make_shared<FaultyReader>();
    reader->ThrowWhenListed(bad + "/", [overflow] {
        if (overflow) throw OverflowError("counter overflow");
        throw std::runtime_error("disk on fire\nsecond line");
    });
    frmMain window(tree.Root(), reader);
    window.show();
    auto& dir1 = Control<FolderList>(window, "Dir1");
    {
        StderrCapture capture;
        dir1.SetPath(bad);
        const std::string text = capture.Text();
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), std::ptrdiff_t(1));
        QVERIFY(text.find("Dir1_Change") != std::string::npos);
        QVERIFY(text.find(overflow ? "counter overflow" : "disk on fire second line") !=
                std::string::npos);
    }
    QVERIFY(!Control<QPushButton>(window, "cmdAbort").isEnabled());
    QVERIFY(!window.IsScanning());
    QCOMPARE(LabelText(window, "lblPath"), Q(bad));
    // Both counts say that the scan failed, and why.
    const QString why = QStringLiteral("The scan failed:\n") +
                        (overflow ? "counter overflow" : "disk on fire second line");
    for (const char* name : {"lblFolderCount", "lblFileCount"}) {
        const QLabel& count = Control<QLabel>(window, name);
        QCOMPARE(count.text(), QStringLiteral("Scan failed"));
        QCOMPARE(count.toolTip(), why);
        QCOMPARE(count.accessibleDescription(), why);
    }

    // Still usable: the next folder is scanned as usual.
    dir1.SetPath(tree.Root());
    VerifyWorkedExample(window, tree.Root());
    QCOMPARE(Control<QLabel>(window, "lblFileCount").toolTip(), QString());

    // A pass that fails after a newer folder change (its folder count
    // overflows as it unwinds from the abort) gives way to the newer folder.
    TempTree nested;
    nested.Folder("x");
    nested.File("x/f");
    AtNextYield([&] {
        DirwalkTestAccess::SetFolderCount(*window.Scanner(), kCounterMax);
        dir1.SetPath(tree.Root());
    });
    StderrCapture capture;
    dir1.SetPath(nested.Root());
    QCOMPARE(capture.Text(), std::string());
    VerifyWorkedExample(window, tree.Root());
    QCOMPARE(Control<QLabel>(window, "lblFolderCount").accessibleDescription(), QString());
}

void MainWindowTest::controlCharactersInNames() {
    TempTree tree;
    tree.File("line\nbreak");
    tree.File("tab\there");
    tree.File("cr\rbell\a");
    tree.File("bad\xff.txt");
    tree.File("rl\xE2\x80\xAEtxt.exe");
    frmMain window(tree.Root());
    window.show();

    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("5"));
    QCOMPARE(Pane(window, "txtFiles").LineCount(), qsizetype(5));
    QCOMPARE(Pane(window, "txtFilesFound").LineCount(), qsizetype(5));
    const QString r = Q(tree.Root());
    QStringList shown;
    for (int i = 0; i < 5; ++i) {
        const QString line = Pane(window, "txtFilesFound").Line(i);
        const QStringList pieces = line.split('\t');
        QCOMPARE(pieces.size(), 3);
        QCOMPARE(pieces[1], QString());
        QCOMPARE(pieces[2], r + "/");
        shown << pieces[0].mid(pieces[0].indexOf(")-") + 2);
        QCOMPARE(Pane(window, "txtFiles").Line(i), r + "/" + shown.back());
    }
    shown.sort();
    QCOMPARE(shown, (QStringList{"bad\\xFF.txt", "cr\\rbell\\x07", "line\\nbreak",
                                 "rl\\u202Etxt.exe", "tab\\there"}));

    // The scanner's own list keeps the bytes.
    std::vector<std::string> files;
    window.Scanner()->Files()->ForEach(
        [&files](std::string_view item) { files.emplace_back(item); });
    std::sort(files.begin(), files.end());
    QCOMPARE(files, (std::vector<std::string>{
                        tree.Path("bad\xff.txt"), tree.Path("cr\rbell\a"), tree.Path("line\nbreak"),
                        tree.Path("rl\xE2\x80\xAEtxt.exe"), tree.Path("tab\there")}));
}

QTEST_MAIN(MainWindowTest)
void MainWindowTest::longListFilledWholeAndInOrder() {
    // Long enough for the list pane to span many of its groups of lines.
    TempTree tree;
    BuildWideTree(tree, 3, 10000);
    frmMain window(tree.Root());
    window.show();
    QString expected;
    window.Scanner()->Files()->ForEach([&expected](std::string_view item) {
        expected += QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())) + '\n';
    });
    QCOMPARE(Pane(window, "txtFiles").LineCount(), qsizetype(30000));
    QCOMPARE(Pane(window, "txtFiles").Text(), expected);
    QCOMPARE(Pane(window, "txtFiles").Line(15000), expected.section('\n', 15000, 15000));
}

#include "tst_mainwindow.moc"
