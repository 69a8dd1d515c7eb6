// SPDX-License-Identifier: MIT
#include "TextPane.h"

#include <QAccessible>
#include <QApplication>
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

namespace quorvel {
namespace {

constexpr int kMarginX = 3;
constexpr int kMarginY = 1;
constexpr int kAutoScrollMs = 50;

int ClampToInt(qsizetype value) {
    return static_cast<int>(std::clamp<qsizetype>(value, 0, INT_MAX));
}

// Every pane gets its accessible interface from this factory, installed once
// as the program starts: Qt keeps its factories in a list that needs no
// application object yet.
[[maybe_unused]] const bool kAccessibleFactoryInstalled = [] {
    QAccessible::installFactory(&TextPaneAccessible::Create);
    return true;
}();

}  // namespace

TextPane::TextPane(QWidget* parent) : QAbstractScrollArea(parent) {
    control_.SetView(this);
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

void TextPane::Clear() {
    FlushAccessibleInsert();
    // Told before the text goes, as the removed text is read from the pane.
    if (QAccessible::isActive()) AnnounceRemove(0, Length());
    control_.Clear();
    measuredWidth_ = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    followTail_ = true;
    ScheduleSync();
}

void TextPane::SetText(const QString& text) {
    Clear();
    if (text.isEmpty()) return;
    Append(text);
    // A replaced text is read from its start, like a freshly opened document.
    followTail_ = false;
    control_.MoveCaret(0, false);
}

void TextPane::Append(std::string_view utf8) {
    const qsizetype from = Length();
    control_.Append(utf8);
    Appended(from);
}

void TextPane::Append(const QString& text) {
    const qsizetype from = Length();
    control_.Append(text);
    Appended(from);
}

void TextPane::AppendWellFormed(std::string_view utf8) {
    const qsizetype from = Length();
    control_.AppendWellFormed(utf8);
    Appended(from);
}

void TextPane::AppendSource(std::unique_ptr<textpane::TextPaneSourceRows> rows) {
    const qsizetype from = Length();
    control_.AppendSource(std::move(rows));
    Appended(from);
}

void TextPane::SourceGrew() {
    const qsizetype from = Length();
    control_.SourceGrew();
    if (Length() != from) Appended(from);
}

void TextPane::Appended(qsizetype from) {
    // Assistive technology hears of appended text once per view update, not
    // once per line: a scan appends far faster than anyone can listen.
    if (accessibleInsertFrom_ < 0 && QAccessible::isActive()) accessibleInsertFrom_ = from;
    ScheduleSync();
}

void TextPane::FlushAccessibleInsert() {
    const qsizetype from = std::exchange(accessibleInsertFrom_, -1);
    if (from < 0 || from >= Length() || !QAccessible::isActive()) return;
    AnnounceInsert(from, Length());
    SelectionChanged();
}

// One event for the whole insertion would hold all of its text at once (a
// list of a million paths is some 300 MB as UTF-16) and pass it over the
// accessibility bus in one message, past the bus's own size limit: the bus
// drops it, and a client that follows the text by its events loses the
// insertion and every offset after it. In pieces, each is let go once sent.
void TextPane::AnnounceInsert(qsizetype begin, qsizetype end) {
    control_.ForEachPiece(begin, end, kAccessibleEventUnits,
                          [this](qsizetype at, const QString& piece) {
                              QAccessibleTextInsertEvent event(this, ClampToInt(at), piece);
                              QAccessible::updateAccessibility(&event);
                          });
}

// Each piece is removed from the front of what is left, so every event
// says position `begin`.
void TextPane::AnnounceRemove(qsizetype begin, qsizetype end) {
    control_.ForEachPiece(begin, end, kAccessibleEventUnits,
                          [this, begin](qsizetype, const QString& piece) {
                              QAccessibleTextRemoveEvent event(this, ClampToInt(begin), piece);
                              QAccessible::updateAccessibility(&event);
                          });
}

void TextPane::SetSelStart(qsizetype start) {
    start = std::clamp<qsizetype>(start, 0, Length());
    SetSelection(start, start);
}

void TextPane::SetSelLength(qsizetype length) {
    const qsizetype start = SelStart();
    SetSelection(start, start + std::clamp<qsizetype>(length, 0, Length() - start));
}

void TextPane::SetSelText(const QString& text) {
    const qsizetype begin = SelStart();
    if (begin == Length()) {  // the append that the scan driver does for every line
        Append(text);
        return;
    }
    FlushAccessibleInsert();
    const qsizetype end = begin + SelLength();
    const bool accessible = QAccessible::isActive();
    // A small change goes as one event; a large one in pieces, its removal
    // told while the text is still there to read.
    const bool smallRemoval = end - begin <= kAccessibleEventUnits;
    QString removed;
    if (accessible && smallRemoval) removed = TextRange(begin, end);
    if (accessible && !smallRemoval) AnnounceRemove(begin, end);
    control_.Replace(begin, end, text);
    ScheduleSync();
    if (!accessible) return;
    if (smallRemoval && CaretPosition() - begin <= kAccessibleEventUnits) {
        QAccessibleTextUpdateEvent event(this, ClampToInt(begin), removed,
                                         TextRange(begin, CaretPosition()));
        QAccessible::updateAccessibility(&event);
        return;
    }
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, ClampToInt(begin), removed);
        QAccessible::updateAccessibility(&event);
    }
    AnnounceInsert(begin, CaretPosition());
}

// --- what the control asks of the view ------------------------------------------

void TextPane::SelectionChanged() {
    viewport()->update();
    if (!QAccessible::isActive()) return;
    FlushAccessibleInsert();
    QAccessibleTextSelectionEvent event(this, ClampToInt(SelStart()),
                                        ClampToInt(SelStart() + SelLength()));
    event.setCursorPosition(ClampToInt(CaretPosition()));
    QAccessible::updateAccessibility(&event);
}

