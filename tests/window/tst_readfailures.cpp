// SPDX-License-Identifier: MIT
// Folders the walk could not read, as the window shows them: the folder count
// carries a mark, its tooltip and accessible description name each folder
// with the reason, and an unreadable chosen folder reads differently from an
// empty one. Faults come from FaultyReader (the tests run as root), plus one
// real permission case for a non-root run.

#include <unistd.h>

#include <sys/stat.h>
#include <QLabel>
#include <QTextDocument>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "FaultyReader.h"
#include "WindowTestSupport.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

QString Reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QLabel& FolderCount(const frmMain& window) {
    return Control<QLabel>(window, "lblFolderCount");
}

// The tooltip's folder lines sorted, after its heading: the walk meets them
// in the file system's order.
QStringList SortedAfterHeading(QStringList lines) {
    if (!lines.isEmpty()) std::sort(lines.begin() + 1, lines.end());
    return lines;
}

void VerifyNoMark(const frmMain& window, const QString& count) {
    QCOMPARE(FolderCount(window).text(), count);
    QCOMPARE(FolderCount(window).toolTip(), QString());
    QCOMPARE(FolderCount(window).accessibleDescription(), QString());
}

}  // namespace

class ReadFailuresTest : public QObject {
    Q_OBJECT

  private slots:
    void unreadableSubfoldersAreMarked();
    void unreadableRootIsNotEmpty();
    void partlyReadRoot();
    void longListIsCapped();
    void realPermissionDenied();
    void linksNotEnteredAreMarked();
};

