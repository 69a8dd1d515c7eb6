// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <QString>

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

#include "TextPaneControl.h"

namespace quorvel {

// A read-only, multi-line text box for long, growing listings: it stands in
// for a rich text box, with the same four operations (whole text, selection
// start, selection length, selected text), and keeps a million lines cheap.
//
// The pane is a view of a TextPaneControl, which holds the text (as UTF-8,
// each row stored as what it does not share with the row before it) or shows
// the lines of a source without holding them, the selection, and what keys
// and the mouse do; the pane paints it and forwards its events. Only the rows
// in view are decoded, laid out and painted, at a fixed row height from the
// font. Positions and lines are the control's.
//
// Assistive technology hears of changed text in events of at most
// kAccessibleEventUnits each: a pane of a million lines is never decoded
// whole to tell it of a change, only when it asks for the whole text. The
// events must carry the text itself: AT-SPI's text-changed event holds it
// (its length is the change's), and Qt's bridge sends nothing for an event
// without text, nor for any of the text-less events (VisibleDataChanged and
// the like). They cost nothing while accessibility is off, as it is until an
// assistive client switches it on.
//
// View: when the view shows the last line, appended lines keep it scrolled to
// the end; once the user scrolls up, it stays where it is.
class TextPane : public QAbstractScrollArea, private TextPaneControl::View {
    Q_OBJECT
  public:
    // The most text one accessibility event carries (see above).
    static constexpr qsizetype kAccessibleEventUnits = 32 * 1024;

    explicit TextPane(QWidget* parent = nullptr);
    ~TextPane() override;

    // Whole text: lines joined by '\n' (a trailing '\n' after the last line
    // when the text ends with one). O(text).
    QString Text() const { return control_.Text(); }
    // Replaces the text and puts the insertion point at its start; SetText({})
    // empties the pane.
    void SetText(const QString& text);
    void Clear();
    // Adds text at the very end and leaves the insertion point after it (see
    // TextPaneControl::Append); AppendWellFormed takes bytes known to be
    // well-formed UTF-8 without checking them again. Each only schedules the
    // view's update, which Qt paints when the event loop next runs.
    void Append(std::string_view utf8);
    void Append(const QString& text);
    void AppendWellFormed(std::string_view utf8);
    // Lines from a source, added as appending their text would (see
    // TextPaneControl::AppendSource): an empty pane shows them without a
    // copy. SourceGrew adds the lines the source has gained since.
    void AppendSource(std::unique_ptr<textpane::TextPaneSourceRows> rows);
    void SourceGrew();
    qsizetype LineCount() const { return control_.LineCount(); }
    QString Line(qsizetype i) const { return control_.Line(i); }

    // The rich-text-box operations, in UTF-16 units of the whole text. As in a
    // rich text box, setting the start clamps it to the text and empties the
    // selection; the length is clamped to what follows the start.
    qsizetype SelStart() const { return control_.SelStart(); }
    void SetSelStart(qsizetype start);
    qsizetype SelLength() const { return control_.SelLength(); }
    void SetSelLength(qsizetype length);
    QString SelText() const { return control_.SelText(); }
    // Replaces the selection and leaves the insertion point after the new
    // text. At the end with length 0 this is an O(1) append; elsewhere it
    // costs the text after the selection.
    void SetSelText(const QString& text);
    std::size_t MemoryBytes() const { return control_.MemoryBytes(); }

    qsizetype Length() const { return control_.Length(); }
    QString TextRange(qsizetype begin, qsizetype end) const {
        return control_.TextRange(begin, end);
    }
    qsizetype CaretPosition() const { return control_.CaretPosition(); }
    const TextPaneControl& Control() const { return control_; }
    void SetSelection(qsizetype anchor, qsizetype caret) { control_.SetSelection(anchor, caret); }
    void SelectAll() { control_.SelectAll(); }
    void Copy() const { control_.Copy(); }
    std::pair<qsizetype, qsizetype> LineBounds(qsizetype position) const {
        return control_.LineBounds(position);
    }
    std::pair<qsizetype, qsizetype> WordBounds(qsizetype position) const {
        return control_.WordBounds(position);
    }
    // Viewport geometry of a position, and the position nearest a viewport point.
    QRect PositionRect(qsizetype position) const;
    qsizetype PositionAt(QPoint viewportPoint) const;
    void EnsureVisible(qsizetype position);
    int FirstVisibleLine() const;

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
    // TextPaneControl::View
    void SelectionChanged() override;
    void ShowPosition(qsizetype position) override { EnsureVisible(position); }
    int PageRows() const override { return VisibleRows(); }
    void ScrollRows(int rows) override;

    void Appended(qsizetype from);
    void UpdateFontMetrics();
    void ScheduleSync();
    void SyncScrollBars();
    void ApplyScrollRanges(bool follow);
    void FlushAccessibleInsert();
    // Tells assistive technology that [begin, end) was inserted, or is about
    // to be removed, in events of at most kAccessibleEventUnits.
    void AnnounceInsert(qsizetype begin, qsizetype end);
    void AnnounceRemove(qsizetype begin, qsizetype end);
    void SyncIfPending();
    int VisibleRows() const;
    qreal OriginX() const;
    int RowTop(std::size_t row) const;

    TextPaneControl control_;
    int lineHeight_ = 1;
    qreal averageCharWidth_ = 1;
    qreal measuredWidth_ = 0;  // widest row painted so far
    bool syncPending_ = false;
    bool syncing_ = false;
    bool resyncNeeded_ = false;
    qsizetype accessibleInsertFrom_ = -1;  // start of text appended since AT last heard
    bool followTail_ = true;
    QPoint dragPoint_;
    QBasicTimer autoScroll_;
    QBasicTimer tripleClick_;
    QPoint tripleClickPoint_;
};

}  // namespace quorvel
