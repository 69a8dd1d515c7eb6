// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "BlockStore.h"
#include "TextPaneRowCodec.h"
#include "TextPaneRows.h"

namespace quorvel::textpane {

// The pane's text: well-formed UTF-8 bytes split into rows at '\n', with
// positions counted both in bytes and in UTF-16 units (the unit of every
// character position the pane hands out).
//
// A row is the text between two '\n' (the '\n' belongs to the row it ends);
// there is always at least one row, and text ending in '\n' has an empty last
// row, the open row, which later appends extend.
//
// Storage: every row but the open one is kept as the bytes it does not share
// with the row before it (see TextPaneRowCodec.h), in groups of kGroup rows
// whose first row is kept whole. A group's entry holds where its first record
// starts and the byte and UTF-16 positions of its first row; a row is found by
// reading the group's records up to it, and decoded by replaying them from the
// last row kept whole. A row is also kept whole when the rows to replay before
// it would pass kReplayBytes, which bounds the cost of reading any row when
// rows are long. A group whose unit span equals its byte span is pure ASCII
// (every multi-byte sequence is shorter in UTF-16 than in bytes), so for ASCII
// text a position needs only the records' lengths, never the decoded rows.
//
// The last row read is kept decoded, so reading rows in order decodes each
// once. The last finished row is kept too: the next row is encoded against it
// without reading the store, so an append costs the size of what it adds.
class TextPaneLines final : public TextPaneRows {
  public:
    TextPaneLines();

    // The bytes must be well-formed UTF-8. O(wellFormed.size()).
    void Append(std::string_view wellFormed);
    void Clear();
    // Rows prepared apart (say on another thread) join these without being
    // encoded again, where the text is at a group boundary: no text after
    // the last '\n', and a multiple of kGroup rows before it. JoinsAfter:
    // whether appending `rows` more rows, each ending in '\n', reaches one.
    // AppendPrepared leaves `rows` empty; O(rows / kGroup).
    bool JoinsAfter(std::size_t rows) const {
        return open_.empty() && (closed_ + rows) % kGroup == 0;
    }
    void AppendPrepared(TextPaneLines& rows);
    // Keeps the first `byteSize` bytes; the cut must lie on a character boundary.
    void Truncate(std::uint64_t byteSize);

    std::uint64_t ByteSize() const override { return bytes_; }
    std::uint64_t Utf16Size() const override { return units_; }
    std::size_t RowCount() const override { return closed_ + 1; }
    bool EndsWithNewline() const override { return bytes_ > 0 && open_.empty(); }

    // Byte range of a row without its '\n'.
    std::uint64_t RowBegin(std::size_t row) const;
    std::uint64_t RowEnd(std::size_t row) const;
    std::uint64_t RowUnitsBegin(std::size_t row) const override;
    std::uint64_t RowUnits(std::size_t row) const override;
    std::size_t RowOfUnit(std::uint64_t position) const override;
    std::uint64_t ByteOfUnit(std::uint64_t position, bool roundUp) const override;

    std::string Bytes(std::uint64_t begin, std::uint64_t end) const override;
    QString Decode(std::uint64_t begin, std::uint64_t end) const override;
    QString RowText(std::size_t row) const override;
    // The bytes of a row without its '\n', valid until the next call on this
    // object.
    std::string_view RowBytes(std::size_t row) const;

    // The longest row in bytes seen since the last Clear (it may overstate
    // after a Truncate).
    std::uint64_t LongestRowBytes() const override { return longestRow_; }
    std::size_t MemoryBytes() const override;

    static constexpr std::size_t kGroup = 64;
    static constexpr std::size_t kReplayBytes = 64 * 1024;
    static constexpr std::size_t kBlockSize = 64 * 1024;  // of the records

  private:
    struct Group {
        BlockPos record;      // of its first row, once that row is finished
        std::uint64_t byte;   // where its first row begins
        std::uint64_t units;  // the same in UTF-16 units
    };
    // A row reached by reading its group's records in order from the group's
    // first row, which is always kept whole. The open row, last, has no record.
    struct Cursor {
        std::size_t row = 0;
        std::uint64_t begin = 0;   // where the row begins
        BlockPos pos;              // where its record begins
        const char* in = nullptr;  // its record
        RowRecord record;          // that record's numbers; of the open row, only rowSize
        std::size_t replay = 0;    // bytes of the rows since the last one kept whole, it included
    };
    // The row read last, kept decoded.
    struct Reader {
        bool valid = false;
        Cursor at;
        std::string text;
        std::string scratch;
    };

    void FinishRow(std::string_view row);
    // A cursor on a group's first row, on the next row, and on any row; At
    // can also give the cursor on the last row kept whole on the way.
    Cursor First(std::size_t group) const;
    void Next(Cursor& cursor) const;
    Cursor At(std::size_t row, Cursor* lastWhole = nullptr) const;
    void Load(Cursor& cursor) const;
    std::size_t RowSize(std::size_t row) const;
    bool GroupIsAscii(std::size_t group) const;
    std::size_t GroupOfUnit(std::uint64_t position) const;
    // The row holding a byte offset (its '\n' included), and where it begins.
    std::pair<std::size_t, std::uint64_t> RowOfByte(std::uint64_t byte) const;
    // The row holding a UTF-16 position, and the units before it.
    std::pair<std::size_t, std::uint64_t> RowOfUnitAndStart(std::uint64_t position) const;
    // UTF-16 units before a row, counted from its group's entry row by row.
    std::uint64_t CountUnitsBefore(std::size_t row) const;
    template <typename Visit>
    void ForEachSpan(std::uint64_t begin, std::uint64_t end, Visit&& visit) const;

    // Small pages, as the scanner's lists: fresh huge pages can cost more
    // than the faults they save (on a virtual machine that gives its free
    // memory back to the host).
    BlockStore records_{kBlockSize};
    std::vector<Group> groups_;  // one per kGroup rows, the open row's included
    std::size_t closed_ = 0;     // rows finished by '\n'; the open row's index
    std::string open_;           // the open row's bytes
    std::string last_;           // the last finished row, or empty to store the next whole
    std::size_t replay_ = 0;     // bytes of the rows since the last one kept whole, it included
    std::uint64_t bytes_ = 0;
    std::uint64_t units_ = 0;
    std::uint64_t longestRow_ = 0;
    mutable Reader reader_;
};

}  // namespace quorvel::textpane
