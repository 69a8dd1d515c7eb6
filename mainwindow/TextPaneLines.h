#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "TextPaneBytes.h"

namespace quorvel::textpane {

// The pane's text: well-formed UTF-8 bytes split into rows at '\n', with
// positions counted both in bytes and in UTF-16 units (the unit of every
// character position the pane hands out).
//
// A row is the text between two '\n' (the '\n' belongs to the row it ends);
// there is always at least one row, and text ending in '\n' has an empty last
// row. Memory: the bytes, 8 bytes per row for its start, and the UTF-16
// position of every 64th row. The UTF-16 position of any other row is found
// from its group's checkpoint; a group whose unit span equals its byte span is
// pure ASCII (every multi-byte sequence is shorter in UTF-16 than in bytes), so
// for the common ASCII text no byte is ever counted twice.
class TextPaneLines {
  public:
    TextPaneLines();

    // The bytes must be well-formed UTF-8. O(bytes.size()).
    void Append(std::string_view wellFormed);
    void Clear();
    // Keeps the first `byteSize` bytes; the cut must lie on a character boundary.
    void Truncate(std::uint64_t byteSize);

    std::uint64_t ByteSize() const { return bytes_.Size(); }
    std::uint64_t Utf16Size() const { return units_; }
    std::size_t RowCount() const { return rowStarts_.size(); }
    bool EndsWithNewline() const { return ByteSize() > 0 && rowStarts_.back() == ByteSize(); }

    // Byte range of a row without its '\n'.
    std::uint64_t RowBegin(std::size_t row) const { return rowStarts_[row]; }
    std::uint64_t RowEnd(std::size_t row) const;
    std::uint64_t RowUnitsBegin(std::size_t row) const;
    // Length of a row in UTF-16 units, without its '\n'.
    std::uint64_t RowUnits(std::size_t row) const;
    // The row holding a UTF-16 position; the position of a '\n' belongs to
    // the row it ends. Positions past the end give the last row.
    std::size_t RowOfUnit(std::uint64_t position) const;
    // Byte offset of a UTF-16 position (see ByteOffsetOfUnits for `roundUp`).
    std::uint64_t ByteOfUnit(std::uint64_t position, bool roundUp) const;

    std::string Bytes(std::uint64_t begin, std::uint64_t end) const {
        return bytes_.Copy(begin, end);
    }
    QString Decode(std::uint64_t begin, std::uint64_t end) const;
    QString RowText(std::size_t row) const { return Decode(RowBegin(row), RowEnd(row)); }

    // The longest row in bytes seen since the last Clear (it may overstate
    // after a Truncate).
    std::uint64_t LongestRowBytes() const { return longestRow_; }
    std::size_t MemoryBytes() const;

  private:
    static constexpr std::size_t kGroup = 64;

    std::uint64_t CountUnits(std::uint64_t begin, std::uint64_t end) const;
    bool GroupIsAscii(std::size_t group) const;
    void AddRowStart(std::uint64_t byte, std::uint64_t units);

    TextPaneBytes bytes_;
    std::deque<std::uint64_t> rowStarts_;     // byte offset of each row
    std::vector<std::uint64_t> checkpoints_;  // UTF-16 position of rows 0, 64, 128, ...
    std::uint64_t units_ = 0;
    std::uint64_t longestRow_ = 0;
};

}  // namespace quorvel::textpane
