// SPDX-License-Identifier: MIT
// The text pane: append semantics and character positions over UTF-8 storage,
// the rich-text-box operations, user selection and copying (through the pane,
// and through its control without a window), the deferred view update, a
// million lines, what assistive technology reads, and a pane that shows a
// line source instead of holding its text.

#include <QAccessible>
#include <QClipboard>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

#include "TextPane.h"
#include "TextPaneSourceRows.h"

using quorvel::TextPane;
using quorvel::TextPaneControl;

namespace {

// Counts paints of the pane's viewport.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// What a view hears from the control it shows.
class RecordingView : public TextPaneControl::View {
  public:
    int selectionChanges = 0;
    QList<qsizetype> shown;
    int scrolled = 0;
    void SelectionChanged() override { ++selectionChanges; }
    void ShowPosition(qsizetype position) override { shown << position; }
    int PageRows() const override { return 2; }
    void ScrollRows(int rows) override { scrolled += rows; }
};

// A text that mixes ASCII rows with rows of two- and three-byte characters and
// rows long enough to put characters across the store's 64 KiB block edges.
QString MixedText() {
    QString text;
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 0)
            text += QStringLiteral("plain %1\n").arg(i);
        else if (i % 3 == 1)
            text += QStringLiteral("d\u00e9j\u00e0 \u20ac%1\t\u00fc\n").arg(i);
        else
            text += QString(i * 3, QChar(u'\u20ac')) + QLatin1Char('\n');
    }
    return text + QStringLiteral("tail");
}

// Lines held as strings, of which the first `count` are the source's.
class VectorSource : public quorvel::textpane::TextPaneSource {
  public:
    std::vector<std::string> lines;
    std::size_t count = 0;
    std::size_t LineCount() const override { return count; }
    void AppendLine(std::size_t line, std::string& out) const override { out += lines[line]; }
    void MeasureLines(std::size_t first, std::span<LineSize> sizes) const override {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string& line = lines[first + i];
            sizes[i] = {line.size(),
                        static_cast<std::uint64_t>(QString::fromStdString(line).size())};
        }
    }
};

}  // namespace

class TstTextPane : public QObject {
    Q_OBJECT
  private slots:
    void appendAddsAtEndAndLeavesInsertionPointAfterIt();
    void linesSplitAtEveryNewline();
    void illFormedUtf8ShowsReplacementCharacters();
    void positionsMatchQStringOverMixedText();
    void setSelTextReplacesInMiddleAndAppendsAtEnd();
    void editsMatchAStringModel();
    void selectionIsClampedLikeARichTextBox();
    void clearAndSetText();
    void selectAllAndCopyPutsExactTextOnClipboard();
    void keyboardMovesAndSelects();
    void mouseSelectsCharactersWordsAndExtends();
    void controlWorksWithoutAWindow();
    void paintsBaseBackgroundAndHighlightedSelection();
    void appendOnlySchedulesRepaintAndFollowsTail();
    void millionLines();
    void accessibilityReadsTextLinesAndSelection();
    void sourcePaneShowsWhatAppendsWould();
};

void TstTextPane::appendAddsAtEndAndLeavesInsertionPointAfterIt() {
    TextPane pane;
    pane.Append(std::string_view("alpha\n"));
    pane.SetSelStart(2);
    pane.SetSelLength(2);
    pane.Append(QStringLiteral("beta\n"));
    QCOMPARE(pane.Text(), QStringLiteral("alpha\nbeta\n"));
    QCOMPARE(pane.SelStart(), 11);
    QCOMPARE(pane.SelLength(), 0);
    pane.Append(std::string_view("gam"));
    pane.Append(std::string_view(""));
    pane.Append(std::string_view("ma"));
    QCOMPARE(pane.Text(), QStringLiteral("alpha\nbeta\ngamma"));
    QCOMPARE(pane.SelStart(), 16);
    QCOMPARE(pane.LineCount(), 3);
    QCOMPARE(pane.Line(2), QStringLiteral("gamma"));
}

