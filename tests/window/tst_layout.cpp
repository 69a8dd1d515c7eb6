// SPDX-License-Identifier: MIT
// The window's design: every control where the design puts it (positions in
// twips, 15 to a pixel), its design text, fonts, colours, initial values and
// tab order, and the fixed frame with a close box only.

#include <QAccessible>
#include <QFrame>
#include <QStyle>
#include <QtTest>

#include "WindowTestSupport.h"
#include "mdlModes.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

struct Design {
    const char* name;
    const char* kind;
    const char* text;  // null: no design text
    int left, top, width, height;
};

// Twips, relative to the client area (lblTitle: to picTitle).
const Design kDesign[] = {
    {"picTitle", "QFrame", nullptr, 120, 120, 9045, 375},
    {"lblTitle", "QLabel", "", 120, 60, 5835, 240},
    {"txtFiles", "quorvel::TextPane", nullptr, 90, 4740, 9015, 1230},
    {"txtFilesFound", "quorvel::TextPane", nullptr, 45, 7980, 9105, 1275},
    {"txtFoldersFound", "quorvel::TextPane", nullptr, 45, 6360, 9060, 1320},
    {"txtFolders", "quorvel::TextPane", nullptr, 90, 3210, 9105, 1185},
    {"chkmSubFolders", "quorvel::TwoStateCheckBox", "Include Sub Folders", 5805, 1770, 3480, 285},
    {"cmdAbort", "QPushButton", "Abort", 6930, 2130, 1095, 330},
    {"chkFullPath", "quorvel::TwoStateCheckBox", "Return full folder path", 5805, 1365, 3480, 285},
    {"chkEvents", "quorvel::TwoStateCheckBox", "Enable File/Folder Found Event", 5805, 870, 3480,
     285},
    {"Dir1", "quorvel::FolderList", nullptr, 135, 780, 5505, 1665},
    {"lblFileCount", "QLabel", "-", 990, 4515, 2715, 240},
    {"Label5", "QLabel", "Files Found:", 90, 4515, 915, 240},
    {"Label4", "QLabel", "File Found Event", 45, 7755, 6450, 240},
    {"lblFolderCount", "QLabel", "-", 1305, 2940, 2400, 240},
    {"Label3", "QLabel", "Folders Found:", 180, 2940, 1095, 240},
    {"Label2", "QLabel", "Folder Found Event", 45, 6045, 3120, 240},
    {"lblPath", "QLabel", "-", 1710, 2535, 8385, 240},
    {"Label1", "QLabel", "Selected Folder:", 135, 2535, 1545, 240},
};

QString DesignText(const QWidget& w) {
    if (auto* label = qobject_cast<const QLabel*>(&w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(&w)) return button->text();
    return {};
}

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        tree_ = std::make_unique<TempTree>();
        BuildWorkedExample(*tree_);
    }
    void cleanup() { tree_.reset(); }

    void controlsAsDesigned();
    void fontsAndColours();
    void initialCheckBoxes();
    void tabOrder();
    void fixedFrameWithCloseBoxOnly();
    void identityAfterLoad();
    void iconsAfterLoad();
    void titleColourWhateverTheDesign();

  private:
    std::unique_ptr<TempTree> tree_;
};

