// SPDX-License-Identifier: MIT
#pragma once
// What the text pane counts as a word: a run of characters of one class, the
// classes being word characters (letters, digits, marks and '_'), blanks, and
// all others. A double click selects a word, a drag after it extends by
// words, Ctrl+arrows move from word to word, and assistive technology reads
// words, all by this one definition. A surrogate pair's halves share a class,
// so a word never splits a character.

#include <QStringView>

#include <utility>

namespace quorvel::textpane {

// The word at a column of a row: the one holding the character there, or the
// one before it at the row's end; [begin, end) in UTF-16 units. Empty for an
// empty row.
std::pair<qsizetype, qsizetype> WordAt(QStringView row, qsizetype column);
// Where the next word that is not blanks begins after a column: past the
// word there and the blanks after it. The row's end when there is none.
qsizetype NextWordStart(QStringView row, qsizetype column);
// Where the word before a column begins, blanks before the column skipped.
qsizetype PreviousWordStart(QStringView row, qsizetype column);

}  // namespace quorvel::textpane
