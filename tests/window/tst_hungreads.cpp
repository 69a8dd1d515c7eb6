// SPDX-License-Identifier: MIT
// The window over a folder whose read never returns (a FUSE file system of
// the tests' own, FuseMount): it shows at start-up all the same, Abort ends
// the scan at once and marks the folder as not answered, a folder change and
// Dir1 go on working, and closing ends the process. Without FUSE the tests
// skip and say why.
//
// A window that waits in the file system never gives the test back its
// thread: each test runs under a watchdog that ends the process instead.

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include "FuseMount.h"
#include "WindowTestSupport.h"
#include "mdlMain.h"

using namespace quorvel;
using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

constexpr char kCloseWhileHung[] = "--close-while-hung";

class Watchdog {
  public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!stopped_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "tst_hungreads: the window waited in the file system\n");
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(mutex_);
            finished_ = true;
        }
        stopped_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool finished_ = false;
    std::thread thread_;
};

// Runs `check` every 10 ms of the event loop, which the walk's yields run.
class Poll {
  public:
    explicit Poll(std::function<void()> check) {
        QObject::connect(&timer_, &QTimer::timeout, std::move(check));
        timer_.start(10);
    }

  private:
    QTimer timer_;
};

bool WaitsFor(const frmMain& window, const std::string& folder) {
    const std::shared_ptr<clsDirwalk>& scanner = window.Scanner();
    const std::optional<ReadWait> wait = scanner ? scanner->WaitingForRead() : std::nullopt;
    return wait && wait->folder == folder;
}

QStringList ItemTexts(const FolderList& list) {
    QStringList texts;
    for (int i = 0; i < list.model()->rowCount(); ++i)
        texts << list.model()->index(i, 0).data().toString();
    return texts;
}

QString NotAnswered(const std::string& folder) {
    return QStringLiteral("1 folder did not answer:\n") + Q(folder) +
           QStringLiteral(": no answer before the scan was stopped");
}

// The child process of closeEndsTheProcess: the program's own start-up in
// the current folder, and a close as soon as the window shows.
int CloseWhileHung(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const Poll poll([] {
        frmMain& window = MainWindow();
        if (!window.isVisible() || !window.IsScanning()) return;
        std::printf("closing\n");
        std::fflush(stdout);
        window.close();
    });
    Main(QString());
    const int status = QApplication::exec();
    UnloadMainWindow();
    return status;
}

}  // namespace

class HungReadsTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { UnloadMainWindow(); }
    void startupShowsTheWindowWhenAReadHangs_data();
    void startupShowsTheWindowWhenAReadHangs();
    void abortFolderChangeAndDir1WhileAReadHangs();
    void closeEndsTheProcess();
};

void HungReadsTest::startupShowsTheWindowWhenAReadHangs_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("hangs");  // else every read slow, the scan longer than 3 s
    QTest::newRow("a read hangs") << QString() << true;
    QTest::newRow("a read hangs, -st") << QStringLiteral("-st") << true;
    QTest::newRow("long, but every read answers") << QString() << false;
}

void HungReadsTest::startupShowsTheWindowWhenAReadHangs() {
    QFETCH(QString, commandLine);
    QFETCH(bool, hangs);
    FuseMount fs;
    for (const char* file : {"a", "b/x", "c1/c2/c3/c4/f", "dead/y"}) fs.File(file);
    // A chain is read one folder after another, however many read ahead.
    hangs ? fs.HangListing("dead") : fs.Latency("", 800ms);
    if (!fs.Mount()) QSKIP(fs.WhyNotMounted().c_str());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Q(fs.Root())));
    const Watchdog watchdog(20s);
    QElapsedTimer started;
    started.start();
    qint64 shownAt = -1;
    bool scanning = false, abortEnabled = false, minimised = false;
    QString path;
    const Poll poll([&] {
        frmMain& window = MainWindow();
        if (shownAt >= 0 || !window.isVisible()) return;
        shownAt = started.elapsed();
        scanning = window.IsScanning();
        abortEnabled = Control<QPushButton>(window, "cmdAbort").isEnabled();
        minimised = window.isMinimized();
        path = LabelText(window, "lblPath");
        QTest::mouseClick(&Control<QPushButton>(window, "cmdAbort"), Qt::LeftButton);
    });
    Main(commandLine);
    const qint64 ended = started.elapsed();
    QDir::setCurrent(previous);
    const frmMain& window = MainWindow();
    QVERIFY(window.isVisible());
    QCOMPARE(window.isMinimized(), commandLine == "-st");
    const std::string r = fs.Root() + "/";
    if (!hangs) {
        // Shown once the first scan has ended, as ever.
        QCOMPARE(shownAt, qint64(-1));
        QVERIFY2(ended > 3000, qPrintable(QString::number(ended)));
        QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("6"));
        return;
    }
    QVERIFY2(shownAt >= 3000 && shownAt < 5000, qPrintable(QString::number(shownAt)));
    QVERIFY(scanning);
    QVERIFY(abortEnabled);
    QCOMPARE(minimised, commandLine == "-st");
    QCOMPARE(path, Q(fs.Root()));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("6 (1 not answered)"));
    QCOMPARE(Control<QLabel>(window, "lblFolderCount").toolTip(), NotAnswered(r + "dead/"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("3"));
}

