#include "TextPane.h"

#include <QAccessible>
#include <QApplication>
#include <QByteArrayView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <utility>

#include "TextPaneAccessible.h"
#include "TextPaneUtf8.h"
#include "TextPaneWords.h"

namespace quorvel {
namespace {

constexpr int kMarginX = 3;
constexpr int kMarginY = 1;
constexpr int kAutoScrollMs = 50;
// Far wider than any row can be painted; QTextLayout's fixed-point widths
// overflow near 3.3e7.
constexpr qreal kUnlimitedWidth = 1.0e7;

int ClampToInt(qsizetype value) {
    return static_cast<int>(std::clamp<qsizetype>(value, 0, INT_MAX));
}

// Control characters other than tab would draw as nothing or as boxes; their
// Unicode pictures keep every character visible at the same position.
void ShowControlCharacters(QString& text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t')
            c = QChar(static_cast<char16_t>(0x2400 + u));
        else if (u == 0x7F)
            c = QChar(u'\u2421');
    }
}

struct KeyBinding {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    TextPane::Motion motion;
};

}  // namespace

TextPane::TextPane(QWidget* parent) : QAbstractScrollArea(parent) {
    TextPaneAccessible::Install();
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    UpdateFontMetrics();
}

TextPane::~TextPane() = default;

// --- text operations -------------------------------------------------------

QString TextPane::Text() const {
    return lines_.Decode(0, lines_.ByteSize());
}

qsizetype TextPane::Length() const {
    return static_cast<qsizetype>(lines_.Utf16Size());
}

void TextPane::Clear() {
    FlushAccessibleInsert();
    const QString removed = QAccessible::isActive() ? Text() : QString();
    lines_.Clear();
    anchor_ = caret_ = 0;
    measuredWidth_ = 0;
    goalX_ = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    followTail_ = true;
    ScheduleSync();
    if (QAccessible::isActive() && !removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, 0, removed);
        QAccessible::updateAccessibility(&event);
    }
}

void TextPane::SetText(const QString& text) {
    Clear();
    if (text.isEmpty()) return;
    Append(text);
    // A replaced text is read from its start, like a freshly opened document.
    followTail_ = false;
    MoveCaret(0, false);
}

void TextPane::Append(std::string_view utf8) {
    if (QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8())
        AppendWellFormed(utf8);
    else
        AppendWellFormed(textpane::ReplaceIllFormed(utf8));
}

void TextPane::AppendWellFormed(std::string_view utf8) {
    Q_ASSERT(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8());
    const qsizetype before = Length();
    lines_.Append(utf8);
    anchor_ = caret_ = Length();
    goalX_ = -1;
    // Assistive technology hears of appended text once per view update, not
    // once per line: a scan appends far faster than anyone can listen.
    if (accessibleInsertFrom_ < 0 && QAccessible::isActive()) accessibleInsertFrom_ = before;
    ScheduleSync();
}

void TextPane::FlushAccessibleInsert() {
    const qsizetype from = std::exchange(accessibleInsertFrom_, -1);
    if (from < 0 || from >= Length() || !QAccessible::isActive()) return;
    QAccessibleTextInsertEvent event(this, ClampToInt(from), TextRange(from, Length()));
    QAccessible::updateAccessibility(&event);
    NotifySelection();
}