void ReadFailuresTest::unreadableSubfoldersAreMarked() {
    TempTree tree;
    tree.File("a/one.txt");
    tree.File("a/two.txt");
    tree.File("b/hidden.txt");
    tree.File("c/z.txt");
    tree.File("c/d/hidden.txt");
    tree.File("e/hidden.txt");
    tree.File("<b>tag\n/hidden.txt");
    auto reader = std::make_shared<FaultyReader>();
    reader->FailOpen(tree.Path("b"), EACCES);
    reader->FailOpen(tree.Path("c/d"), ENOENT);
    reader->FailReadAfter(tree.Path("e"), 0, EIO);
    reader->FailOpen(tree.Path("<b>tag\n"), EACCES);
    TempTree clean;
    BuildWorkedExample(clean);

    frmMain window(clean.Root(), reader);
    window.show();
    VerifyNoMark(window, QStringLiteral("2"));

    Control<FolderList>(window, "Dir1").SetPath(tree.Root());
    // Every unreadable folder is still listed and counted; only what lies
    // inside it is missing.
    QCOMPARE(FolderCount(window).text(), QStringLiteral("6 (4 unreadable)"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("3"));
    QCOMPARE(Pane(window, "txtFolders").LineCount(), qsizetype(6));
    QCOMPARE(Pane(window, "txtFiles").LineCount(), qsizetype(3));

    const QString r = Q(tree.Root());
    const QStringList expected{
        QStringLiteral("Could not read 4 folders:"),
        r + "/<b>tag\\n/: " + Reason(EACCES),
        r + "/b/: " + Reason(EACCES),
        r + "/c/d/: " + Reason(ENOENT),
        r + "/e/: " + Reason(EIO),
    };
    const QString tip = FolderCount(window).toolTip();
    QCOMPARE(SortedAfterHeading(tip.split('\n')), expected);
    QCOMPARE(FolderCount(window).accessibleDescription(), tip);
    // A name that looks like markup must not turn the tooltip into rich text.
    QVERIFY(!Qt::mightBeRichText(tip));

    // A scan that reads everything takes the mark away again.
    Control<FolderList>(window, "Dir1").SetPath(tree.Path("a"));
    VerifyNoMark(window, QStringLiteral("0"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("2"));
}

void ReadFailuresTest::unreadableRootIsNotEmpty() {
    TempTree tree;
    tree.File("locked/inside.txt");
    tree.Folder("locked/sub");
    tree.Folder("empty");
    auto reader = std::make_shared<FaultyReader>();
    reader->FailOpen(tree.Path("locked"), EACCES);
    frmMain window(tree.Path("empty"), reader);
    window.show();

    // Empty: a plain 0.
    VerifyNoMark(window, QStringLiteral("0"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("0"));

    // Unreadable: the same empty panes, but the count says why.
    Control<FolderList>(window, "Dir1").SetPath(tree.Path("locked"));
    for (const char* pane : {"txtFoldersFound", "txtFilesFound", "txtFolders", "txtFiles"}) {
        QCOMPARE(Pane(window, pane).Text(), QString());
    }
    QCOMPARE(FolderCount(window).text(), QStringLiteral("0 (could not read)"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("0"));
    const QString tip = QStringLiteral("Could not read 1 folder:\n") + Q(tree.Path("locked")) +
                        "/: " + Reason(EACCES);
    QCOMPARE(FolderCount(window).toolTip(), tip);
    QCOMPARE(FolderCount(window).accessibleDescription(), tip);

    // A missing folder is unreadable too, with its own reason.
    Control<FolderList>(window, "Dir1").SetPath(tree.Path("gone"));
    QCOMPARE(FolderCount(window).text(), QStringLiteral("0 (could not read)"));
    QCOMPARE(FolderCount(window).toolTip(), QStringLiteral("Could not read 1 folder:\n") +
                                                Q(tree.Path("gone")) + "/: " + Reason(ENOENT));
}

void ReadFailuresTest::partlyReadRoot() {
    // The chosen folder fails part-way: what was read is shown, and the count
    // is marked as incomplete rather than as unreadable.
    TempTree tree;
    tree.File("p.txt");
    tree.File("q.txt");
    auto reader = std::make_shared<FaultyReader>();
    // ".", ".." and at least one of the files, in whatever order they come.
    reader->FailReadAfter(tree.Root(), 3, EIO);
    frmMain window(tree.Root(), reader);
    window.show();

    QCOMPARE(FolderCount(window).text(), QStringLiteral("0 (1 unreadable)"));
    const qsizetype files = Pane(window, "txtFiles").LineCount();
    QVERIFY(files == 1 || files == 2);
    QCOMPARE(LabelText(window, "lblFileCount"), QString::number(files));
    QCOMPARE(FolderCount(window).toolTip(),
             QStringLiteral("Could not read 1 folder:\n") + Q(tree.Root()) + "/: " + Reason(EIO));
}

void ReadFailuresTest::longListIsCapped() {
    TempTree tree;
    auto reader = std::make_shared<FaultyReader>();
    QStringList folderLines;
    for (int i = 0; i < 25; ++i) {
        const std::string name = "locked" + std::to_string(i);
        tree.File(name + "/inside.txt");
        reader->FailOpen(tree.Path(name), i % 2 ? EACCES : EIO);
    }
    frmMain window(tree.Root(), reader);
    window.show();

    QCOMPARE(FolderCount(window).text(), QStringLiteral("25 (25 unreadable)"));
    const QStringList lines = FolderCount(window).toolTip().split('\n');
    QCOMPARE(lines.size(), 22);
    QCOMPARE(lines.front(), QStringLiteral("Could not read 25 folders:"));
    QCOMPARE(lines.back(), QStringLiteral("and 5 more"));
    // The mark is read in place, not cut off by the label's fixed width.
    const QLabel& label = FolderCount(window);
    QVERIFY(label.fontMetrics().horizontalAdvance(label.text()) <= label.width());
    // The first twenty in the order the walk met them.
    const QStringList order = [&] {
        QStringList names;
        for (const std::string& n : ListedOrder(tree.Root())) names << Q(n);
        return names;
    }();
    for (int i = 0; i < 20; ++i) {
        const QString prefix = Q(tree.Root()) + "/" + order[i] + "/: ";
        QVERIFY2(lines[i + 1].startsWith(prefix), qPrintable(lines[i + 1]));
        const int n = order[i].mid(6).toInt();
        QCOMPARE(lines[i + 1].mid(prefix.size()), Reason(n % 2 ? EACCES : EIO));
    }
}

void ReadFailuresTest::realPermissionDenied() {
    if (::geteuid() == 0) QSKIP("root reads every folder");
    TempTree tree;
    tree.File("open/a.txt");
    tree.File("shut/b.txt");
    const std::string shut = tree.Path("shut");
    QVERIFY(::chmod(shut.c_str(), 0) == 0);
    frmMain window(tree.Root());
    window.show();
    ::chmod(shut.c_str(), 0755);

    QCOMPARE(FolderCount(window).text(), QStringLiteral("2 (1 unreadable)"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("1"));
    QCOMPARE(FolderCount(window).toolTip(),
             QStringLiteral("Could not read 1 folder:\n") + Q(shut) + "/: " + Reason(EACCES));
}

// Two links to one folder, and a link back to its parent: the folder is
// entered as itself and through the first link; the other links are listed
// but not entered, and counted with the unreadable folders.
void ReadFailuresTest::linksNotEnteredAreMarked() {
    TempTree tree;
    tree.File("docs/a.txt");
    tree.Link("docs/up", "..");
    tree.Link("l1", "docs");
    tree.Link("l2", "docs");
    tree.Folder("locked");
    auto reader = std::make_shared<FaultyReader>();
    reader->FailOpen(tree.Path("locked"), EACCES);
    frmMain window(tree.Root(), reader);
    window.show();

    const QLabel& label = FolderCount(window);
    QCOMPARE(label.text(), QStringLiteral("6 (4 not entered)"));
    // The widest count there can be keeps its numbers and drops the words.
    const QString widest = QStringLiteral("2147483647 (2147483647)");
    QVERIFY(label.fontMetrics().horizontalAdvance(widest) <= label.width());
    const QString r = Q(tree.Root()) + "/";
    const QString first = ListsBefore(tree.Root(), "l1", "l2") ? "l1/" : "l2/";
    const QString back = ": link back to " + r + ", which holds it";
    const QStringList tip{
        "Could not read 1 folder:",
        r + "locked/: " + Reason(EACCES),
        "Did not enter 3 links:",
        r + "docs/up/" + back,
        r + first + "up/" + back,
        r + (first == "l1/" ? "l2/" : "l1/") + ": link to the folder listed at " + r + first};
    QCOMPARE(SortedAfterHeading(label.toolTip().split('\n')), SortedAfterHeading(tip));
    QCOMPARE(label.accessibleDescription(), label.toolTip());
}

QTEST_MAIN(ReadFailuresTest)
#include "tst_readfailures.moc"