void HungReadsTest::abortFolderChangeAndDir1WhileAReadHangs() {
    FuseMount fs;
    for (const char* file : {"a", "b/x", "dead/y", "z", "other/o"}) fs.File(file);
    fs.HangListing("dead");
    if (!fs.Mount()) QSKIP(fs.WhyNotMounted().c_str());
    const std::string r = fs.Root() + "/";
    TempTree empty;
    frmMain window(empty.Root());
    window.show();
    auto& dir1 = Control<FolderList>(window, "Dir1");
    auto& abort = Control<QPushButton>(window, "cmdAbort");
    const Watchdog watchdog(20s);

    // Abort while the walk waits for dead: the scan ends at once, with what
    // it had, dead marked.
    QElapsedTimer sinceClick;
    {
        const Poll poll([&] {
            if (sinceClick.isValid() || !WaitsFor(window, r + "dead/") ||
                !fs.WaitUntilHanging("dead", 0ms)) {
                return;
            }
            sinceClick.start();
            QTest::mouseClick(&abort, Qt::LeftButton);
        });
        dir1.SetPath(fs.Root());
    }
    const qint64 took = sinceClick.elapsed();
    QVERIFY(sinceClick.isValid());
    QVERIFY2(took < 50, qPrintable(QString::number(took)));
    QVERIFY(!window.IsScanning());
    QVERIFY(!abort.isEnabled());
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("2 (1 not answered)"));
    QCOMPARE(Control<QLabel>(window, "lblFolderCount").toolTip(), NotAnswered(r + "dead/"));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("2"));
    QCOMPARE(Pane(window, "txtFolders").Text(), QStringLiteral("b\ndead\n"));
    QCOMPARE(Pane(window, "txtFiles").Text(), Q(r + "a\n" + r + "b/x\n"));

    // Another folder opened while the walk waits for dead is scanned.
    {
        const Poll poll([&] {
            if (WaitsFor(window, r + "dead/")) dir1.SetPath(fs.Path("other"));
        });
        dir1.SetPath(empty.Root());
        dir1.SetPath(fs.Root());
    }
    QCOMPARE(LabelText(window, "lblPath"), Q(fs.Path("other")));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("0"));
    QCOMPARE(Pane(window, "txtFiles").Text(), Q(r + "other/o\n"));

    // Dir1 on dead itself: its chain at once, "reading…" below it for as
    // long as dead does not answer, and any other folder can be opened.
    QStringList shownWhileWaiting;
    {
        const Poll poll([&] {
            if (!shownWhileWaiting.isEmpty() || !WaitsFor(window, r + "dead/")) return;
            shownWhileWaiting = ItemTexts(dir1);
            QTest::mouseClick(&abort, Qt::LeftButton);
        });
        dir1.SetPath(fs.Path("dead"));
    }
    QCOMPARE(shownWhileWaiting.size(), dir1.currentIndex().row() + 2);
    QCOMPARE(shownWhileWaiting.back(), QStringLiteral("reading\u2026"));
    QCOMPARE(LabelText(window, "lblFolderCount"), QStringLiteral("0 (1 not answered)"));
    QVERIFY(dir1.IsListing());
    dir1.SetPath(fs.Path("other"));
    QVERIFY(WaitForListing(dir1));
    QCOMPARE(LabelText(window, "lblFileCount"), QStringLiteral("1"));
}

// The real start-up and end of the program, in a process of its own started
// in the folder above dead: closed once it shows, it ends within 1 s, its
// read of dead still hung.
void HungReadsTest::closeEndsTheProcess() {
    FuseMount fs;
    for (const char* file : {"a", "dead/y"}) fs.File(file);
    fs.HangListing("dead");
    if (!fs.Mount()) QSKIP(fs.WhyNotMounted().c_str());
    QProcess program;
    program.setWorkingDirectory(Q(fs.Root()));
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(), {kCloseWhileHung});
    QVERIFY(program.waitForStarted(5000));
    QElapsedTimer waited;
    waited.start();
    while (!program.canReadLine() && waited.elapsed() < 10000) program.waitForReadyRead(100);
    QCOMPARE(program.readLine(), QByteArray("closing\n"));
    QElapsedTimer sinceClose;
    sinceClose.start();
    const bool finished = program.waitForFinished(5000);
    const qint64 took = sinceClose.elapsed();
    if (!finished) program.kill();
    QVERIFY(finished);
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(fs.WaitUntilHanging("dead", 0ms));
}

int main(int argc, char* argv[]) {
    if (argc == 2 && std::string_view(argv[1]) == kCloseWhileHung)
        return CloseWhileHung(argc, argv);
    QApplication application(argc, argv);
    HungReadsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hungreads.moc"