// QString's UTF-8 is well-formed: it writes a lone surrogate as '?'.
void TextPane::Append(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    AppendWellFormed(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

qsizetype TextPane::LineCount() const {
    const auto rows = static_cast<qsizetype>(lines_.RowCount());
    return lines_.ByteSize() == 0 || lines_.EndsWithNewline() ? rows - 1 : rows;
}

QString TextPane::Line(qsizetype i) const {
    if (i < 0 || i >= LineCount()) return {};
    return lines_.RowText(static_cast<std::size_t>(i));
}

QString TextPane::TextRange(qsizetype begin, qsizetype end) const {
    begin = std::clamp<qsizetype>(begin, 0, Length());
    end = std::clamp<qsizetype>(end, begin, Length());
    if (begin == end) return {};
    return lines_.Decode(lines_.ByteOfUnit(static_cast<std::uint64_t>(begin), false),
                         lines_.ByteOfUnit(static_cast<std::uint64_t>(end), true));
}

qsizetype TextPane::SelStart() const {
    return std::min(anchor_, caret_);
}

qsizetype TextPane::SelLength() const {
    return std::max(anchor_, caret_) - SelStart();
}

void TextPane::SetSelStart(qsizetype start) {
    start = std::clamp<qsizetype>(start, 0, Length());
    SetSelection(start, start);
}

void TextPane::SetSelLength(qsizetype length) {
    const qsizetype start = SelStart();
    SetSelection(start, start + std::clamp<qsizetype>(length, 0, Length() - start));
}

QString TextPane::SelText() const {
    return TextRange(SelStart(), SelStart() + SelLength());
}

void TextPane::SetSelText(const QString& text) {
    ReplaceRange(SelStart(), SelStart() + SelLength(), text);
}

void TextPane::ReplaceRange(qsizetype begin, qsizetype end, const QString& text) {
    if (begin == Length()) {  // the append that the scan driver does for every line
        Append(text);
        return;
    }
    FlushAccessibleInsert();
    const QString removed = QAccessible::isActive() ? TextRange(begin, end) : QString();
    const std::uint64_t cut = lines_.ByteOfUnit(static_cast<std::uint64_t>(begin), false);
    const std::uint64_t resume = lines_.ByteOfUnit(static_cast<std::uint64_t>(end), true);
    const std::string tail = lines_.Bytes(resume, lines_.ByteSize());
    lines_.Truncate(cut);
    const QByteArray utf8 = text.toUtf8();
    lines_.Append(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    const qsizetype after = Length();
    lines_.Append(tail);
    anchor_ = caret_ = after;
    goalX_ = -1;
    ScheduleSync();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, ClampToInt(begin), removed, TextRange(begin, after));
        QAccessible::updateAccessibility(&event);
    }
}

std::size_t TextPane::MemoryBytes() const {
    return lines_.MemoryBytes();
}

// --- selection ---------------------------------------------------------------

void TextPane::SetSelection(qsizetype anchor, qsizetype caret) {
    anchor_ = std::clamp<qsizetype>(anchor, 0, Length());
    caret_ = std::clamp<qsizetype>(caret, 0, Length());
    goalX_ = -1;
    viewport()->update();
    NotifySelection();
}

void TextPane::SelectAll() {
    SetSelection(0, Length());
}

void TextPane::Copy() const {
    if (SelLength() > 0) QGuiApplication::clipboard()->setText(SelText());
}

void TextPane::CopyToSelectionClipboard() const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && SelLength() > 0)
        clipboard->setText(SelText(), QClipboard::Selection);
}

void TextPane::NotifySelection() {
    if (!QAccessible::isActive()) return;
    FlushAccessibleInsert();
    QAccessibleTextSelectionEvent event(this, ClampToInt(SelStart()),
                                        ClampToInt(SelStart() + SelLength()));
    event.setCursorPosition(ClampToInt(caret_));
    QAccessible::updateAccessibility(&event);
}

std::pair<qsizetype, qsizetype> TextPane::LineBounds(qsizetype position) const {
    const std::size_t row = RowOf(position);
    const qsizetype begin = RowStart(row);
    return {begin, begin + static_cast<qsizetype>(lines_.RowUnits(row))};
}

std::pair<qsizetype, qsizetype> TextPane::WordBounds(qsizetype position) const {
    const std::size_t row = RowOf(position);
    const qsizetype rowStart = RowStart(row);
    const auto [begin, end] = textpane::WordAt(lines_.RowText(row), position - rowStart);
    return {rowStart + begin, rowStart + end};
}

// --- geometry ----------------------------------------------------------------

void TextPane::UpdateFontMetrics() {
    const QFontMetricsF metrics(font());
    lineHeight_ = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    ascent_ = metrics.ascent();
    averageCharWidth_ = std::max<qreal>(1, metrics.averageCharWidth());
    tabStop_ = std::max<qreal>(1, 8 * metrics.horizontalAdvance(QLatin1Char(' ')));
    measuredWidth_ = 0;
    ScheduleSync();
}

