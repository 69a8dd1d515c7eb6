// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

#include "TextPaneLines.h"
#include "TextPaneSourceRows.h"

class QKeyEvent;
class QTextLayout;

namespace quorvel {

// A text pane without its widget: the text, the selection and the insertion
// point, and what keys, clicks and drags do to them, the way QPlainTextEdit
// leaves them to its text control. TextPane shows a control and forwards its
// events to it; a test can drive one without any window. Positions are UTF-16
// units of the whole text, as QString counts them.
//
// Lines: the text is split at '\n'. A '\n' ends its line and does not open a
// new one, so "a\nb" and "a\nb\n" both have two lines and the empty text has
// none. The insertion point after a final '\n' sits at the start of the row
// below the last line.
//
// The text is either the control's own (appended, or set) or, in an empty
// control given a source, that source's lines (see TextPaneSourceRows): a
// view, until something changes the text otherwise; then the control takes
// the lines shown so far into its own text and goes on from there.
class TextPaneControl {
  public:
    // What the control asks of the view that shows it. Without a view,
    // nothing is shown and a page is one row.
    class View {
      public:
        // The selection or the insertion point has changed.
        virtual void SelectionChanged() = 0;
        // The insertion point has moved to `position`, which should be seen.
        virtual void ShowPosition(qsizetype position) = 0;
        // Rows in a page, and scrolling by rows, for page moves.
        virtual int PageRows() const = 0;
        virtual void ScrollRows(int rows) = 0;

      protected:
        ~View() = default;
    };

    enum class Motion {
        PreviousCharacter,
        NextCharacter,
        PreviousWord,
        NextWord,
        PreviousLine,
        NextLine,
        PreviousPage,
        NextPage,
        LineStart,
        LineEnd,
        DocumentStart,
        DocumentEnd
    };

    TextPaneControl();
    void SetView(View* view) { view_ = view; }

    // --- the text ---
    QString Text() const;      // O(text)
    qsizetype Length() const;  // in UTF-16 units
    qsizetype LineCount() const;
    QString Line(qsizetype i) const;  // without its '\n'; empty when out of range
    QString TextRange(qsizetype begin, qsizetype end) const;
    // The line (without '\n') and the word around a position, as [begin, end).
    std::pair<qsizetype, qsizetype> LineBounds(qsizetype position) const;
    std::pair<qsizetype, qsizetype> WordBounds(qsizetype position) const;
    std::size_t MemoryBytes() const;  // bytes held for the text
    // [begin, end) as consecutive pieces of at most `units` UTF-16 units
    // each, one at a time: visit(position, piece). A piece that would end
    // between the halves of a surrogate pair takes the pair whole.
    template <typename Visit>
    void ForEachPiece(qsizetype begin, qsizetype end, qsizetype units, Visit&& visit) const {
        while (begin < end) {
            const QString piece = TextRange(begin, std::min(end, begin + units));
            if (piece.isEmpty()) return;
            visit(begin, piece);
            begin += piece.size();
        }
    }

    // Add text at the very end and leave the insertion point just after it.
    // Append decodes each call on its own: ill-formed UTF-8 (including a
    // character split between two calls) shows as U+FFFD, one per bad
    // stretch. AppendWellFormed takes bytes known to be well-formed without
    // checking them again. O(size of the addition) amortised.
    void Append(std::string_view utf8);
    void Append(const QString& text);
    void AppendWellFormed(std::string_view utf8);
    // Adds the lines of `rows` at the end, as appending their text would,
    // and remembers their source: SourceGrew adds the lines it has gained
    // since. An empty control shows them without copying their text.
    void AppendSource(std::unique_ptr<textpane::TextPaneSourceRows> rows);
    void SourceGrew();
    // Replaces [begin, end) and leaves the insertion point after the new text;
    // costs the text after `end`.
    void Replace(qsizetype begin, qsizetype end, const QString& text);
    void Clear();

    // --- rows, as the view lays them out ---
    const textpane::TextPaneRows& Rows() const {
        return viewRows_ ? static_cast<const textpane::TextPaneRows&>(*viewRows_) : lines_;
    }
    std::size_t RowOf(qsizetype position) const;
    qsizetype RowStart(std::size_t row) const;
    void SetRowFormat(const QFont& font, Qt::LayoutDirection direction);
    // One row on one line, control characters shown as their pictures.
    void LayoutRow(QTextLayout& layout, std::size_t row) const;
    // The width rows are laid out in: far wider than any row can be painted,
    // as QTextLayout's fixed-point widths overflow near 3.3e7.
    static constexpr qreal kUnlimitedWidth = 1.0e7;

    // --- selection and insertion point ---
    qsizetype SelStart() const { return std::min(anchor_, caret_); }
    qsizetype SelLength() const { return std::max(anchor_, caret_) - SelStart(); }
    QString SelText() const;
    // The moving end of the selection; SelStart when it was made backwards.
    qsizetype CaretPosition() const { return caret_; }
    void SetSelection(qsizetype anchor, qsizetype caret);
    void SelectAll();
    void Copy() const;
    // Moves the insertion point, keeping the anchor when extending.
    void MoveCaret(qsizetype position, bool extend);
    void Move(Motion motion, bool extend);
    // Copy, Select All and the motion keys; false for any other key.
    bool HandleKey(const QKeyEvent& event);

    // --- the mouse ---
    // A press puts the insertion point at a position (or extends to it); a
    // second and third click select the word and the line (with its '\n'),
    // and a drag after any of them extends the selection by that unit.
    void Press(qsizetype position, bool extend);
    void DoubleClick(qsizetype position);
    void TripleClick(qsizetype position);
    void DragTo(qsizetype position);
    // Ends a drag and offers its selection to the selection clipboard;
    // false when no drag was under way.
    bool Release();
    bool Dragging() const { return dragUnit_ != DragUnit::None; }

  private:
    enum class DragUnit { None, Character, Word, Line };

    qsizetype MotionTarget(Motion motion, bool extend, qreal& goal);
    std::pair<qsizetype, qsizetype> LineWithNewline(qsizetype position) const;
    // Makes the text the control's own before it is changed otherwise.
    void TakeText();
    void AppendSourceLines(const textpane::TextPaneSource& source, std::size_t first,
                           std::size_t last);
    void CaretToEnd();
    void StartDrag(DragUnit unit, std::pair<qsizetype, qsizetype> origin);

    textpane::TextPaneLines lines_;
    // The lines shown from a source, while the text is a view of them.
    std::unique_ptr<textpane::TextPaneSourceRows> viewRows_;
    // The source last appended and how many of its lines the text holds.
    std::shared_ptr<const textpane::TextPaneSource> source_;
    std::size_t sourceLines_ = 0;
    View* view_ = nullptr;
    qsizetype anchor_ = 0;
    qsizetype caret_ = 0;
    qreal goalX_ = -1;  // column kept by up/down moves
    QFont font_;
    Qt::LayoutDirection direction_ = Qt::LeftToRight;
    qreal ascent_ = 0;
    qreal tabStop_ = 8;
    DragUnit dragUnit_ = DragUnit::None;
    std::pair<qsizetype, qsizetype> dragOrigin_;  // what the first click selected
};

}  // namespace quorvel
