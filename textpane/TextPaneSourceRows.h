// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TextPaneRows.h"
#include "TextPaneSource.h"

namespace quorvel::textpane {

// A pane's rows taken from a source: the first Lines() lines of it, each
// followed by '\n' (so the text ends in '\n' once it has a line, with the
// empty row after it). The pane keeps no line's text: per group of kGroup
// lines, where the group begins in bytes and in UTF-16 units, and, for the
// group read last, each line's sizes; a position costs measuring at most one
// group's lines.
//
// Measuring is the one cost that grows with the lines: Extend measures the
// lines added since, so an owner can measure while its lines come in and
// show them at once when they are complete.
class TextPaneSourceRows final : public TextPaneRows {
  public:
    static constexpr std::size_t kGroup = 64;

    explicit TextPaneSourceRows(std::shared_ptr<const TextPaneSource> source);

    // Takes in the source's lines up to `lines` (clamped to its count).
    void Extend(std::size_t lines);
    void ExtendToSource() { Extend(source_->LineCount()); }
    std::size_t Lines() const { return lines_; }
    const std::shared_ptr<const TextPaneSource>& Source() const { return source_; }

    std::uint64_t ByteSize() const override { return bytes_; }
    std::uint64_t Utf16Size() const override { return units_; }
    std::size_t RowCount() const override { return lines_ + 1; }
    bool EndsWithNewline() const override { return lines_ > 0; }
    std::uint64_t RowUnitsBegin(std::size_t row) const override;
    std::uint64_t RowUnits(std::size_t row) const override;
    std::size_t RowOfUnit(std::uint64_t position) const override;
    std::uint64_t ByteOfUnit(std::uint64_t position, bool roundUp) const override;
    std::string Bytes(std::uint64_t begin, std::uint64_t end) const override;
    QString Decode(std::uint64_t begin, std::uint64_t end) const override;
    QString RowText(std::size_t row) const override;
    std::uint64_t LongestRowBytes() const override { return longest_; }
    std::size_t MemoryBytes() const override;

    // The bytes of a line (the empty last row included), valid until the
    // next call on this object.
    std::string_view RowBytes(std::size_t row) const;

  private:
    struct Start {
        std::uint64_t byte = 0;
        std::uint64_t units = 0;
    };
    // The sizes of a group's lines, measured once while the group is read.
    struct Sizes {
        std::size_t group = SIZE_MAX;
        std::size_t count = 0;
        std::array<TextPaneSource::LineSize, kGroup> line{};
    };

    const Sizes& GroupSizes(std::size_t group) const;
    TextPaneSource::LineSize Size(std::size_t row) const;
    Start RowStart(std::size_t row) const;
    // The row that holds the unit (or byte) position, and where it starts.
    std::pair<std::size_t, Start> RowOf(std::uint64_t position, bool units) const;
    template <typename Visit>
    void ForEachSpan(std::uint64_t begin, std::uint64_t end, Visit&& visit) const;

    std::shared_ptr<const TextPaneSource> source_;
    std::vector<Start> groups_;  // where each group of lines begins
    std::size_t lines_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t units_ = 0;
    std::uint64_t longest_ = 0;
    mutable Sizes sizes_;
    mutable std::size_t textRow_ = SIZE_MAX;
    mutable std::string text_;
};

}  // namespace quorvel::textpane
