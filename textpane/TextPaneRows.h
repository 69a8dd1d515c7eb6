// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::textpane {

// A pane's text as its control reads it: well-formed UTF-8 split into rows
// at '\n', positions counted in bytes and in UTF-16 units. A row is the text
// between two '\n' (the '\n' belongs to the row it ends); there is always at
// least one row, and text ending in '\n' has an empty last row.
//
// Two kinds: the text the pane holds itself (TextPaneLines), and lines it
// shows from a source (TextPaneSourceRows).
class TextPaneRows {
  public:
    virtual ~TextPaneRows() = default;

    virtual std::uint64_t ByteSize() const = 0;
    virtual std::uint64_t Utf16Size() const = 0;
    virtual std::size_t RowCount() const = 0;
    virtual bool EndsWithNewline() const = 0;

    virtual std::uint64_t RowUnitsBegin(std::size_t row) const = 0;
    // Length of a row in UTF-16 units, without its '\n'.
    virtual std::uint64_t RowUnits(std::size_t row) const = 0;
    // The row holding a UTF-16 position; the position of a '\n' belongs to
    // the row it ends. Positions past the end give the last row.
    virtual std::size_t RowOfUnit(std::uint64_t position) const = 0;
    // Byte offset of a UTF-16 position; one between the halves of a
    // surrogate pair moves before that character, or after it with `roundUp`.
    virtual std::uint64_t ByteOfUnit(std::uint64_t position, bool roundUp) const = 0;

    virtual std::string Bytes(std::uint64_t begin, std::uint64_t end) const = 0;
    virtual QString Decode(std::uint64_t begin, std::uint64_t end) const = 0;
    virtual QString RowText(std::size_t row) const = 0;

    // The longest row in bytes (it may overstate after a cut).
    virtual std::uint64_t LongestRowBytes() const = 0;
    virtual std::size_t MemoryBytes() const = 0;

  protected:
    TextPaneRows() = default;
    TextPaneRows(const TextPaneRows&) = default;
    TextPaneRows& operator=(const TextPaneRows&) = default;
};

}  // namespace quorvel::textpane