void TstTextPane::linesSplitAtEveryNewline() {
    TextPane pane;
    QCOMPARE(pane.LineCount(), 0);
    pane.Append(std::string_view("\n"));
    QCOMPARE(pane.LineCount(), 1);
    QCOMPARE(pane.Line(0), QString());
    pane.Append(std::string_view("a\tb\r\n\nc\nd"));
    QCOMPARE(pane.LineCount(), 5);
    const QStringList expected{"", "a\tb\r", "", "c", "d"};
    for (int i = 0; i < 5; ++i) QCOMPARE(pane.Line(i), expected[i]);
    QCOMPARE(pane.Line(5), QString());
    QCOMPARE(pane.Line(-1), QString());
    pane.Append(std::string_view("\n"));
    QCOMPARE(pane.LineCount(), 5);  // a final '\n' opens no line
    QCOMPARE(pane.Text(), QStringLiteral("\na\tb\r\n\nc\nd\n"));
}

void TstTextPane::illFormedUtf8ShowsReplacementCharacters() {
    const QChar bad(QChar::ReplacementCharacter);
    struct Case {
        const char* bytes;
        QString shown;
    } cases[] = {
        {"a\xff"
         "b",
         QString("a") + bad + "b"},
        {"\xe2\x82", QString(bad)},             // truncated three-byte sequence
        {"\xc0\xaf", QString(2, bad)},          // overlong
        {"\xed\xa0\x80", QString(3, bad)},      // encoded surrogate
        {"\xf4\x90\x80\x80", QString(4, bad)},  // beyond U+10FFFF
        {"\xc3\xa9\xf0\x9f\x98\x80", QString::fromUtf8("\xc3\xa9\xf0\x9f\x98\x80")},
        {"\xef\xbb\xbfX", QString(QChar(0xFEFF)) + "X"},  // a BOM is text, not dropped
        {"x\xe2\n\xa9y", QString("x") + bad + "\n" + bad + "y"},
    };
    for (const Case& c : cases) {
        TextPane pane;
        pane.Append(std::string_view(c.bytes));
        QCOMPARE(pane.Text(), c.shown);
        QCOMPARE(pane.Length(), c.shown.size());
        QCOMPARE(pane.SelStart(), c.shown.size());
        pane.Append(std::string_view("!"));
        QCOMPARE(pane.TextRange(pane.Length() - 1, pane.Length()), QStringLiteral("!"));
    }
}

void TstTextPane::positionsMatchQStringOverMixedText() {
    const QString text = MixedText();
    TextPane pane;
    const QByteArray utf8 = text.toUtf8();
    // Appended in uneven pieces cut at character boundaries.
    for (qsizetype at = 0, step = 1; at < text.size(); at += step, step = step % 97 + 13)
        pane.Append(text.mid(at, step));
    QCOMPARE(pane.Text(), text);
    QCOMPARE(pane.Length(), text.size());
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(pane.LineCount(), lines.size());
    for (int i = 0; i < lines.size(); ++i) QCOMPARE(pane.Line(i), lines[i]);
    for (qsizetype begin = 0; begin < text.size(); begin += 211) {
        for (qsizetype length : {0, 1, 7, 300, 5000}) {
            pane.SetSelStart(begin);
            pane.SetSelLength(length);
            QCOMPARE(pane.SelText(), text.mid(begin, length));
        }
        const auto [lineBegin, lineEnd] = pane.LineBounds(begin);
        const qsizetype previous = begin == 0 ? -1 : text.lastIndexOf(QLatin1Char('\n'), begin - 1);
        QCOMPARE(previous + 1, lineBegin);
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), begin);
        QCOMPARE(newline < 0 ? text.size() : newline, lineEnd);
    }
}

