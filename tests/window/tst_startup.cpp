// SPDX-License-Identifier: MIT
// Start-up: the command line taken as one text, the "-st" switch and its
// near misses, the order of loading, showing and minimising, and the folder
// the first scan runs on.

#include <QDir>
#include <QtTest>
#include <cerrno>

#include "FaultyReader.h"
#include "WindowTestSupport.h"
#include "mdlMain.h"
#include "mdlModes.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

// Sets (or, given a null value, unsets) an environment variable while it lives.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), saved_(qgetenv(name)) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    ~ScopedEnvironment() {
        if (wasSet_) {
            qputenv(name_, saved_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name_;
    bool wasSet_;
    QByteArray saved_;
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // Main's window starts in the current directory: make that small.
        tree_ = std::make_unique<TempTree>();
        BuildWorkedExample(*tree_);
        previousDirectory_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QString::fromStdString(tree_->Root())));
    }
    void cleanupTestCase() {
        UnloadMainWindow();
        QDir::setCurrent(previousDirectory_);
        tree_.reset();
    }
    void cleanup() {
        UnloadMainWindow();
        QDir::setCurrent(QString::fromStdString(tree_->Root()));
    }

    void commandLineText_data();
    void commandLineText();
    void startMinimised_data();
    void startMinimised();
    void loadsBeforeShowing();
    void oneWindowPerProcess();
    void startFolder_data();
    void startFolder();

  private:
    std::unique_ptr<TempTree> tree_;
    QString previousDirectory_;
};

void StartupTest::commandLineText_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("text");
    QTest::newRow("program only") << QStringList{"quorvel"} << QString();
    QTest::newRow("switch") << QStringList{"quorvel", "-st"} << "-st";
    QTest::newRow("two words") << QStringList{"quorvel", "-st", "x"} << "-st x";
    QTest::newRow("empty argument") << QStringList{"quorvel", ""} << QString();
    QTest::newRow("blank inside") << QStringList{"/usr/bin/quorvel", "a b", "c"} << "a b c";
}

void StartupTest::commandLineText() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, text);
    QCOMPARE(CommandLineText(arguments), text);
}

void StartupTest::startMinimised_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("minimised");
    QTest::newRow("-st") << "-st" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("capitals") << "-ST" << false;
    QTest::newRow("slash") << "/st" << false;
    QTest::newRow("more text") << "-st x" << false;
    QTest::newRow("leading blank") << " -st" << false;
    QTest::newRow("other") << "--help" << false;
}

void StartupTest::startMinimised() {
    QFETCH(QString, commandLine);
    QFETCH(bool, minimised);
    QCOMPARE(StartsMinimised(commandLine), minimised);

    Main(commandLine);
    frmMain& window = MainWindow();
    QVERIFY(window.IsLoaded());
    QVERIFY(window.isVisible());
    QCOMPARE(window.isMinimized(), minimised);
    QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
    QCOMPARE(LabelText(window, "lblTitle"), QStringLiteral("Quorvel"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("2"));
    QCOMPARE(ApplicationTitle(), QStringLiteral("Quorvel 1.0"));
}

void StartupTest::loadsBeforeShowing() {
    // The first scan runs inside the load, while the window is not yet
    // visible; "-st" minimises only after it has become visible.
    bool sawScan = false;
    AtNextYield([&] {
        frmMain& window = MainWindow();
        sawScan = window.IsScanning();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.isMinimized());
    });
    Main(QStringLiteral("-st"));
    QVERIFY(sawScan);
    QVERIFY(MainWindow().isVisible());
    QVERIFY(MainWindow().isMinimized());
}

void StartupTest::oneWindowPerProcess() {
    frmMain& first = MainWindow();
    QCOMPARE(&MainWindow(), &first);
    QVERIFY(!first.IsLoaded());  // created, not yet loaded
    Main(QString());
    QCOMPARE(&MainWindow(), &first);
    QCOMPARE(QString::fromStdString(Control<FolderList>(first, "Dir1").Path()),
             QDir::currentPath());
}

void StartupTest::startFolder_data() {
    QTest::addColumn<bool>("removed");  // else there but unreadable
    QTest::addColumn<QString>("pwd");   // "own" path, "relative", "unset"
    QTest::addColumn<bool>("inHome");
    QTest::newRow("removed, $PWD names it") << true << "own" << false;
    QTest::newRow("removed, $PWD unset") << true << "unset" << true;
    QTest::newRow("removed, $PWD relative") << true << "relative" << true;
    QTest::newRow("unreadable") << false << "own" << false;
}

void StartupTest::startFolder() {
    QFETCH(bool, removed);
    QFETCH(QString, pwd);
    QFETCH(bool, inHome);
    TempTree tree;
    tree.File("home/notes.txt");
    tree.Folder("home/docs");
    tree.Folder("was/here");
    const std::string here = tree.Path("was/here");
    const ScopedEnvironment home("HOME", QByteArray::fromStdString(tree.Path("home")));
    const ScopedEnvironment shell("PWD", pwd == "own"        ? QByteArray::fromStdString(here)
                                         : pwd == "relative" ? QByteArray("here")
                                                             : QByteArray());
    QVERIFY(QDir::setCurrent(Q(here)));
    auto reader = std::make_shared<FaultyReader>();
    if (removed) {
        QVERIFY(QDir().rmdir(Q(here)));
    } else {
        reader->FailOpen(here, EACCES);
    }
    frmMain window({}, reader);
    auto& dir1 = Control<FolderList>(window, "Dir1");
    // Checked before the load: its scan must never start anywhere else.
    QCOMPARE(dir1.Path(), inHome ? tree.Path("home") : here);
    window.show();
    if (inHome) {
        QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("1"));
        QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("1"));
        return;
    }
    QCOMPARE(LabelText(window, "lblPath"), Q(here));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("0 (could not read)"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("0"));
    // Its chain from "/" and nothing below it.
    QVERIFY(WaitForListing(dir1));
    const int row = dir1.currentIndex().row();
    QCOMPARE(dir1.model()->rowCount(), row + 1);
    QCOMPARE(row, int(QString::fromStdString(here).count('/')));
    QCOMPARE(dir1.ItemPath(row), here);

    // The way out is up the chain, as a user goes.
    dir1.setCurrentIndex(dir1.model()->index(row - 1, 0));
    QTest::keyClick(&dir1, Qt::Key_Return);
    QCOMPARE(dir1.Path(), tree.Path("was"));
    QCOMPARE(LabelText(window, "lblPath"), Q(tree.Path("was")));
    QVERIFY(WaitForListing(dir1));
    QCOMPARE(dir1.model()->rowCount(), removed ? row : row + 1);
    if (!removed) QCOMPARE(dir1.model()->index(row, 0).data().toString(), QStringLiteral("here"));
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
