// SPDX-License-Identifier: MIT
#include "TextPaneSourceRows.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <algorithm>

#include "TextPaneDecode.h"
#include "TextPaneUtf8.h"

namespace quorvel::textpane {

TextPaneSourceRows::TextPaneSourceRows(std::shared_ptr<const TextPaneSource> source)
    : source_(std::move(source)) {
    Q_ASSERT(source_ != nullptr);
}

void TextPaneSourceRows::Extend(std::size_t lines) {
    lines = std::min(lines, source_->LineCount());
    std::array<TextPaneSource::LineSize, kGroup> measured;
    while (lines_ < lines) {
        // A run never crosses a group's end.
        const std::size_t run = std::min(lines - lines_, kGroup - lines_ % kGroup);
        source_->MeasureLines(lines_, std::span(measured.data(), run));
        for (std::size_t i = 0; i < run; ++i) {
            if (lines_ % kGroup == 0) groups_.push_back(Start{bytes_, units_});
            const TextPaneSource::LineSize& size = measured[i];
            Q_ASSERT(size.units <= size.bytes);
            bytes_ += size.bytes + 1;
            units_ += size.units + 1;
            longest_ = std::max(longest_, size.bytes);
            ++lines_;
        }
    }
}

const TextPaneSourceRows::Sizes& TextPaneSourceRows::GroupSizes(std::size_t group) const {
    const std::size_t first = group * kGroup;
    const std::size_t count = std::min(kGroup, lines_ - first);
    if (sizes_.group != group || sizes_.count != count) {
        source_->MeasureLines(first, std::span(sizes_.line.data(), count));
        sizes_.group = group;
        sizes_.count = count;
    }
    return sizes_;
}

TextPaneSource::LineSize TextPaneSourceRows::Size(std::size_t row) const {
    if (row >= lines_) return {};
    return GroupSizes(row / kGroup).line[row % kGroup];
}

TextPaneSourceRows::Start TextPaneSourceRows::RowStart(std::size_t row) const {
    if (row >= lines_) return Start{bytes_, units_};
    Start start = groups_[row / kGroup];
    const Sizes& sizes = GroupSizes(row / kGroup);
    for (std::size_t i = 0; i < row % kGroup; ++i) {
        start.byte += sizes.line[i].bytes + 1;
        start.units += sizes.line[i].units + 1;
    }
    return start;
}

std::pair<std::size_t, TextPaneSourceRows::Start> TextPaneSourceRows::RowOf(std::uint64_t position,
                                                                            bool units) const {
    const auto of = [units](const Start& s) { return units ? s.units : s.byte; };
    position = std::min(position, units ? units_ : bytes_);
    const auto after = std::upper_bound(groups_.begin(), groups_.end(), position,
                                        [&](std::uint64_t p, const Start& s) { return p < of(s); });
    if (after == groups_.begin()) return {lines_, Start{bytes_, units_}};  // no lines
    const auto group = static_cast<std::size_t>(after - groups_.begin()) - 1;
    Start start = groups_[group];
    const Sizes& sizes = GroupSizes(group);
    for (std::size_t i = 0; i < sizes.count; ++i) {
        const std::uint64_t next =
            of(start) + (units ? sizes.line[i].units : sizes.line[i].bytes) + 1;
        if (position < next) return {group * kGroup + i, start};
        start.byte += sizes.line[i].bytes + 1;
        start.units += sizes.line[i].units + 1;
    }
    return {lines_, start};
}

std::uint64_t TextPaneSourceRows::RowUnitsBegin(std::size_t row) const {
    return RowStart(row).units;
}

std::uint64_t TextPaneSourceRows::RowUnits(std::size_t row) const {
    return Size(row).units;
}

std::size_t TextPaneSourceRows::RowOfUnit(std::uint64_t position) const {
    return RowOf(position, true).first;
}

std::uint64_t TextPaneSourceRows::ByteOfUnit(std::uint64_t position, bool roundUp) const {
    const auto [row, start] = RowOf(position, true);
    if (row >= lines_) return bytes_;
    const TextPaneSource::LineSize size = Size(row);
    const std::uint64_t column = std::min(position, units_) - start.units;
    if (column >= size.units) return start.byte + size.bytes;  // its '\n'
    // Bytes and units go in step in an ASCII line.
    if (size.bytes == size.units) return start.byte + column;
    return start.byte + ByteOffsetOfUnits(RowBytes(row), column, roundUp);
}

std::string_view TextPaneSourceRows::RowBytes(std::size_t row) const {
    if (row >= lines_) return {};
    if (textRow_ != row) {
        text_.clear();
        source_->AppendLine(row, text_);
        textRow_ = row;
        Q_ASSERT(text_.size() == Size(row).bytes);
        Q_ASSERT(text_.find('\n') == std::string::npos);
        Q_ASSERT(QByteArrayView(text_.data(), static_cast<qsizetype>(text_.size())).isValidUtf8());
    }
    return text_;
}

template <typename Visit>
void TextPaneSourceRows::ForEachSpan(std::uint64_t begin, std::uint64_t end, Visit&& visit) const {
    end = std::min(end, bytes_);
    if (begin >= end) return;
    const auto [first, start] = RowOf(begin, false);
    const std::size_t last = RowOf(end - 1, false).first + 1;
    std::uint64_t rowBegin = start.byte;
    source_->ForEachLine(first, std::min(last, lines_), [&](std::string_view bytes) {
        rowBegin = VisitRowSpan(bytes, rowBegin, begin, end, visit);
    });
    Q_ASSERT(rowBegin >= end);
}

std::string TextPaneSourceRows::Bytes(std::uint64_t begin, std::uint64_t end) const {
    end = std::min(end, bytes_);
    if (begin >= end) return {};
    return JoinSpans(end - begin, [&](auto&& visit) { ForEachSpan(begin, end, visit); });
}

QString TextPaneSourceRows::Decode(std::uint64_t begin, std::uint64_t end) const {
    end = std::min(end, bytes_);
    if (begin >= end) return {};
    return DecodeSpans(end - begin, [&](auto&& visit) { ForEachSpan(begin, end, visit); });
}

QString TextPaneSourceRows::RowText(std::size_t row) const {
    const std::string_view bytes = RowBytes(row);
    return DecodeSpans(bytes.size(), [bytes](auto&& visit) { visit(bytes); });
}

std::size_t TextPaneSourceRows::MemoryBytes() const {
    return groups_.capacity() * sizeof(Start) + text_.capacity() + sizeof(*this);
}

}  // namespace quorvel::textpane