int TextPane::VisibleRows() const {
    return std::max(1, (viewport()->height() - kMarginY) / lineHeight_);
}

int TextPane::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

qreal TextPane::OriginX() const {
    return kMarginX - horizontalScrollBar()->value();
}

int TextPane::RowTop(std::size_t row) const {
    const qsizetype top =
        kMarginY + (static_cast<qsizetype>(row) - FirstVisibleLine()) * qsizetype{lineHeight_};
    return static_cast<int>(std::clamp<qsizetype>(top, INT_MIN / 2, INT_MAX / 2));
}

std::size_t TextPane::RowOf(qsizetype position) const {
    return lines_.RowOfUnit(static_cast<std::uint64_t>(std::max<qsizetype>(0, position)));
}

qsizetype TextPane::RowStart(std::size_t row) const {
    return static_cast<qsizetype>(lines_.RowUnitsBegin(row));
}

void TextPane::LayoutRow(QTextLayout& layout, std::size_t row) const {
    QString text = lines_.RowText(row);
    ShowControlCharacters(text);
    layout.setText(text);
    layout.setFont(font());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(tabStop_);
    option.setTextDirection(layoutDirection());
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(kUnlimitedWidth);
        // Rows keep the font's baseline even when a fallback font is taller.
        line.setPosition(QPointF(0, ascent_ - line.ascent()));
    }
    layout.endLayout();
}

QRect TextPane::PositionRect(qsizetype position) const {
    position = std::clamp<qsizetype>(position, 0, Length());
    const std::size_t row = RowOf(position);
    QTextLayout layout;
    LayoutRow(layout, row);
    const QTextLine line = layout.lineAt(0);
    const auto column = static_cast<int>(position - RowStart(row));
    const qreal x = line.isValid() ? line.cursorToX(column) : 0;
    return QRect(static_cast<int>(OriginX() + x), RowTop(row),
                 std::max(1, static_cast<int>(averageCharWidth_)), lineHeight_);
}

qsizetype TextPane::PositionAt(QPoint viewportPoint) const {
    const auto rowOffset = static_cast<qsizetype>(
        std::floor(static_cast<double>(viewportPoint.y() - kMarginY) / lineHeight_));
    const auto rows = static_cast<qsizetype>(lines_.RowCount());
    const auto row = static_cast<std::size_t>(
        std::clamp<qsizetype>(FirstVisibleLine() + rowOffset, 0, rows - 1));
    QTextLayout layout;
    LayoutRow(layout, row);
    const QTextLine line = layout.lineAt(0);
    const int column = line.isValid() ? line.xToCursor(viewportPoint.x() - OriginX()) : 0;
    return RowStart(row) + column;
}

// --- scrolling ---------------------------------------------------------------

void TextPane::ScheduleSync() {
    if (syncPending_) return;
    syncPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { SyncIfPending(); }, Qt::QueuedConnection);
}

void TextPane::SyncIfPending() {
    if (syncPending_) SyncScrollBars();
}

void TextPane::SyncScrollBars() {
    // Showing or hiding a scroll bar resizes the viewport, whose resize event
    // comes back here; the outer call then measures again instead.
    if (syncing_) {
        resyncNeeded_ = true;
        return;
    }
    syncing_ = true;
    syncPending_ = false;
    const bool follow = followTail_;
    for (int pass = 0; pass < 3; ++pass) {
        resyncNeeded_ = false;
        ApplyScrollRanges(follow);
        if (!resyncNeeded_) break;
    }
    syncing_ = false;
    viewport()->update();
    FlushAccessibleInsert();
}

void TextPane::ApplyScrollRanges(bool follow) {
    QScrollBar* vertical = verticalScrollBar();
    const int rows = VisibleRows();
    const int lastTop = ClampToInt(LineCount() - rows);
    vertical->setRange(0, lastTop);
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);
    if (follow) vertical->setValue(lastTop);

    QScrollBar* horizontal = horizontalScrollBar();
    const qreal estimate = static_cast<qreal>(lines_.LongestRowBytes()) * averageCharWidth_;
    const qreal content = std::max(measuredWidth_, estimate) + 2 * kMarginX + 1;
    const int viewWidth = viewport()->width();
    horizontal->setRange(
        0, std::max(0, static_cast<int>(std::min(content, kUnlimitedWidth)) - viewWidth));
    horizontal->setPageStep(std::max(1, viewWidth));
    horizontal->setSingleStep(std::max(1, static_cast<int>(2 * averageCharWidth_)));
}