void TextPane::ScrollRows(int rows) {
    verticalScrollBar()->setValue(verticalScrollBar()->value() + rows);
}

// --- geometry ----------------------------------------------------------------

void TextPane::UpdateFontMetrics() {
    const QFontMetricsF metrics(font());
    lineHeight_ = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    averageCharWidth_ = std::max<qreal>(1, metrics.averageCharWidth());
    control_.SetRowFormat(font(), layoutDirection());
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

QRect TextPane::PositionRect(qsizetype position) const {
    position = std::clamp<qsizetype>(position, 0, Length());
    const std::size_t row = control_.RowOf(position);
    QTextLayout layout;
    control_.LayoutRow(layout, row);
    const QTextLine line = layout.lineAt(0);
    const auto column = static_cast<int>(position - control_.RowStart(row));
    const qreal x = line.isValid() ? line.cursorToX(column) : 0;
    return QRect(static_cast<int>(OriginX() + x), RowTop(row),
                 std::max(1, static_cast<int>(averageCharWidth_)), lineHeight_);
}

qsizetype TextPane::PositionAt(QPoint viewportPoint) const {
    const auto rowOffset = static_cast<qsizetype>(
        std::floor(static_cast<double>(viewportPoint.y() - kMarginY) / lineHeight_));
    const auto rows = static_cast<qsizetype>(control_.Rows().RowCount());
    const auto row = static_cast<std::size_t>(
        std::clamp<qsizetype>(FirstVisibleLine() + rowOffset, 0, rows - 1));
    QTextLayout layout;
    control_.LayoutRow(layout, row);
    const QTextLine line = layout.lineAt(0);
    const int column = line.isValid() ? line.xToCursor(viewportPoint.x() - OriginX()) : 0;
    return control_.RowStart(row) + column;
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
    const qreal estimate =
        static_cast<qreal>(control_.Rows().LongestRowBytes()) * averageCharWidth_;
    const qreal content = std::max(measuredWidth_, estimate) + 2 * kMarginX + 1;
    const int viewWidth = viewport()->width();
    horizontal->setRange(
        0, std::max(0, static_cast<int>(std::min(content, TextPaneControl::kUnlimitedWidth)) -
                           viewWidth));
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
    const std::size_t row = control_.RowOf(position);
    QScrollBar* vertical = verticalScrollBar();
    const auto rowIndex = static_cast<qsizetype>(row);
    if (rowIndex < vertical->value())
        vertical->setValue(ClampToInt(rowIndex));
    else if (rowIndex >= qsizetype{vertical->value()} + VisibleRows())
        vertical->setValue(ClampToInt(rowIndex - VisibleRows() + 1));

    QTextLayout layout;
    control_.LayoutRow(layout, row);
    const QTextLine line = layout.lineAt(0);
    if (!line.isValid()) return;
    if (line.naturalTextWidth() > measuredWidth_) {
        measuredWidth_ = line.naturalTextWidth();
        SyncScrollBars();
    }
    QScrollBar* horizontal = horizontalScrollBar();
    const int x =
        static_cast<int>(line.cursorToX(static_cast<int>(position - control_.RowStart(row))));
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
    const std::size_t caretRow = control_.RowOf(CaretPosition());

    const auto first = static_cast<std::size_t>(FirstVisibleLine());
    const std::size_t rows = control_.Rows().RowCount();
    const std::size_t last = std::min(rows, first + static_cast<std::size_t>(VisibleRows()) + 1);
    qsizetype rowStart = first < rows ? control_.RowStart(first) : 0;
    qreal widest = measuredWidth_;
    for (std::size_t row = first; row < last; ++row) {
        QTextLayout layout;
        control_.LayoutRow(layout, row);
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
            layout.drawCursor(&painter, origin, static_cast<int>(CaretPosition() - rowStart), 1);
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
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutDirectionChange)
        UpdateFontMetrics();
    if (event->type() == QEvent::PaletteChange) viewport()->update();
}

// --- keyboard and mouse --------------------------------------------------------

void TextPane::keyPressEvent(QKeyEvent* event) {
    SyncIfPending();
    if (!control_.HandleKey(*event)) QAbstractScrollArea::keyPressEvent(event);
}

void TextPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    SyncIfPending();
    const QPoint point = event->position().toPoint();
    if (tripleClick_.isActive() &&
        (point - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
        tripleClick_.stop();
        control_.TripleClick(PositionAt(point));
        return;
    }
    control_.Press(PositionAt(point), event->modifiers() & Qt::ShiftModifier);
}

void TextPane::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    control_.DoubleClick(PositionAt(point));
    tripleClickPoint_ = point;
    tripleClick_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
}

void TextPane::mouseMoveEvent(QMouseEvent* event) {
    if (!control_.Dragging() || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragPoint_ = event->position().toPoint();
    control_.DragTo(PositionAt(dragPoint_));
    if (viewport()->rect().contains(dragPoint_))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(kAutoScrollMs, this);
}

void TextPane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && control_.Release()) {
        autoScroll_.stop();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TextPane::timerEvent(QTimerEvent* event) {
    if (event->timerId() == tripleClick_.timerId()) {
        tripleClick_.stop();
        return;
    }
    if (event->timerId() == autoScroll_.timerId()) {
        // Showing the dragged-to position scrolls one row per tick towards
        // the pointer.
        if (control_.Dragging())
            control_.DragTo(PositionAt(dragPoint_));
        else
            autoScroll_.stop();
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
                              : viewport()->mapToGlobal(PositionRect(CaretPosition()).bottomLeft());
    menu->popup(global);
}

}  // namespace quorvel
