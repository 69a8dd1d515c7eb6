// SPDX-License-Identifier: MIT
#pragma once

#include <QAccessibleWidget>

#include <utility>

namespace quorvel {

class TextPane;

// What assistive technology (AT-SPI on Linux) sees of a text pane: a read-only
// multi-line text whose characters, lines, words, selection and insertion
// point can be read through the text interface. Offsets are the pane's UTF-16
// positions. The interface never reads more of the text than it is asked for.
class TextPaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit TextPaneAccessible(TextPane* pane);

    // The interface factory for QAccessible::installFactory: this interface
    // for a TextPane, nothing for anything else.
    static QAccessibleInterface* Create(const QString& key, QObject* object);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int* startOffset, int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int* startOffset, int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    using QAccessibleWidget::text;

  private:
    TextPane* Pane() const;
    // The character, word or line (with its '\n') that holds an offset.
    std::pair<qsizetype, qsizetype> UnitAt(qsizetype offset,
                                           QAccessible::TextBoundaryType boundaryType) const;
    QString Answer(std::pair<qsizetype, qsizetype> range, int* startOffset, int* endOffset) const;
    qsizetype ResolveOffset(int offset) const;
};

}  // namespace quorvel
