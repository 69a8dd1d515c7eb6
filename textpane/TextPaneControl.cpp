// SPDX-License-Identifier: MIT
#include "TextPaneControl.h"

#include <QByteArrayView>
#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTextLayout>

#include <algorithm>

#include "TextPaneUtf8.h"
#include "TextPaneWords.h"

namespace quorvel {
namespace {

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

using Motion = TextPaneControl::Motion;

struct KeyBinding {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    Motion motion;
};

constexpr KeyBinding kBindings[] = {
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Motion::PreviousCharacter},
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

std::string_view Bytes(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

TextPaneControl::TextPaneControl() {
    SetRowFormat(QFont(), Qt::LeftToRight);
}

// --- the text ----------------------------------------------------------------

QString TextPaneControl::Text() const {
    return Rows().Decode(0, Rows().ByteSize());
}

qsizetype TextPaneControl::Length() const {
    return static_cast<qsizetype>(Rows().Utf16Size());
}

qsizetype TextPaneControl::LineCount() const {
    const auto rows = static_cast<qsizetype>(Rows().RowCount());
    return Rows().ByteSize() == 0 || Rows().EndsWithNewline() ? rows - 1 : rows;
}

QString TextPaneControl::Line(qsizetype i) const {
    if (i < 0 || i >= LineCount()) return {};
    return Rows().RowText(static_cast<std::size_t>(i));
}

QString TextPaneControl::TextRange(qsizetype begin, qsizetype end) const {
    begin = std::clamp<qsizetype>(begin, 0, Length());
    end = std::clamp<qsizetype>(end, begin, Length());
    if (begin == end) return {};
    return Rows().Decode(Rows().ByteOfUnit(static_cast<std::uint64_t>(begin), false),
                         Rows().ByteOfUnit(static_cast<std::uint64_t>(end), true));
}

std::pair<qsizetype, qsizetype> TextPaneControl::LineBounds(qsizetype position) const {
    const std::size_t row = RowOf(position);
    const qsizetype begin = RowStart(row);
    return {begin, begin + static_cast<qsizetype>(Rows().RowUnits(row))};
}

std::pair<qsizetype, qsizetype> TextPaneControl::WordBounds(qsizetype position) const {
    const std::size_t row = RowOf(position);
    const qsizetype rowStart = RowStart(row);
    const auto [begin, end] = textpane::WordAt(Rows().RowText(row), position - rowStart);
    return {rowStart + begin, rowStart + end};
}

std::size_t TextPaneControl::MemoryBytes() const {
    return lines_.MemoryBytes() + (viewRows_ ? viewRows_->MemoryBytes() : 0);
}

void TextPaneControl::Append(std::string_view utf8) {
    if (QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8())
        AppendWellFormed(utf8);
    else
        AppendWellFormed(textpane::ReplaceIllFormed(utf8));
}

// QString's UTF-8 is well-formed: it writes a lone surrogate as '?'.
void TextPaneControl::Append(const QString& text) {
    AppendWellFormed(Bytes(text.toUtf8()));
}

void TextPaneControl::AppendWellFormed(std::string_view utf8) {
    Q_ASSERT(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8());
    TakeText();
    lines_.Append(utf8);
    CaretToEnd();
}

void TextPaneControl::AppendSource(std::unique_ptr<textpane::TextPaneSourceRows> rows) {
    Q_ASSERT(rows != nullptr);
    source_ = rows->Source();
    sourceLines_ = rows->Lines();
    if (Length() == 0) {
        viewRows_ = std::move(rows);
    } else {
        TakeText();
        AppendSourceLines(*source_, 0, sourceLines_);
    }
    CaretToEnd();
}

void TextPaneControl::SourceGrew() {
    if (!source_) return;
    const std::size_t lines = source_->LineCount();
    if (lines <= sourceLines_) return;
    if (viewRows_) {
        viewRows_->Extend(lines);
    } else {
        AppendSourceLines(*source_, sourceLines_, lines);
    }
    sourceLines_ = lines;
    CaretToEnd();
}

void TextPaneControl::AppendSourceLines(const textpane::TextPaneSource& source, std::size_t first,
                                        std::size_t last) {
    constexpr std::size_t kChunkBytes = 64 * 1024;
    std::string chunk;
    for (std::size_t line = first; line < last; ++line) {
        source.AppendLine(line, chunk);
        chunk.push_back('\n');
        if (chunk.size() >= kChunkBytes || line + 1 == last) {
            lines_.Append(chunk);
            chunk.clear();
        }
    }
}

void TextPaneControl::TakeText() {
    if (!viewRows_) return;
    const std::unique_ptr<textpane::TextPaneSourceRows> rows = std::move(viewRows_);
    AppendSourceLines(*rows->Source(), 0, rows->Lines());
}

void TextPaneControl::CaretToEnd() {
    anchor_ = caret_ = Length();
    goalX_ = -1;
}

void TextPaneControl::Replace(qsizetype begin, qsizetype end, const QString& text) {
    TakeText();
    begin = std::clamp<qsizetype>(begin, 0, Length());
    end = std::clamp<qsizetype>(end, begin, Length());
    const std::uint64_t cut = lines_.ByteOfUnit(static_cast<std::uint64_t>(begin), false);
    const std::uint64_t resume = lines_.ByteOfUnit(static_cast<std::uint64_t>(end), true);
    const std::string tail = lines_.Bytes(resume, lines_.ByteSize());
    lines_.Truncate(cut);
    lines_.Append(Bytes(text.toUtf8()));
    const qsizetype after = Length();
    lines_.Append(tail);
    anchor_ = caret_ = after;
    goalX_ = -1;
}

void TextPaneControl::Clear() {
    lines_.Clear();
    viewRows_.reset();
    source_.reset();
    sourceLines_ = 0;
    anchor_ = caret_ = 0;
    goalX_ = -1;
}

// --- rows ----------------------------------------------------------------------

std::size_t TextPaneControl::RowOf(qsizetype position) const {
    return Rows().RowOfUnit(static_cast<std::uint64_t>(std::max<qsizetype>(0, position)));
}

qsizetype TextPaneControl::RowStart(std::size_t row) const {
    return static_cast<qsizetype>(Rows().RowUnitsBegin(row));
}

void TextPaneControl::SetRowFormat(const QFont& font, Qt::LayoutDirection direction) {
    const QFontMetricsF metrics(font);
    font_ = font;
    direction_ = direction;
    ascent_ = metrics.ascent();
    tabStop_ = std::max<qreal>(1, 8 * metrics.horizontalAdvance(QLatin1Char(' ')));
}

void TextPaneControl::LayoutRow(QTextLayout& layout, std::size_t row) const {
    QString text = Rows().RowText(row);
    ShowControlCharacters(text);
    layout.setText(text);
    layout.setFont(font_);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(tabStop_);
    option.setTextDirection(direction_);
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

// --- selection and insertion point ----------------------------------------------

QString TextPaneControl::SelText() const {
    return TextRange(SelStart(), SelStart() + SelLength());
}

void TextPaneControl::SetSelection(qsizetype anchor, qsizetype caret) {
    anchor_ = std::clamp<qsizetype>(anchor, 0, Length());
    caret_ = std::clamp<qsizetype>(caret, 0, Length());
    goalX_ = -1;
    if (view_ != nullptr) view_->SelectionChanged();
}

void TextPaneControl::SelectAll() {
    SetSelection(0, Length());
}

void TextPaneControl::Copy() const {
    if (SelLength() > 0) QGuiApplication::clipboard()->setText(SelText());
}

void TextPaneControl::MoveCaret(qsizetype position, bool extend) {
    position = std::clamp<qsizetype>(position, 0, Length());
    caret_ = position;
    if (!extend) anchor_ = position;
    goalX_ = -1;
    if (view_ != nullptr) {
        view_->ShowPosition(position);
        view_->SelectionChanged();
    }
}

void TextPaneControl::Move(Motion motion, bool extend) {
    qreal goal = -1;  // set by vertical moves, which keep the column they started in
    const qsizetype target = MotionTarget(motion, extend, goal);
    MoveCaret(target, extend);
    goalX_ = goal;
}

qsizetype TextPaneControl::MotionTarget(Motion motion, bool extend, qreal& goal) {
    const std::size_t row = RowOf(caret_);
    const qsizetype rowStart = RowStart(row);
    const auto rowLength = static_cast<qsizetype>(Rows().RowUnits(row));
    const auto column = static_cast<int>(caret_ - rowStart);
    const auto lastRow = static_cast<qsizetype>(Rows().RowCount()) - 1;
    QTextLayout layout;
    LayoutRow(layout, row);
    switch (motion) {
        case Motion::PreviousCharacter:
            if (!extend && SelLength() > 0) return SelStart();
            if (column == 0) return std::max<qsizetype>(0, caret_ - 1);
            return rowStart + layout.previousCursorPosition(column);
        case Motion::PreviousWord:
            if (column == 0) return std::max<qsizetype>(0, caret_ - 1);
            return rowStart + textpane::PreviousWordStart(Rows().RowText(row), column);
        case Motion::NextCharacter:
            if (!extend && SelLength() > 0) return SelStart() + SelLength();
            if (column >= rowLength) return std::min(Length(), caret_ + 1);
            return rowStart + layout.nextCursorPosition(column);
        case Motion::NextWord:
            if (column >= rowLength) return std::min(Length(), caret_ + 1);
            return rowStart + textpane::NextWordStart(Rows().RowText(row), column);
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
    const int page = view_ != nullptr ? std::max(1, view_->PageRows()) : 1;
    const qsizetype step = motion == Motion::PreviousLine   ? -1
                           : motion == Motion::NextLine     ? 1
                           : motion == Motion::PreviousPage ? -page
                                                            : page;
    const qsizetype target = static_cast<qsizetype>(row) + step;
    if (target < 0) return motion == Motion::PreviousPage ? 0 : caret_;
    if (target > lastRow) return motion == Motion::NextPage ? Length() : caret_;
    if (view_ != nullptr && (motion == Motion::PreviousPage || motion == Motion::NextPage))
        view_->ScrollRows(static_cast<int>(step));
    QTextLayout targetLayout;
    LayoutRow(targetLayout, static_cast<std::size_t>(target));
    const QTextLine targetLine = targetLayout.lineAt(0);
    return RowStart(static_cast<std::size_t>(target)) +
           (targetLine.isValid() ? targetLine.xToCursor(goal) : 0);
}

bool TextPaneControl::HandleKey(const QKeyEvent& event) {
    if (event.matches(QKeySequence::Copy)) {
        Copy();
        return true;
    }
    if (event.matches(QKeySequence::SelectAll)) {
        SelectAll();
        return true;
    }
    for (const KeyBinding& binding : kBindings) {
        const bool move = event.matches(binding.move);
        if (move || event.matches(binding.select)) {
            Move(binding.motion, !move);
            return true;
        }
    }
    return false;
}

// --- the mouse -------------------------------------------------------------------

void TextPaneControl::StartDrag(DragUnit unit, std::pair<qsizetype, qsizetype> origin) {
    dragUnit_ = unit;
    dragOrigin_ = origin;
}

std::pair<qsizetype, qsizetype> TextPaneControl::LineWithNewline(qsizetype position) const {
    const auto [begin, end] = LineBounds(position);
    return {begin, std::min(Length(), end + 1)};
}

void TextPaneControl::Press(qsizetype position, bool extend) {
    MoveCaret(position, extend);
    StartDrag(DragUnit::Character, {anchor_, anchor_});
}

void TextPaneControl::DoubleClick(qsizetype position) {
    StartDrag(DragUnit::Word, WordBounds(position));
    SetSelection(dragOrigin_.first, dragOrigin_.second);
}

void TextPaneControl::TripleClick(qsizetype position) {
    StartDrag(DragUnit::Line, LineWithNewline(position));
    SetSelection(dragOrigin_.first, dragOrigin_.second);
}

void TextPaneControl::DragTo(qsizetype position) {
    if (dragUnit_ == DragUnit::None) return;
    position = std::clamp<qsizetype>(position, 0, Length());
    const auto [begin, end] = dragOrigin_;
    qsizetype caret = position;
    if (dragUnit_ != DragUnit::Character) {
        const auto unit =
            dragUnit_ == DragUnit::Word ? WordBounds(position) : LineWithNewline(position);
        caret = position < begin ? unit.first : std::max(end, unit.second);
    }
    // Dragging back before the first click's unit keeps that unit selected.
    anchor_ = caret < begin ? end : begin;
    caret_ = caret;
    if (view_ != nullptr) {
        view_->ShowPosition(caret_);
        view_->SelectionChanged();
    }
}

bool TextPaneControl::Release() {
    if (dragUnit_ == DragUnit::None) return false;
    dragUnit_ = DragUnit::None;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && SelLength() > 0)
        clipboard->setText(SelText(), QClipboard::Selection);
    return true;
}

}  // namespace quorvel