void TstTextPane::setSelTextReplacesInMiddleAndAppendsAtEnd() {
    TextPane pane;
    pane.SetText(QStringLiteral("one\ntwo\nthr\u00e9e\n"));
    pane.SetSelStart(4);
    pane.SetSelLength(3);
    QCOMPARE(pane.SelText(), QStringLiteral("two"));
    pane.SetSelText(QStringLiteral("2\n2b"));
    QCOMPARE(pane.Text(), QStringLiteral("one\n2\n2b\nthr\u00e9e\n"));
    QCOMPARE(pane.SelStart(), 8);
    QCOMPARE(pane.SelLength(), 0);
    QCOMPARE(pane.LineCount(), 4);
    QCOMPARE(pane.Line(3), QStringLiteral("thr\u00e9e"));

    pane.SetSelStart(pane.Length());
    pane.SetSelText(QStringLiteral("four\n"));
    QCOMPARE(pane.Text(), QStringLiteral("one\n2\n2b\nthr\u00e9e\nfour\n"));
    QCOMPARE(pane.SelStart(), pane.Length());

    pane.SetSelStart(9);  // through the end: "thrée\nfour\n"
    pane.SetSelLength(100);
    pane.SetSelText(QString());
    QCOMPARE(pane.Text(), QStringLiteral("one\n2\n2b\n"));
    QCOMPARE(pane.LineCount(), 3);
    pane.SetSelStart(0);
    pane.SetSelText(QStringLiteral("\u20ac"));
    QCOMPARE(pane.Text(), QStringLiteral("\u20acone\n2\n2b\n"));
    QCOMPARE(pane.SelStart(), 1);
}

void TstTextPane::editsMatchAStringModel() {
    // Replacements anywhere, including across the row groups and storage
    // blocks that hold the position index, against a plain QString.
    QString model = MixedText();
    TextPane pane;
    pane.Append(model);
    QRandomGenerator random(20240607);
    const QString pieces[] = {"", "x", "\n", "\u00e9\n\u20ac", "new line\nand more\n"};
    for (int step = 0; step < 150; ++step) {
        const auto start = static_cast<qsizetype>(random.bounded(model.size() + 1));
        const auto length = static_cast<qsizetype>(random.bounded(step % 5 == 0 ? 40000 : 30));
        const QString& piece = pieces[step % 5];
        pane.SetSelStart(start);
        pane.SetSelLength(length);
        const qsizetype kept = std::min(length, model.size() - start);
        QCOMPARE(pane.SelText(), model.mid(start, kept));
        pane.SetSelText(piece);
        model.replace(start, kept, piece);
        QCOMPARE(pane.SelStart(), start + piece.size());
        QCOMPARE(pane.Length(), model.size());
        QCOMPARE(pane.LineCount(), model.count(QLatin1Char('\n')) +
                                       (model.endsWith('\n') || model.isEmpty() ? 0 : 1));
    }
    QCOMPARE(pane.Text(), model);
    const QStringList lines = model.split(QLatin1Char('\n'));
    for (int i = 0; i < pane.LineCount(); ++i) QCOMPARE(pane.Line(i), lines[i]);
}

void TstTextPane::selectionIsClampedLikeARichTextBox() {
    TextPane pane;
    pane.SetText(QStringLiteral("hello"));
    pane.SetSelStart(1);
    pane.SetSelLength(3);
    pane.SetSelStart(2);  // setting the start empties the selection
    QCOMPARE(pane.SelLength(), 0);
    pane.SetSelStart(99);
    QCOMPARE(pane.SelStart(), 5);
    pane.SetSelStart(-4);
    QCOMPARE(pane.SelStart(), 0);
    pane.SetSelStart(3);
    pane.SetSelLength(99);
    QCOMPARE(pane.SelLength(), 2);
    pane.SetSelLength(-1);
    QCOMPARE(pane.SelLength(), 0);
}

void TstTextPane::clearAndSetText() {
    TextPane pane;
    for (int i = 0; i < 20000; ++i) pane.Append(std::string_view("some line of text\n"));
    const std::size_t full = pane.MemoryBytes();
    pane.Clear();
    QCOMPARE(pane.Text(), QString());
    QCOMPARE(pane.LineCount(), 0);
    QCOMPARE(pane.Length(), 0);
    QCOMPARE(pane.SelStart(), 0);
    QVERIFY(pane.MemoryBytes() < full / 10);
    pane.SetText(QStringLiteral("x\ny"));
    QCOMPARE(pane.SelStart(), 0);
    QCOMPARE(pane.LineCount(), 2);
    pane.SetText({});
    QCOMPARE(pane.Text(), QString());
    QCOMPARE(pane.LineCount(), 0);
}

