// Start-up: the command line taken as one text, the "-st" switch and its
// near misses, and the order of loading, showing and minimising.

#include <QDir>
#include <QtTest>

#include "WindowTestSupport.h"
#include "mdlMain.h"
#include "mdlModes.h"

using namespace quorvel;
using namespace quorvel::testing;

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
    void cleanup() { UnloadMainWindow(); }

    void commandLineText_data();
    void commandLineText();
    void startMinimised_data();
    void startMinimised();
    void loadsBeforeShowing();
    void oneWindowPerProcess();

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

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
