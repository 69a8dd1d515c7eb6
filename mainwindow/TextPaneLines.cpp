#include "TextPaneLines.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

#include "TextPaneUtf8.h"

namespace quorvel::textpane {

TextPaneLines::TextPaneLines() {
    Clear();
}

void TextPaneLines::Clear() {
    bytes_.Clear();
    rowStarts_.clear();
    rowStarts_.shrink_to_fit();
    rowStarts_.push_back(0);
    checkpoints_.clear();
    checkpoints_.shrink_to_fit();
    checkpoints_.push_back(0);
    units_ = 0;
    longestRow_ = 0;
}

void TextPaneLines::AddRowStart(std::uint64_t byte, std::uint64_t units) {
    if (rowStarts_.size() % kGroup == 0) checkpoints_.push_back(units);
    rowStarts_.push_back(byte);
}

void TextPaneLines::Append(std::string_view wellFormed) {
    const std::uint64_t base = bytes_.Size();
    bytes_.Append(wellFormed);
    std::uint64_t units = units_;
    std::size_t done = 0;
    while (done < wellFormed.size()) {
        const void* hit = std::memchr(wellFormed.data() + done, '\n', wellFormed.size() - done);
        if (hit == nullptr) break;
        const auto newline =
            static_cast<std::size_t>(static_cast<const char*>(hit) - wellFormed.data());
        units += Utf16Length(wellFormed.substr(done, newline + 1 - done));
        longestRow_ = std::max(longestRow_, base + newline - rowStarts_.back());
        AddRowStart(base + newline + 1, units);
        done = newline + 1;
    }
    units_ = units + Utf16Length(wellFormed.substr(done));
    longestRow_ = std::max(longestRow_, bytes_.Size() - rowStarts_.back());
}

void TextPaneLines::Truncate(std::uint64_t byteSize) {
    if (byteSize >= ByteSize()) return;
    bytes_.Truncate(byteSize);
    while (rowStarts_.size() > 1 && rowStarts_.back() > byteSize) rowStarts_.pop_back();
    checkpoints_.resize((rowStarts_.size() + kGroup - 1) / kGroup);
    const std::size_t group = checkpoints_.size() - 1;
    // The last group's ASCII test needs units_, so count it directly.
    units_ = checkpoints_[group] + CountUnits(rowStarts_[group * kGroup], byteSize);
}

std::uint64_t TextPaneLines::RowEnd(std::size_t row) const {
    return row + 1 < rowStarts_.size() ? rowStarts_[row + 1] - 1 : ByteSize();
}

std::uint64_t TextPaneLines::CountUnits(std::uint64_t begin, std::uint64_t end) const {
    std::uint64_t units = 0;
    bytes_.ForEachSpan(begin, end, [&units](std::string_view span) { units += Utf16Length(span); });
    return units;
}

bool TextPaneLines::GroupIsAscii(std::size_t group) const {
    const bool last = group + 1 >= checkpoints_.size();
    const std::uint64_t unitEnd = last ? units_ : checkpoints_[group + 1];
    const std::uint64_t byteEnd = last ? ByteSize() : rowStarts_[(group + 1) * kGroup];
    return unitEnd - checkpoints_[group] == byteEnd - rowStarts_[group * kGroup];
}

std::uint64_t TextPaneLines::RowUnitsBegin(std::size_t row) const {
    const std::size_t group = row / kGroup;
    const std::uint64_t groupStart = rowStarts_[group * kGroup];
    if (GroupIsAscii(group)) return checkpoints_[group] + (rowStarts_[row] - groupStart);
    return checkpoints_[group] + CountUnits(groupStart, rowStarts_[row]);
}

std::uint64_t TextPaneLines::RowUnits(std::size_t row) const {
    if (GroupIsAscii(row / kGroup)) return RowEnd(row) - RowBegin(row);
    return CountUnits(RowBegin(row), RowEnd(row));
}

std::size_t TextPaneLines::RowOfUnit(std::uint64_t position) const {
    position = std::min(position, units_);
    const auto cp = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), position);
    const auto group = static_cast<std::size_t>(cp - checkpoints_.begin()) - 1;
    const std::size_t first = group * kGroup;
    const std::size_t last = std::min(first + kGroup, rowStarts_.size()) - 1;
    if (GroupIsAscii(group)) {
        const std::uint64_t byte = rowStarts_[first] + (position - checkpoints_[group]);
        const auto begin = rowStarts_.begin() + static_cast<std::ptrdiff_t>(first);
        const auto end = rowStarts_.begin() + static_cast<std::ptrdiff_t>(last + 1);
        return first + static_cast<std::size_t>(std::upper_bound(begin, end, byte) - begin) - 1;
    }
    std::uint64_t units = checkpoints_[group];
    for (std::size_t row = first; row < last; ++row) {
        units += CountUnits(rowStarts_[row], rowStarts_[row + 1]);
        if (position < units) return row;
    }
    return last;
}

std::uint64_t TextPaneLines::ByteOfUnit(std::uint64_t position, bool roundUp) const {
    position = std::min(position, units_);
    const std::size_t row = RowOfUnit(position);
    const std::uint64_t column = position - RowUnitsBegin(row);
    if (GroupIsAscii(row / kGroup)) return RowBegin(row) + column;
    const std::string bytes = Bytes(RowBegin(row), RowEnd(row));
    return RowBegin(row) + ByteOffsetOfUnits(bytes, column, roundUp);
}

QString TextPaneLines::Decode(std::uint64_t begin, std::uint64_t end) const {
    end = std::min(end, ByteSize());
    if (begin >= end) return {};
    // A byte never decodes to more than one UTF-16 unit. The decoder is
    // stateful so that a character split between two blocks comes out whole,
    // and it must keep a leading U+FEFF, which counts as a character here.
    QString text(static_cast<qsizetype>(end - begin), Qt::Uninitialized);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QChar* out = text.data();
    bytes_.ForEachSpan(begin, end, [&](std::string_view span) {
        out = decoder.appendToBuffer(
            out, QByteArrayView(span.data(), static_cast<qsizetype>(span.size())));
    });
    text.truncate(out - text.constData());
    return text;
}

std::size_t TextPaneLines::MemoryBytes() const {
    // std::deque allocates 512-byte nodes: 8 bytes a row plus a node map.
    const std::size_t nodes = (rowStarts_.size() * sizeof(std::uint64_t) + 511) / 512 + 1;
    return bytes_.MemoryBytes() + nodes * (512 + sizeof(void*)) +
           checkpoints_.capacity() * sizeof(std::uint64_t) + sizeof(*this);
}

}  // namespace quorvel::textpane