void TextPane::scrollContentsBy(int, int) {
    const QScrollBar* vertical = verticalScrollBar();
    followTail_ = vertical->value() >= vertical->maximum();
    viewport()->update();
}

void TextPane::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SyncScrollBars();
}

void TextPane::EnsureVisible(qsizetype position) {
    SyncIfPending();
    const std::size_t row = RowOf(position);
    QScrollBar* vertical = verticalScrollBar();
    const auto rowIndex = static_cast<qsizetype>(row);
    if (rowIndex < vertical->value())
        vertical->setValue(ClampToInt(rowIndex));
    else if (rowIndex >= qsizetype{vertical->value()} + VisibleRows())
        vertical->setValue(ClampToInt(rowIndex - VisibleRows() + 1));

    QTextLayout layout;
    LayoutRow(layout, row);
    const QTextLine line = layout.lineAt(0);
    if (!line.isValid()) return;
    if (line.naturalTextWidth() > measuredWidth_) {
        measuredWidth_ = line.naturalTextWidth();
        SyncScrollBars();
    }
    QScrollBar* horizontal = horizontalScrollBar();
    const int x = static_cast<int>(line.cursorToX(static_cast<int>(position - RowStart(row))));
    const int width = viewport()->width() - 2 * kMarginX - 1;
    if (x < horizontal->value())
        horizontal->setValue(x);
    else if (x > horizontal->value() + width)
        horizontal->setValue(x - width);
}

// --- painting ----------------------------------------------------------------

void TextPane::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(event->rect(), pal.brush(QPalette::Base));
    painter.setPen(pal.color(QPalette::Text));

    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    QTextCharFormat selected;
    selected.setBackground(pal.brush(group, QPalette::Highlight));
    selected.setForeground(pal.brush(group, QPalette::HighlightedText));
    const qsizetype selBegin = SelStart();
    const qsizetype selEnd = selBegin + SelLength();
    const std::size_t caretRow = RowOf(caret_);

    const auto first = static_cast<std::size_t>(FirstVisibleLine());
    const std::size_t rows = lines_.RowCount();
    const std::size_t last = std::min(rows, first + static_cast<std::size_t>(VisibleRows()) + 1);
    qsizetype rowStart = first < rows ? RowStart(first) : 0;
    qreal widest = measuredWidth_;
    for (std::size_t row = first; row < last; ++row) {
        QTextLayout layout;
        LayoutRow(layout, row);
        const auto rowLength = static_cast<qsizetype>(layout.text().size());
        const QPointF origin(OriginX(), RowTop(row));
        QList<QTextLayout::FormatRange> selections;
        if (selBegin < rowStart + rowLength + 1 && selEnd > rowStart) {
            const qsizetype from = std::max(selBegin, rowStart) - rowStart;
            const qsizetype to = std::min(selEnd, rowStart + rowLength) - rowStart;
            if (to > from)
                selections.append({static_cast<int>(from), static_cast<int>(to - from), selected});
            if (selEnd > rowStart + rowLength && row + 1 < rows) {
                // The row's '\n' is selected: show it as a blank after the text.
                const QTextLine line = layout.lineAt(0);
                const qreal x = origin.x() + (line.isValid() ? line.naturalTextWidth() : 0);
                painter.fillRect(QRectF(x, origin.y(), averageCharWidth_, lineHeight_),
                                 selected.background());
            }
        }
        layout.draw(&painter, origin, selections);
        if (hasFocus() && row == caretRow)
            layout.drawCursor(&painter, origin, static_cast<int>(caret_ - rowStart), 1);
        if (layout.lineCount() > 0) widest = std::max(widest, layout.lineAt(0).naturalTextWidth());
        rowStart += rowLength + 1;
    }
    if (hasFocus()) {
        // A visible focus mark that does not depend on the style's frame.
        painter.setPen(pal.color(QPalette::Highlight));
        painter.drawRect(viewport()->rect().adjusted(0, 0, -1, -1));
    }
    if (widest > measuredWidth_) {
        measuredWidth_ = widest;
        ScheduleSync();
    }
}