void LayoutTest::controlsAsDesigned() {
    frmMain window(tree_->Root());  // not shown: design state, before the load
    QCOMPARE(window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(),
             qsizetype(18));
    for (const Design& d : kDesign) {
        QWidget* w = window.findChild<QWidget*>(QString::fromLatin1(d.name));
        QVERIFY2(w, d.name);
        QCOMPARE(w->metaObject()->className(), d.kind);
        const QWidget* container =
            QByteArray(d.name) == "lblTitle" ? window.findChild<QWidget*>("picTitle") : &window;
        QCOMPARE(w->parentWidget(), container);
        QCOMPARE(w->geometry(), QRect(d.left / 15, d.top / 15, d.width / 15, d.height / 15));
        if (d.text) QCOMPARE(DesignText(*w), QString::fromLatin1(d.text));
        // A value label (lbl...) is read by what it shows, the rest by name.
        if (QByteArray(d.name).startsWith("lbl")) {
            QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name),
                     DesignText(*w));
        } else {
            QVERIFY2(!w->accessibleName().isEmpty(), d.name);
        }
    }
    // Each value's caption says what it is: a labelled-by relation.
    const std::pair<const char*, const char*> captions[] = {
        {"Label1", "lblPath"}, {"Label3", "lblFolderCount"}, {"Label5", "lblFileCount"}};
    for (const auto& [caption, value] : captions) {
        const auto by = QAccessible::queryAccessibleInterface(window.findChild<QWidget*>(value))
                            ->relations(QAccessible::Label);
        QVERIFY2(by.size() == 1 && by[0].first->object() == window.findChild<QObject*>(caption),
                 value);
    }
    QCOMPARE(window.findChild<QWidget*>("Dir1")->accessibleName(), QStringLiteral("Folder list"));
    QCOMPARE(window.findChild<QWidget*>("txtFolders")->accessibleName(),
             QStringLiteral("Folders found list"));
}

void LayoutTest::fontsAndColours() {
    frmMain window(tree_->Root());
    window.show();
    const QFont defaultFont = window.font();
    for (const Design& d : kDesign) {
        QWidget* w = window.findChild<QWidget*>(QString::fromLatin1(d.name));
        w->ensurePolished();
        const QFont f = w->font();
        const QByteArray name(d.name);
        if (name == "lblTitle") {
            QCOMPARE(f.family(), QStringLiteral("Tahoma"));
            QCOMPARE(f.pointSizeF(), 11.25);
            QCOMPARE(f.weight(), QFont::Normal);
        } else if (name == "lblPath" || name == "Label1") {
            QCOMPARE(f.family(), QStringLiteral("Arial"));
            QCOMPARE(f.pointSizeF(), 8.25);
            QCOMPARE(f.weight(), QFont::Bold);
        } else {
            QVERIFY2(f.family() == defaultFont.family(), d.name);
            QVERIFY2(f.pointSizeF() == defaultFont.pointSizeF(), d.name);
        }
    }
    auto& title = Control<QLabel>(window, "lblTitle");
    QCOMPARE(title.palette().color(title.foregroundRole()), QColor(Qt::white));
    QVERIFY(!title.autoFillBackground());
    QVERIFY(Control<QFrame>(window, "picTitle").autoFillBackground());
}

void LayoutTest::initialCheckBoxes() {
    frmMain window(tree_->Root());
    const std::pair<const char*, Qt::CheckState> expected[] = {{"chkEvents", Qt::Checked},
                                                               {"chkFullPath", Qt::Unchecked},
                                                               {"chkmSubFolders", Qt::Checked}};
    for (const auto& [name, state] : expected) {
        QCOMPARE(Control<QCheckBox>(window, name).checkState(), state);
    }

    // A click, the space bar or an accessibility client's toggle ticks a
    // clear box and clears a ticked or greyed one.
    window.show();
    auto& box = Control<QCheckBox>(window, "chkFullPath");
    QAccessibleActionInterface* actions =
        QAccessible::queryAccessibleInterface(&box)->actionInterface();
    const std::function<void()> inputs[] = {
        [&] { QTest::mouseClick(&box, Qt::LeftButton); },
        [&] { QTest::keyClick(&box, Qt::Key_Space); },
        [&] { actions->doAction(QAccessibleActionInterface::toggleAction()); }};
    for (const auto& input : inputs) {
        QList<Qt::CheckState> after;
        for (const auto before : {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked}) {
            box.setCheckState(before);
            input();
            after << box.checkState();
        }
        QCOMPARE(after, (QList<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Unchecked}));
    }
}

