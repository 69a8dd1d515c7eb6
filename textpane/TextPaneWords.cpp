// SPDX-License-Identifier: MIT
#include "TextPaneWords.h"

#include <algorithm>

namespace quorvel::textpane {
namespace {

enum class WordClass { Word, Blank, Other };

WordClass ClassOf(QChar c) {
    if (c.isLetterOrNumber() || c == u'_' || c.isMark()) return WordClass::Word;
    if (c.isSpace()) return WordClass::Blank;
    return WordClass::Other;
}

// The end of the run of one class that starts at `column`.
qsizetype RunEnd(QStringView row, qsizetype column) {
    const WordClass kind = ClassOf(row[column]);
    while (column < row.size() && ClassOf(row[column]) == kind) ++column;
    return column;
}

// The start of the run of one class that ends at `column`.
qsizetype RunStart(QStringView row, qsizetype column) {
    const WordClass kind = ClassOf(row[column - 1]);
    while (column > 0 && ClassOf(row[column - 1]) == kind) --column;
    return column;
}

}  // namespace

std::pair<qsizetype, qsizetype> WordAt(QStringView row, qsizetype column) {
    if (row.isEmpty()) return {0, 0};
    const qsizetype at = std::clamp<qsizetype>(column, 0, row.size() - 1);
    return {RunStart(row, at + 1), RunEnd(row, at)};
}

qsizetype NextWordStart(QStringView row, qsizetype column) {
    if (column >= row.size()) return row.size();
    column = RunEnd(row, std::max<qsizetype>(column, 0));
    if (column < row.size() && ClassOf(row[column]) == WordClass::Blank)
        column = RunEnd(row, column);
    return column;
}

qsizetype PreviousWordStart(QStringView row, qsizetype column) {
    column = std::min(column, row.size());
    if (column <= 0) return 0;
    if (ClassOf(row[column - 1]) == WordClass::Blank) column = RunStart(row, column);
    return column > 0 ? RunStart(row, column) : 0;
}

}  // namespace quorvel::textpane