void TextPane::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TextPane::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TextPane::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateFontMetrics();
    if (event->type() == QEvent::PaletteChange) viewport()->update();
}

// --- keyboard ----------------------------------------------------------------

qsizetype TextPane::MotionTarget(Motion motion, bool extend, qreal& goal) {
    const std::size_t row = RowOf(caret_);
    const qsizetype rowStart = RowStart(row);
    const auto rowLength = static_cast<qsizetype>(lines_.RowUnits(row));
    const auto column = static_cast<int>(caret_ - rowStart);
    const auto lastRow = static_cast<qsizetype>(lines_.RowCount()) - 1;
    QTextLayout layout;
    LayoutRow(layout, row);
    switch (motion) {
        case Motion::PreviousCharacter:
            if (!extend && SelLength() > 0) return SelStart();
            if (column == 0) return std::max<qsizetype>(0, caret_ - 1);
            return rowStart + layout.previousCursorPosition(column);
        case Motion::PreviousWord:
            if (column == 0) return std::max<qsizetype>(0, caret_ - 1);
            return rowStart + textpane::PreviousWordStart(lines_.RowText(row), column);
        case Motion::NextCharacter:
            if (!extend && SelLength() > 0) return SelStart() + SelLength();
            if (column >= rowLength) return std::min(Length(), caret_ + 1);
            return rowStart + layout.nextCursorPosition(column);
        case Motion::NextWord:
            if (column >= rowLength) return std::min(Length(), caret_ + 1);
            return rowStart + textpane::NextWordStart(lines_.RowText(row), column);
        case Motion::LineStart:
            return rowStart;
        case Motion::LineEnd:
            return rowStart + rowLength;
        case Motion::DocumentStart:
            return 0;
        case Motion::DocumentEnd:
            return Length();
        case Motion::PreviousLine:
        case Motion::NextLine:
        case Motion::PreviousPage:
        case Motion::NextPage:
            break;
    }
    const QTextLine line = layout.lineAt(0);
    goal = goalX_ >= 0 ? goalX_ : (line.isValid() ? line.cursorToX(column) : 0);
    const int page = VisibleRows();
    const qsizetype step = motion == Motion::PreviousLine   ? -1
                           : motion == Motion::NextLine     ? 1
                           : motion == Motion::PreviousPage ? -page
                                                            : page;
    const qsizetype target = static_cast<qsizetype>(row) + step;
    if (target < 0) return motion == Motion::PreviousPage ? 0 : caret_;
    if (target > lastRow) return motion == Motion::NextPage ? Length() : caret_;
    if (motion == Motion::PreviousPage || motion == Motion::NextPage)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(step));
    QTextLayout targetLayout;
    LayoutRow(targetLayout, static_cast<std::size_t>(target));
    const QTextLine targetLine = targetLayout.lineAt(0);
    return RowStart(static_cast<std::size_t>(target)) +
           (targetLine.isValid() ? targetLine.xToCursor(goal) : 0);
}

void TextPane::MoveCaret(qsizetype position, bool extend) {
    position = std::clamp<qsizetype>(position, 0, Length());
    caret_ = position;
    if (!extend) anchor_ = position;
    goalX_ = -1;
    EnsureVisible(position);
    viewport()->update();
    NotifySelection();
}

