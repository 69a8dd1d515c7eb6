#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <QString>

#include <cstddef>
#include <string_view>
#include <utility>

#include "TextPaneLines.h"

class QTextLayout;

namespace quorvel {

// A read-only, multi-line text box for long, growing listings: it stands in
// for a rich text box, with the same four operations (whole text, selection
// start, selection length, selected text), and keeps a million lines cheap.
//
// The text lives as UTF-8, each row stored as what it does not share with the
// row before it (see TextPaneLines); only the rows in view are decoded, laid
// out and painted, at a fixed row height from the font. Character positions
// are UTF-16 units of the whole text, as QString counts them.
//
// Lines: the text is split at '\n'. A '\n' ends its line and does not open a
// new one, so "a\nb" and "a\nb\n" both have two lines and the empty text has
// none. The insertion point after a final '\n' sits at the start of the row
// below the last line.
//
// View: when the view shows the last line, appended lines keep it scrolled to
// the end; once the user scrolls up, it stays where it is.
class TextPane : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit TextPane(QWidget* parent = nullptr);
    ~TextPane() override;

    // Whole text: lines joined by '\n' (a trailing '\n' after the last line
    // when the text ends with one). O(text).
    QString Text() const;
    // Replaces the text and puts the insertion point at its start; SetText({})
    // empties the pane.
    void SetText(const QString& text);
    void Clear();
    // Adds text at the very end and leaves the insertion point (selection
    // start, length 0) just after it. Each call is decoded on its own:
    // ill-formed UTF-8 (including a character split between two calls) shows
    // as U+FFFD, one per bad stretch, and is never dropped. O(size of the
    // addition) amortised; it only schedules the view's update, which Qt
    // paints when the event loop next runs.
    void Append(std::string_view utf8);
    void Append(const QString& text);
    // The same for bytes that are known to be well-formed UTF-8, which are
    // not checked again.
    void AppendWellFormed(std::string_view utf8);
    qsizetype LineCount() const;
    QString Line(qsizetype i) const;  // without its '\n'; empty when out of range

    // The rich-text-box operations, in UTF-16 units of the whole text. As in a
    // rich text box, setting the start clamps it to the text and empties the
    // selection; the length is clamped to what follows the start.
    qsizetype SelStart() const;
    void SetSelStart(qsizetype start);
    qsizetype SelLength() const;
    void SetSelLength(qsizetype length);
    QString SelText() const;
    // Replaces the selection and leaves the insertion point after the new
    // text. At the end with length 0 this is an O(1) append; elsewhere it
    // costs the text after the selection.
    void SetSelText(const QString& text);
    std::size_t MemoryBytes() const;  // bytes held for the text

    qsizetype Length() const;  // UTF-16 units of the whole text
    QString TextRange(qsizetype begin, qsizetype end) const;
    // The moving end of the selection; SelStart when the selection was made
    // backwards.
    qsizetype CaretPosition() const { return caret_; }
    void SetSelection(qsizetype anchor, qsizetype caret);
    void SelectAll();
    void Copy() const;
    // The line (without '\n') and the word around a position, as [begin, end).
    std::pair<qsizetype, qsizetype> LineBounds(qsizetype position) const;
    std::pair<qsizetype, qsizetype> WordBounds(qsizetype position) const;
    // Viewport geometry of a position, and the position nearest a viewport point.
    QRect PositionRect(qsizetype position) const;
    qsizetype PositionAt(QPoint viewportPoint) const;
    void EnsureVisible(qsizetype position);
    int FirstVisibleLine() const;

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

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    enum class DragUnit { None, Character, Word, Line };

    void ReplaceRange(qsizetype begin, qsizetype end, const QString& text);
    void UpdateFontMetrics();
    void ScheduleSync();
    void SyncScrollBars();
    void ApplyScrollRanges(bool follow);
    void FlushAccessibleInsert();
    void SyncIfPending();
    int VisibleRows() const;
    qreal OriginX() const;
    int RowTop(std::size_t row) const;
    std::size_t RowOf(qsizetype position) const;
    qsizetype RowStart(std::size_t row) const;
    void LayoutRow(QTextLayout& layout, std::size_t row) const;
    qsizetype MotionTarget(Motion motion, bool extend, qreal& goal);
    void MoveCaret(qsizetype position, bool extend);
    void DragTo(QPoint viewportPoint);
    void NotifySelection();
    void CopyToSelectionClipboard() const;

    textpane::TextPaneLines lines_;
    qsizetype anchor_ = 0;
    qsizetype caret_ = 0;
    int lineHeight_ = 1;
    qreal ascent_ = 0;
    qreal tabStop_ = 8;
    qreal averageCharWidth_ = 1;
    qreal measuredWidth_ = 0;  // widest row painted so far
    qreal goalX_ = -1;         // column kept by up/down moves
    bool syncPending_ = false;
    bool syncing_ = false;
    bool resyncNeeded_ = false;
    qsizetype accessibleInsertFrom_ = -1;  // start of text appended since AT last heard
    bool followTail_ = true;
    DragUnit dragUnit_ = DragUnit::None;
    std::pair<qsizetype, qsizetype> dragOrigin_;  // what the first click selected
    QPoint dragPoint_;
    QBasicTimer autoScroll_;
    QBasicTimer tripleClick_;
    QPoint tripleClickPoint_;
};

}  // namespace quorvel
