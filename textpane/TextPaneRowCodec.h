// SPDX-License-Identifier: MIT
#pragma once
// How a text pane stores a row: as the bytes it does not share with the row
// before it. A listing's consecutive rows mostly differ in a short stretch
// (the same folder's path in front, or the same folder's fields behind), so a
// row is kept as a few numbers and the bytes in between.
//
// A piece of the row is rebuilt as the first `prefix` bytes of the matching
// piece of the previous row, `middle` stored bytes, and the last `suffix`
// bytes of that piece; prefix + suffix never exceeds the length of either
// piece, so the two shared parts never overlap. A row is one piece, or, when
// it and the previous row have the same number of tab-separated columns, one
// piece per column (rejoined with tabs): a row that moves to another folder
// still shares the start of each path column with the row before. The record:
//
//   whole row:   varint prefix*2,       varint suffix, varint middle, middle
//   by column:   varint columns*2 + 1,  (varint prefix, varint suffix,
//                                        varint middle) per column, middles
//
// A row planned against an empty previous row is stored whole (prefix =
// suffix = 0) and decodes without one. Shared parts may cut a multi-byte
// character: only the decoded row as a whole is well-formed, which is all
// that is needed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::textpane {

struct RowPiece {
    std::size_t prefix = 0;
    std::size_t suffix = 0;
    std::size_t middle = 0;  // bytes stored
    std::size_t at = 0;      // where the stored bytes begin in the row (when planning)
};

struct RowRecord {
    // Rows with more columns than this are kept as one piece.
    static constexpr std::size_t kMaxColumns = 8;

    bool byColumn = false;
    std::size_t pieces = 1;
    std::array<RowPiece, kMaxColumns> piece{};
    std::size_t header = 0;  // bytes of the numbers
    std::size_t stored = 0;  // bytes of all middles
    std::size_t rowSize = 0;

    std::size_t RecordSize() const { return header + stored; }
    // Decodes without the previous row.
    bool Whole() const { return !byColumn && piece[0].prefix == 0 && piece[0].suffix == 0; }
};

// The smallest record of `row` against `previous` (empty for a row stored whole).
RowRecord PlanRow(std::string_view previous, std::string_view row);
// Writes the record planned for `row` to `out`, which has RecordSize() bytes.
void WriteRow(const RowRecord& record, std::string_view row, char* out);
// The numbers of the record at `in`.
RowRecord ReadRow(const char* in);
// The row of the record at `in` (read by ReadRow) into `out`, replacing what
// it held; `previous` must be the row the record was planned against, and must
// not be `out`.
void DecodeRow(const RowRecord& record, const char* in, std::string_view previous,
               std::string& out);

// Bytes at the start of both texts that are equal.
std::size_t SharedPrefix(std::string_view a, std::string_view b);
// Bytes at the end of both texts that are equal, at most `limit`.
std::size_t SharedSuffix(std::string_view a, std::string_view b, std::size_t limit);

}  // namespace quorvel::textpane