void LayoutTest::tabOrder() {
    frmMain window(tree_->Root());
    window.show();
    // The focus chain from Dir1 the way Tab walks it: only enabled widgets
    // that take focus by tab.
    const auto tabOrderFromDir1 = [&window] {
        QStringList order;
        QWidget* w = window.findChild<QWidget*>("Dir1");
        for (int step = 0; step < 64 && (order.isEmpty() || w->objectName() != "Dir1"); ++step) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(&window)) {
                order << w->objectName();
            }
            w = w->nextInFocusChain();
        }
        return order;
    };
    const QStringList panes{"txtFolders", "txtFoldersFound", "txtFilesFound", "txtFiles"};
    // Abort is disabled after the load, and then skipped.
    QCOMPARE(tabOrderFromDir1(),
             QStringList({"Dir1", "chkEvents", "chkFullPath", "chkmSubFolders"}) + panes);
    Control<QPushButton>(window, "cmdAbort").setEnabled(true);
    QCOMPARE(
        tabOrderFromDir1(),
        QStringList({"Dir1", "chkEvents", "chkFullPath", "cmdAbort", "chkmSubFolders"}) + panes);
    for (const char* label : {"Label1", "lblPath", "lblTitle", "lblFolderCount", "picTitle"}) {
        QCOMPARE(window.findChild<QWidget*>(label)->focusPolicy(), Qt::NoFocus);
    }
}

void LayoutTest::fixedFrameWithCloseBoxOnly() {
    frmMain window(tree_->Root());
    window.show();
    QCOMPARE(window.size(), QSize(9270 / 15, 9390 / 15));
    QCOMPARE(window.minimumSize(), QSize(618, 626));
    QCOMPARE(window.maximumSize(), QSize(618, 626));
    const Qt::WindowFlags flags = window.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    // Keeps its task bar entry: a tool window or a skip-taskbar hint would
    // leave a minimised window with no way back.
    QVERIFY(!flags.testFlag(Qt::Tool));
}

void LayoutTest::identityAfterLoad() {
    frmMain window(tree_->Root());
    QCOMPARE(window.windowTitle(), QStringLiteral("frmMain"));  // the design text
    QCOMPARE(LabelText(window, "lblTitle"), QString());
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
    QCOMPARE(window.windowHandle()->title(), QStringLiteral("Quorvel"));
    QCOMPARE(LabelText(window, "lblTitle"), QStringLiteral("Quorvel"));
    QAccessibleInterface* title =
        QAccessible::queryAccessibleInterface(window.findChild<QWidget*>("lblTitle"));
    QCOMPARE(title->text(QAccessible::Name), QStringLiteral("Quorvel"));
    QCOMPARE(title->text(QAccessible::Description), QStringLiteral("Title"));
    QCOMPARE(ApplicationTitle(), QStringLiteral("Quorvel 1.0"));
    QVERIFY(QGuiApplication::applicationDisplayName() == QStringLiteral("Quorvel") ||
            QGuiApplication::applicationDisplayName().isEmpty());
}

// The load gives the window, and the window that owns it, the program's icon
// at the big and small sizes the style asks for.
void LayoutTest::iconsAfterLoad() {
    QWidget owner;
    frmMain window(tree_->Root(), SystemDirectoryReader(), &owner);
    QVERIFY(window.windowIcon().availableSizes().isEmpty());
    window.show();
    const int big = window.style()->pixelMetric(QStyle::PM_LargeIconSize);
    const int small = window.style()->pixelMetric(QStyle::PM_SmallIconSize);
    for (const QWidget* w : {static_cast<QWidget*>(&window), &owner}) {
        const QList<QSize> sizes = w->windowIcon().availableSizes();
        QVERIFY2(sizes.contains(QSize(big, big)), w->metaObject()->className());
        QVERIFY2(sizes.contains(QSize(small, small)), w->metaObject()->className());
    }
}

void LayoutTest::titleColourWhateverTheDesign() {
    frmMain window(tree_->Root());
    auto& strip = Control<QFrame>(window, "picTitle");
    QCOMPARE(strip.palette().color(QPalette::Window), strip.palette().color(QPalette::Highlight));
    window.show();
    QCOMPARE(strip.palette().color(QPalette::Window), QColor(139, 155, 184));
    // And what is painted: the strip, with the title in white on it.
    const QImage image = strip.grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, 1), QColor(139, 155, 184));
    bool white = false;
    for (int x = 0; x < 120 && !white; ++x) {
        for (int y = 0; y < image.height() && !white; ++y)
            white = image.pixelColor(x, y) == Qt::white;
    }
    QVERIFY(white);
}

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
