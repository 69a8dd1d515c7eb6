// SPDX-License-Identifier: MIT
#include "TextPaneAccessible.h"

#include <QAbstractScrollArea>

#include <algorithm>
#include <climits>
#include <memory>

#include "TextPane.h"

namespace quorvel {
namespace {

int ToOffset(qsizetype position) {
    return static_cast<int>(std::clamp<qsizetype>(position, 0, INT_MAX));
}

}  // namespace

TextPaneAccessible::TextPaneAccessible(TextPane* pane)
    : QAccessibleWidget(pane, QAccessible::EditableText) {}

QAccessibleInterface* TextPaneAccessible::Create(const QString& key, QObject* object) {
    if (key != QLatin1String("quorvel::TextPane")) return nullptr;
    auto* pane = qobject_cast<TextPane*>(object);
    if (pane == nullptr) return nullptr;
    // Qt's accessibility cache owns the interface from here on.
    return std::make_unique<TextPaneAccessible>(pane).release();
}

TextPane* TextPaneAccessible::Pane() const {
    return static_cast<TextPane*>(widget());
}

void* TextPaneAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TextPaneAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.editable = false;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void TextPaneAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = 0;
    const TextPane* pane = Pane();
    if (selectionIndex != 0 || pane->SelLength() == 0) return;
    *startOffset = ToOffset(pane->SelStart());
    *endOffset = ToOffset(pane->SelStart() + pane->SelLength());
}

int TextPaneAccessible::selectionCount() const {
    return Pane()->SelLength() > 0 ? 1 : 0;
}

// The pane has one selection; adding one replaces it.
void TextPaneAccessible::addSelection(int startOffset, int endOffset) {
    Pane()->SetSelection(startOffset, endOffset);
}

void TextPaneAccessible::removeSelection(int selectionIndex) {
    if (selectionIndex == 0) Pane()->SetSelection(Pane()->CaretPosition(), Pane()->CaretPosition());
}

void TextPaneAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
    if (selectionIndex == 0) Pane()->SetSelection(startOffset, endOffset);
}

int TextPaneAccessible::cursorPosition() const {
    return ToOffset(Pane()->CaretPosition());
}

void TextPaneAccessible::setCursorPosition(int position) {
    Pane()->SetSelection(position, position);
    Pane()->EnsureVisible(position);
}

QString TextPaneAccessible::text(int startOffset, int endOffset) const {
    return Pane()->TextRange(startOffset, endOffset);
}

int TextPaneAccessible::characterCount() const {
    return ToOffset(Pane()->Length());
}

qsizetype TextPaneAccessible::ResolveOffset(int offset) const {
    // -2 stands for the insertion point in Qt's text interface.
    return offset == -2 ? Pane()->CaretPosition() : offset;
}

std::pair<qsizetype, qsizetype> TextPaneAccessible::UnitAt(
    qsizetype offset, QAccessible::TextBoundaryType boundaryType) const {
    const TextPane* pane = Pane();
    const qsizetype length = pane->Length();
    if (offset >= length) return {length, length};
    switch (boundaryType) {
        case QAccessible::CharBoundary: {
            const QString pair = pane->TextRange(offset, offset + 2);
            const qsizetype width =
                pair.size() == 2 && pair[0].isHighSurrogate() && pair[1].isLowSurrogate() ? 2 : 1;
            return {offset, offset + width};
        }
        case QAccessible::WordBoundary: {
            // A line's '\n' is a unit of its own, so that stepping from word
            // to word crosses line ends.
            if (pane->LineBounds(offset).second == offset) return {offset, offset + 1};
            return pane->WordBounds(offset);
        }
        case QAccessible::NoBoundary:
            return {0, length};
        case QAccessible::SentenceBoundary:
        case QAccessible::ParagraphBoundary:
        case QAccessible::LineBoundary:
            break;
    }
    const auto [begin, end] = pane->LineBounds(offset);
    return {begin, std::min(length, end + 1)};
}

QString TextPaneAccessible::Answer(std::pair<qsizetype, qsizetype> range, int* startOffset,
                                   int* endOffset) const {
    *startOffset = ToOffset(range.first);
    *endOffset = ToOffset(range.second);
    return Pane()->TextRange(range.first, range.second);
}

QString TextPaneAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int* startOffset, int* endOffset) const {
    const qsizetype at = ResolveOffset(offset);
    *startOffset = *endOffset = -1;
    if (at < 0 || at > Pane()->Length()) return {};
    return Answer(UnitAt(at, boundaryType), startOffset, endOffset);
}

QString TextPaneAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int* startOffset, int* endOffset) const {
    const qsizetype at = ResolveOffset(offset);
    *startOffset = *endOffset = -1;
    if (at < 0 || at > Pane()->Length()) return {};
    if (boundaryType == QAccessible::NoBoundary) return Answer({0, at}, startOffset, endOffset);
    const qsizetype begin = UnitAt(at, boundaryType).first;
    if (begin == 0) return Answer({0, 0}, startOffset, endOffset);
    return Answer(UnitAt(begin - 1, boundaryType), startOffset, endOffset);
}

QString TextPaneAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int* startOffset, int* endOffset) const {
    const qsizetype at = ResolveOffset(offset);
    const qsizetype length = Pane()->Length();
    *startOffset = *endOffset = -1;
    if (at < 0 || at > length) return {};
    if (boundaryType == QAccessible::NoBoundary)
        return Answer({at, length}, startOffset, endOffset);
    return Answer(UnitAt(UnitAt(at, boundaryType).second, boundaryType), startOffset, endOffset);
}

QRect TextPaneAccessible::characterRect(int offset) const {
    const TextPane* pane = Pane();
    const QRect rect = pane->PositionRect(offset);
    return QRect(pane->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int TextPaneAccessible::offsetAtPoint(const QPoint& point) const {
    const TextPane* pane = Pane();
    const QPoint local = pane->viewport()->mapFromGlobal(point);
    if (!pane->viewport()->rect().contains(local)) return -1;
    return ToOffset(pane->PositionAt(local));
}

void TextPaneAccessible::scrollToSubstring(int startIndex, int endIndex) {
    Pane()->EnsureVisible(endIndex);
    Pane()->EnsureVisible(startIndex);
}

// The pane has one font and no formatting: one run over the whole text.
QString TextPaneAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    const int count = characterCount();
    if (offset < 0 || offset > count) {
        *startOffset = *endOffset = -1;
        return {};
    }
    *startOffset = 0;
    *endOffset = count;
    return {};
}

}  // namespace quorvel