void TstTextPane::selectAllAndCopyPutsExactTextOnClipboard() {
    TextPane pane;
    const QString text = QStringLiteral("1)-a.txt\t\t/tmp/\n2)-b\u00e9.txt\tsub/\t/tmp/sub/\n");
    pane.Append(text);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);  // nothing selected: nothing copied
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(pane.SelStart(), 0);
    QCOMPARE(pane.SelLength(), text.size());
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
}

void TstTextPane::keyboardMovesAndSelects() {
    TextPane pane;
    pane.resize(300, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.SetText(QStringLiteral("abc\ndefg\nhi"));
    auto key = [&pane](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&pane, k, m);
    };
    key(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(pane.SelStart(), 11);
    key(Qt::Key_Home, Qt::ControlModifier);
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(pane.SelText(), QStringLiteral("ab"));
    key(Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(pane.SelText(), QStringLiteral("abc\nde"));
    key(Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(pane.SelText(), QStringLiteral("abc\ndefg"));
    key(Qt::Key_Right, Qt::ShiftModifier);  // across the line end
    QCOMPARE(pane.SelText(), QStringLiteral("abc\ndefg\n"));
    key(Qt::Key_Left);  // collapses to the selection's start
    QCOMPARE(pane.SelStart(), 0);
    QCOMPARE(pane.SelLength(), 0);
    key(Qt::Key_Down);
    key(Qt::Key_End);
    key(Qt::Key_Down);  // "hi" is shorter: the end of it
    QCOMPARE(pane.SelStart(), 11);
    key(Qt::Key_Up);  // and back to the column it came from
    QCOMPARE(pane.SelStart(), 8);
    key(Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(pane.SelStart(), 0);
    QCOMPARE(pane.SelText(), QStringLiteral("abc\ndefg"));
    QCOMPARE(pane.CaretPosition(), 0);
    key(Qt::Key_PageDown, Qt::ShiftModifier);
    QCOMPARE(pane.SelText(),
             QStringLiteral("\nhi"));  // past the last page: the end; anchor kept at 8
}

void TstTextPane::mouseSelectsCharactersWordsAndExtends() {
    TextPane pane;
    pane.resize(400, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.SetText(QStringLiteral("first line\nsecond_word here\n"));
    QWidget* view = pane.viewport();
    auto at = [&pane](qsizetype position) {
        return pane.PositionRect(position).center() -
               QPoint(pane.PositionRect(position).width() / 2, 0);
    };
    QTest::mousePress(view, Qt::LeftButton, {}, at(2));
    QTest::mouseMove(view, at(14));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(14));
    QCOMPARE(pane.SelText(), QStringLiteral("rst line\nsec"));
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, at(6));
    QCOMPARE(pane.SelText(), QStringLiteral("rst "));
    QTest::mouseDClick(view, Qt::LeftButton, {}, at(15));
    QCOMPARE(pane.SelText(), QStringLiteral("second_word"));
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(5, view->height() - 2));  // below the text
    QCOMPARE(pane.SelStart(), pane.Length());
}

void TstTextPane::controlWorksWithoutAWindow() {
    TextPaneControl control;
    const auto key = [&control](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return control.HandleKey(QKeyEvent(QEvent::KeyPress, k, m));
    };
    // Ctrl+arrows stop where the words that a double click selects begin:
    // runs of word characters, of blanks, of other characters.
    control.Append(std::string_view("path/to  some_file.txt"));
    QVERIFY(key(Qt::Key_Home));
    QList<qsizetype> stops;
    for (int i = 0; i < 7; ++i) {
        QVERIFY(key(Qt::Key_Right, Qt::ControlModifier));
        stops << control.CaretPosition();
    }
    QCOMPARE(stops, (QList<qsizetype>{4, 5, 9, 18, 19, 22, 22}));
    stops.clear();
    for (int i = 0; i < 7; ++i) {
        key(Qt::Key_Left, Qt::ControlModifier);
        stops << control.CaretPosition();
    }
    QCOMPARE(stops, (QList<qsizetype>{19, 18, 9, 5, 4, 0, 0}));
    QCOMPARE(control.WordBounds(7), (std::pair<qsizetype, qsizetype>{7, 9}));
    QVERIFY(!key(Qt::Key_X));  // not the control's: a view passes it on

    // Drags extend by the unit the clicks selected; dragging back before it
    // keeps it selected. The view hears of every move.
    RecordingView view;
    control.SetView(&view);
    control.Clear();
    control.Append(std::string_view("alpha beta\ngamma_1 delta\nepsilon\nzeta\n"));
    control.DoubleClick(14);
    QCOMPARE(control.SelText(), QStringLiteral("gamma_1"));
    control.DragTo(21);
    QCOMPARE(control.SelText(), QStringLiteral("gamma_1 delta"));
    control.DragTo(2);
    QCOMPARE(control.SelText(), QStringLiteral("alpha beta\ngamma_1"));
    QCOMPARE(control.CaretPosition(), 0);
    QVERIFY(control.Release());
    QVERIFY(!control.Release());
    control.TripleClick(27);
    QCOMPARE(control.SelText(), QStringLiteral("epsilon\n"));
    control.DragTo(35);
    QCOMPARE(control.SelText(), QStringLiteral("epsilon\nzeta\n"));
    QCOMPARE(view.shown.last(), 38);
    control.Press(32, true);  // Shift+click keeps the anchor
    QCOMPARE(control.SelText(), QStringLiteral("epsilon"));
    QVERIFY(view.selectionChanges >= 6);
    // A page is as many rows as the view holds, and the view scrolls along.
    key(Qt::Key_Home, Qt::ControlModifier);
    key(Qt::Key_PageDown);
    QCOMPARE(control.CaretPosition(), 25);
    QCOMPARE(view.scrolled, 2);
}

void TstTextPane::paintsBaseBackgroundAndHighlightedSelection() {
    QWidget host;
    QLineEdit other(&host);  // holds the focus first
    TextPane pane(&host);
    QPalette palette = pane.palette();
    const QColor base(250, 240, 200);
    const QColor highlight(10, 20, 200);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Highlight, highlight);
    pane.setPalette(palette);
    pane.setGeometry(0, 30, 300, 120);
    host.resize(300, 150);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    other.setFocus();
    auto count = [&pane](QColor colour) {
        const QImage image = pane.viewport()->grab().toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == colour;
        return n;
    };
    pane.Append(std::string_view("tab\there\x01 bell\nsecond\n\n"));
    QCoreApplication::processEvents();
    QCOMPARE(count(highlight), 0);
    QVERIFY(count(base) > 300 * 100 / 2);
    pane.SelectAll();
    QVERIFY(count(highlight) > 100);
    pane.Clear();
    QCOMPARE(count(highlight), 0);
    pane.setFocus();  // an empty, focused pane shows its focus mark
    QVERIFY(count(highlight) > 100);
}

void TstTextPane::appendOnlySchedulesRepaintAndFollowsTail() {
    TextPane pane;
    pane.resize(200, 120);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QCoreApplication::processEvents();
    PaintCounter counter;
    pane.viewport()->installEventFilter(&counter);
    for (int i = 0; i < 1000; ++i) pane.Append(QStringLiteral("line %1\n").arg(i));
    QCOMPARE(counter.paints, 0);
    QTRY_VERIFY(counter.paints > 0);
    QScrollBar* vertical = pane.verticalScrollBar();
    QVERIFY(vertical->maximum() > 900);
    QCOMPARE(vertical->maximum(), 1000 - vertical->pageStep());
    QCOMPARE(vertical->value(), vertical->maximum());  // followed the appended lines
    vertical->setValue(10);                            // the user scrolls up: the view stays put
    pane.Append(std::string(300, 'w') + "\n");
    QCoreApplication::processEvents();
    QCOMPARE(vertical->value(), 10);
    QTRY_VERIFY(pane.horizontalScrollBar()->maximum() > 0);
}

void TstTextPane::millionLines() {
    TextPane pane;
    constexpr int kLines = 1'000'000;
    std::string line;
    qsizetype length = 0;
    for (int i = 0; i < kLines; ++i) {
        line = std::to_string(i) + ")-name\trel/path\t/full/path/to/entry\n";
        length += static_cast<qsizetype>(line.size());
        pane.Append(line);
    }
    QCOMPARE(pane.LineCount(), kLines);
    QCOMPARE(pane.Length(), length);
    QCOMPARE(pane.SelStart(), length);
    QCOMPARE(pane.Line(kLines - 1), QStringLiteral("999999)-name\trel/path\t/full/path/to/entry"));
    QCOMPARE(pane.Line(123456), QStringLiteral("123456)-name\trel/path\t/full/path/to/entry"));
    // The bytes of the text plus at most 16 bytes a line and one block of slack.
    QVERIFY2(pane.MemoryBytes() <= static_cast<std::size_t>(length) + 16u * kLines + 65536,
             QByteArray::number(qulonglong(pane.MemoryBytes())));
}

void TstTextPane::accessibilityReadsTextLinesAndSelection() {
    TextPane pane;
    pane.setAccessibleName(QStringLiteral("Files"));
    pane.resize(300, 150);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.Append(std::string_view("one\ntwo words\nthree\n"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&pane);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QVERIFY(iface->state().readOnly);
    QVERIFY(iface->state().multiLine);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Files"));
    QAccessibleTextInterface* text = iface->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 20);
    QCOMPARE(text->text(0, 20), pane.Text());
    QCOMPARE(text->cursorPosition(), 20);
    int start = 0;
    int end = 0;
    QCOMPARE(text->textAtOffset(6, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("two words\n"));
    QCOMPARE(start, 4);
    QCOMPARE(end, 14);
    QCOMPARE(text->textAfterOffset(6, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("three\n"));
    QCOMPARE(text->textBeforeOffset(6, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("one\n"));
    QCOMPARE(start, 0);
    QCOMPARE(text->textAtOffset(9, QAccessible::WordBoundary, &start, &end),
             QStringLiteral("words"));
    QCOMPARE(text->textAtOffset(20, QAccessible::LineBoundary, &start, &end), QString());
    pane.SetSelStart(4);
    pane.SetSelLength(3);
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(start, 4);
    QCOMPARE(end, 7);
    text->setSelection(0, 8, 13);
    QCOMPARE(pane.SelText(), QStringLiteral("words"));
    QCOMPARE(text->offsetAtPoint(pane.viewport()->mapToGlobal(pane.PositionRect(15).center())), 15);
}

// Random lines (ASCII, two-, three- and four-byte characters, tabs, empty and
// long lines) shown from a source, growing, and appended by hand to another
// pane: text, lines, positions, selection, keys, scroll ranges and what
// assistive technology reads must be the same; then an append by hand to
// the source's pane, which takes the text over.
void TstTextPane::sourcePaneShowsWhatAppendsWould() {
    const char* const pieces[] = {"a", "Zz ", "\t", "\u00e9", "\u20ac", "\U0001F600", "w_1", "."};
    auto source = std::make_shared<VectorSource>();
    QRandomGenerator rng(23);
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        const int length = i % 500 == 7 ? 3000 : static_cast<int>(rng.bounded(12));
        for (int k = 0; k < length; ++k) line += pieces[rng.bounded(8)];
        source->lines.push_back(line);
    }
    TextPane byHand;
    TextPane shown;
    for (TextPane* pane : {&byHand, &shown}) {
        pane->resize(300, 150);
        pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(pane));
    }
    const auto appendByHand = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) byHand.Append(source->lines[i] + "\n");
    };
    source->count = 1000;
    auto rows = std::make_unique<quorvel::textpane::TextPaneSourceRows>(source);
    rows->Extend(700);  // measured ahead, in two runs
    rows->ExtendToSource();
    shown.AppendSource(std::move(rows));
    appendByHand(0, 1000);
    source->count = 3000;
    shown.SourceGrew();
    appendByHand(1000, 3000);
    QCoreApplication::processEvents();

    const QString text = byHand.Text();
    QCOMPARE(shown.Text(), text);
    QCOMPARE(shown.Length(), byHand.Length());
    QCOMPARE(shown.LineCount(), 3000);
    QCOMPARE(shown.SelStart(), byHand.SelStart());
    QCOMPARE(shown.horizontalScrollBar()->maximum(), byHand.horizontalScrollBar()->maximum());
    QCOMPARE(shown.verticalScrollBar()->maximum(), byHand.verticalScrollBar()->maximum());
    QAccessibleTextInterface* shownText =
        QAccessible::queryAccessibleInterface(&shown)->textInterface();
    QAccessibleTextInterface* handText =
        QAccessible::queryAccessibleInterface(&byHand)->textInterface();
    QCOMPARE(shownText->characterCount(), handText->characterCount());
    for (int probe = 0; probe < 400; ++probe) {
        const auto at = static_cast<qsizetype>(rng.bounded(static_cast<quint32>(text.size() + 1)));
        const auto length = static_cast<qsizetype>(rng.bounded(200u));
        QCOMPARE(shown.TextRange(at, at + length), byHand.TextRange(at, at + length));
        QCOMPARE(shown.LineBounds(at), byHand.LineBounds(at));
        QCOMPARE(shown.WordBounds(at), byHand.WordBounds(at));
        QCOMPARE(shown.Line(probe * 7), byHand.Line(probe * 7));
        for (const auto boundary :
             {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::LineBoundary}) {
            int s1 = 0, e1 = 0, s2 = 0, e2 = 0;
            const int offset = static_cast<int>(at);
            QCOMPARE(shownText->textAtOffset(offset, boundary, &s1, &e1),
                     handText->textAtOffset(offset, boundary, &s2, &e2));
            QCOMPARE(std::pair(s1, e1), std::pair(s2, e2));
            QCOMPARE(shownText->textAfterOffset(offset, boundary, &s1, &e1),
                     handText->textAfterOffset(offset, boundary, &s2, &e2));
            QCOMPARE(std::pair(s1, e1), std::pair(s2, e2));
        }
        for (TextPane* pane : {&byHand, &shown}) pane->SetSelection(at, at + length);
        for (const auto key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_End, Qt::Key_PageDown}) {
            for (TextPane* pane : {&byHand, &shown}) QTest::keyClick(pane, key, Qt::ShiftModifier);
            QCOMPARE(shown.SelStart(), byHand.SelStart());
            QCOMPARE(shown.SelLength(), byHand.SelLength());
            QCOMPARE(shown.CaretPosition(), byHand.CaretPosition());
        }
        QCOMPARE(shown.SelText(), byHand.SelText());
    }

    // What assistive technology is told of an insertion: all of it, in
    // order, in pieces of the most one event carries (a pair kept whole).
    QString told;
    shown.Control().ForEachPiece(3, shown.Length(), 100, [&](qsizetype at, const QString& piece) {
        QCOMPARE(at, told.size() + 3);
        QVERIFY(piece.size() <= 101);
        told += piece;
    });
    QCOMPARE(told, text.mid(3));

    shown.Append(std::string_view("by hand"));
    byHand.Append(std::string_view("by hand"));
    QCOMPARE(shown.Text(), byHand.Text());
    source->lines.push_back("later");
    source->count = 3001;
    shown.SourceGrew();  // after the text it holds now
    QCOMPARE(shown.Text(), byHand.Text() + "later\n");
}

QTEST_MAIN(TstTextPane)
#include "tst_textpane.moc"