void TextPane::keyPressEvent(QKeyEvent* event) {
    SyncIfPending();
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    static constexpr KeyBinding kBindings[] = {
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar,
         Motion::PreviousCharacter},
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Motion::NextCharacter},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Motion::PreviousWord},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Motion::NextWord},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Motion::PreviousLine},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Motion::NextLine},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Motion::PreviousPage},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Motion::NextPage},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Motion::LineStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Motion::LineEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
         Motion::DocumentStart},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Motion::DocumentEnd},
    };
    for (const KeyBinding& binding : kBindings) {
        const bool move = event->matches(binding.move);
        const bool select = !move && event->matches(binding.select);
        if (!move && !select) continue;
        qreal goal = -1;  // set by vertical moves, which keep the column they started in
        const qsizetype target = MotionTarget(binding.motion, select, goal);
        MoveCaret(target, select);
        goalX_ = goal;
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

// --- mouse -------------------------------------------------------------------

void TextPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    SyncIfPending();
    const QPoint point = event->position().toPoint();
    const qsizetype position = PositionAt(point);
    if (tripleClick_.isActive() &&
        (point - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
        tripleClick_.stop();
        const auto [begin, end] = LineBounds(position);
        dragOrigin_ = {begin, std::min(Length(), end + 1)};
        dragUnit_ = DragUnit::Line;
        SetSelection(dragOrigin_.first, dragOrigin_.second);
        return;
    }
    dragUnit_ = DragUnit::Character;
    if (event->modifiers() & Qt::ShiftModifier) {
        MoveCaret(position, true);
        dragOrigin_ = {anchor_, anchor_};
    } else {
        MoveCaret(position, false);
        dragOrigin_ = {position, position};
    }
}

void TextPane::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    dragOrigin_ = WordBounds(PositionAt(point));
    dragUnit_ = DragUnit::Word;
    SetSelection(dragOrigin_.first, dragOrigin_.second);
    tripleClickPoint_ = point;
    tripleClick_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
}

void TextPane::mouseMoveEvent(QMouseEvent* event) {
    if (dragUnit_ == DragUnit::None || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragPoint_ = event->position().toPoint();
    DragTo(dragPoint_);
    if (viewport()->rect().contains(dragPoint_))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(kAutoScrollMs, this);
}

void TextPane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragUnit_ != DragUnit::None) {
        dragUnit_ = DragUnit::None;
        autoScroll_.stop();
        CopyToSelectionClipboard();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TextPane::DragTo(QPoint viewportPoint) {
    const qsizetype position = PositionAt(viewportPoint);
    auto [begin, end] = dragOrigin_;
    qsizetype caret = position;
    if (dragUnit_ == DragUnit::Word || dragUnit_ == DragUnit::Line) {
        const auto unit = dragUnit_ == DragUnit::Word ? WordBounds(position) : LineBounds(position);
        const qsizetype unitEnd =
            dragUnit_ == DragUnit::Line ? std::min(Length(), unit.second + 1) : unit.second;
        caret = position < begin ? unit.first : std::max(end, unitEnd);
    }
    // Dragging back before the first click's unit keeps that unit selected.
    const qsizetype anchor = caret < begin ? end : begin;
    caret_ = std::clamp<qsizetype>(caret, 0, Length());
    anchor_ = anchor;
    EnsureVisible(caret_);
    viewport()->update();
    NotifySelection();
}

void TextPane::timerEvent(QTimerEvent* event) {
    if (event->timerId() == tripleClick_.timerId()) {
        tripleClick_.stop();
        return;
    }
    if (event->timerId() == autoScroll_.timerId()) {
        // EnsureVisible inside DragTo scrolls one row per tick towards the pointer.
        if (dragUnit_ == DragUnit::None)
            autoScroll_.stop();
        else
            DragTo(dragPoint_);
        return;
    }
    QAbstractScrollArea::timerEvent(event);
}

// --- context menu --------------------------------------------------------------

void TextPane::contextMenuEvent(QContextMenuEvent* event) {
    // Not exec(): a scan that yields to the event loop must keep running while
    // the menu is open.
    auto* menu = std::make_unique<QMenu>(this).release();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(tr("&Copy"), this, [this] { Copy(); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(SelLength() > 0);
    menu->addSeparator();
    QAction* all = menu->addAction(tr("Select &All"), this, [this] { SelectAll(); });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(Length() > 0);
    const QPoint global = event->reason() == QContextMenuEvent::Mouse
                              ? event->globalPos()
                              : viewport()->mapToGlobal(PositionRect(caret_).bottomLeft());
    menu->popup(global);
}

}  // namespace quorvel
