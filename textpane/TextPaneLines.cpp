// SPDX-License-Identifier: MIT
#include "TextPaneLines.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "TextPaneDecode.h"
#include "TextPaneRowCodec.h"
#include "TextPaneUtf8.h"

namespace quorvel::textpane {
namespace {

// A finished row longer than this is not kept to encode the next row against
// (the next one is stored whole), and buffers that held one are given back:
// a pathological row must not stay in memory twice.
constexpr std::size_t kLongestKeptRow = 1 << 20;

void Empty(std::string& buffer) {
    if (buffer.capacity() > kLongestKeptRow)
        std::string().swap(buffer);
    else
        buffer.clear();
}

}  // namespace

TextPaneLines::TextPaneLines() {
    Clear();
}

void TextPaneLines::Clear() {
    records_.Clear();
    groups_.clear();
    groups_.shrink_to_fit();
    groups_.push_back(Group{{}, 0, 0});
    closed_ = 0;
    std::string().swap(open_);
    std::string().swap(last_);
    reader_ = Reader{};
    replay_ = 0;
    bytes_ = 0;
    units_ = 0;
    longestRow_ = 0;
}

void TextPaneLines::Append(std::string_view wellFormed) {
    std::size_t done = 0;
    while (done < wellFormed.size()) {
        const void* hit = std::memchr(wellFormed.data() + done, '\n', wellFormed.size() - done);
        if (hit == nullptr) break;
        const auto newline =
            static_cast<std::size_t>(static_cast<const char*>(hit) - wellFormed.data());
        const std::string_view piece = wellFormed.substr(done, newline - done);
        bytes_ += piece.size() + 1;
        units_ += Utf16Length(piece) + 1;
        if (open_.empty()) {
            FinishRow(piece);
        } else {
            open_.append(piece);
            FinishRow(open_);
        }
        done = newline + 1;
    }
    const std::string_view rest = wellFormed.substr(done);
    if (rest.empty()) return;
    open_.append(rest);
    bytes_ += rest.size();
    units_ += Utf16Length(rest);
    longestRow_ = std::max<std::uint64_t>(longestRow_, open_.size());
}

void TextPaneLines::FinishRow(std::string_view row) {
    const bool startsGroup = closed_ % kGroup == 0;
    const bool whole = startsGroup || replay_ + row.size() > kReplayBytes;
    const RowRecord record = PlanRow(whole ? std::string_view() : last_, row);
    const auto [pos, out] = records_.Extend(record.RecordSize());
    WriteRow(record, row, out);
    if (startsGroup) groups_.back().record = pos;
    replay_ = record.Whole() ? row.size() : replay_ + row.size();
    longestRow_ = std::max<std::uint64_t>(longestRow_, row.size());
    if (row.size() > kLongestKeptRow)
        Empty(last_);
    else if (row.data() == open_.data())
        last_.swap(open_);
    else
        last_.assign(row);
    Empty(open_);
    ++closed_;
    if (closed_ % kGroup == 0) groups_.push_back(Group{{}, bytes_, units_});
}

void TextPaneLines::AppendPrepared(TextPaneLines& rows) {
    if (!JoinsAfter(0)) throw std::logic_error("TextPaneLines: joined off a group boundary");
    // The open row's group entry here gives way to the first of `rows`.
    groups_.reserve(groups_.size() - 1 + rows.groups_.size());
    const std::uint32_t firstBlock = records_.TakeBlocks(rows.records_);
    groups_.pop_back();
    for (const Group& group : rows.groups_) {
        groups_.push_back(Group{{group.record.block + firstBlock, group.record.offset},
                                group.byte + bytes_,
                                group.units + units_});
    }
    closed_ += rows.closed_;
    open_ = std::move(rows.open_);
    last_ = std::move(rows.last_);
    replay_ = rows.replay_;
    bytes_ += rows.bytes_;
    units_ += rows.units_;
    longestRow_ = std::max(longestRow_, rows.longestRow_);
    reader_ = Reader{};
    rows.Clear();
}

void TextPaneLines::Truncate(std::uint64_t byteSize) {
    if (byteSize >= bytes_) return;
    const auto [row, begin] = RowOfByte(byteSize);
    const auto column = static_cast<std::size_t>(byteSize - begin);
    if (row == closed_) {
        units_ -= Utf16Length(std::string_view(open_).substr(column));
        open_.resize(column);
        bytes_ = byteSize;
        return;
    }
    std::string kept(RowBytes(row).substr(0, column));
    const BlockPos cut = At(row).pos;
    const Cursor previous = row % kGroup == 0 ? Cursor{} : At(row - 1);
    if (row % kGroup == 0 || previous.record.rowSize > kLongestKeptRow) {
        Empty(last_);
    } else {
        last_.assign(RowBytes(row - 1));
        replay_ = previous.replay;
    }
    records_.Truncate(cut);
    closed_ = row;
    groups_.resize(row / kGroup + 1);
    reader_ = Reader{};
    open_ = std::move(kept);
    bytes_ = byteSize;
    units_ = CountUnitsBefore(row) + Utf16Length(open_);
}

// --- reading the records in order ---------------------------------------------

TextPaneLines::Cursor TextPaneLines::First(std::size_t group) const {
    Cursor cursor;
    cursor.row = group * kGroup;
    cursor.begin = groups_[group].byte;
    cursor.pos = groups_[group].record;
    Load(cursor);
    return cursor;
}

void TextPaneLines::Next(Cursor& cursor) const {
    cursor.begin += cursor.record.rowSize + 1;
    cursor.pos = BlockStore::After(cursor.pos, cursor.record.RecordSize());
    ++cursor.row;
    Load(cursor);
}

void TextPaneLines::Load(Cursor& cursor) const {
    if (cursor.row >= closed_) {
        cursor.in = nullptr;
        cursor.record = RowRecord{};
        cursor.record.rowSize = open_.size();
        return;
    }
    cursor.in = records_.Locate(cursor.pos);
    cursor.record = ReadRow(cursor.in);
    cursor.replay =
        cursor.record.Whole() ? cursor.record.rowSize : cursor.replay + cursor.record.rowSize;
}

TextPaneLines::Cursor TextPaneLines::At(std::size_t row, Cursor* lastWhole) const {
    Cursor cursor = First(row / kGroup);
    if (lastWhole != nullptr) *lastWhole = cursor;
    while (cursor.row < row) {
        Next(cursor);
        if (lastWhole != nullptr && cursor.in != nullptr && cursor.record.Whole())
            *lastWhole = cursor;
    }
    return cursor;
}

// --- positions -------------------------------------------------------------------

std::uint64_t TextPaneLines::RowBegin(std::size_t row) const {
    if (row >= closed_) return bytes_ - open_.size();
    return At(row).begin;
}

std::size_t TextPaneLines::RowSize(std::size_t row) const {
    if (row >= closed_) return open_.size();
    return At(row).record.rowSize;
}

std::uint64_t TextPaneLines::RowEnd(std::size_t row) const {
    if (row >= closed_) return bytes_;
    const Cursor cursor = At(row);
    return cursor.begin + cursor.record.rowSize;
}

std::pair<std::size_t, std::uint64_t> TextPaneLines::RowOfByte(std::uint64_t byte) const {
    const auto after = std::upper_bound(groups_.begin(), groups_.end(), byte,
                                        [](std::uint64_t b, const Group& g) { return b < g.byte; });
    Cursor cursor = First(static_cast<std::size_t>(after - groups_.begin()) - 1);
    while (cursor.row < closed_ && byte > cursor.begin + cursor.record.rowSize) Next(cursor);
    return {cursor.row, cursor.begin};
}

bool TextPaneLines::GroupIsAscii(std::size_t group) const {
    const bool last = group + 1 >= groups_.size();
    const std::uint64_t unitEnd = last ? units_ : groups_[group + 1].units;
    const std::uint64_t byteEnd = last ? bytes_ : groups_[group + 1].byte;
    return unitEnd - groups_[group].units == byteEnd - groups_[group].byte;
}

std::size_t TextPaneLines::GroupOfUnit(std::uint64_t position) const {
    const auto after =
        std::upper_bound(groups_.begin(), groups_.end(), position,
                         [](std::uint64_t units, const Group& g) { return units < g.units; });
    return static_cast<std::size_t>(after - groups_.begin()) - 1;
}

std::uint64_t TextPaneLines::CountUnitsBefore(std::size_t row) const {
    std::uint64_t units = groups_[row / kGroup].units;
    for (std::size_t r = row - row % kGroup; r < row; ++r) units += Utf16Length(RowBytes(r)) + 1;
    return units;
}

std::uint64_t TextPaneLines::RowUnitsBegin(std::size_t row) const {
    const Group& group = groups_[row / kGroup];
    if (GroupIsAscii(row / kGroup)) return group.units + (RowBegin(row) - group.byte);
    return CountUnitsBefore(row);
}

std::uint64_t TextPaneLines::RowUnits(std::size_t row) const {
    if (GroupIsAscii(row / kGroup)) return RowSize(row);
    return Utf16Length(RowBytes(row));
}

std::pair<std::size_t, std::uint64_t> TextPaneLines::RowOfUnitAndStart(
    std::uint64_t position) const {
    position = std::min(position, units_);
    const std::size_t group = GroupOfUnit(position);
    const Group& entry = groups_[group];
    if (GroupIsAscii(group)) {
        // Bytes and units go in step here.
        const auto [row, begin] = RowOfByte(entry.byte + (position - entry.units));
        return {row, entry.units + (begin - entry.byte)};
    }
    const std::size_t last = std::min((group + 1) * kGroup, RowCount()) - 1;
    std::size_t row = group * kGroup;
    std::uint64_t units = entry.units;
    for (; row < last; ++row) {
        const std::uint64_t next = units + Utf16Length(RowBytes(row)) + 1;
        if (position < next) break;
        units = next;
    }
    return {row, units};
}

std::size_t TextPaneLines::RowOfUnit(std::uint64_t position) const {
    return RowOfUnitAndStart(position).first;
}

std::uint64_t TextPaneLines::ByteOfUnit(std::uint64_t position, bool roundUp) const {
    position = std::min(position, units_);
    const std::size_t group = GroupOfUnit(position);
    if (GroupIsAscii(group)) return groups_[group].byte + (position - groups_[group].units);
    const auto [row, unitsBegin] = RowOfUnitAndStart(position);
    return RowBegin(row) + ByteOffsetOfUnits(RowBytes(row), position - unitsBegin, roundUp);
}

std::string_view TextPaneLines::RowBytes(std::size_t row) const {
    if (row >= closed_) return open_;
    Reader& reader = reader_;
    if (reader.valid && reader.at.row == row) return reader.text;
    if (!reader.valid || reader.at.row + 1 != row) {
        // Replay from the last row kept whole, or go on from the row read
        // last when that is nearer.
        Cursor whole;
        At(row, &whole);
        if (!reader.valid || reader.at.row > row || reader.at.row + 1 < whole.row) {
            reader.at = whole;
            DecodeRow(whole.record, whole.in, {}, reader.text);
            reader.valid = true;
        }
    }
    while (reader.at.row < row) {
        Next(reader.at);
        DecodeRow(reader.at.record, reader.at.in, reader.text, reader.scratch);
        reader.text.swap(reader.scratch);
    }
    Empty(reader.scratch);
    return reader.text;
}

template <typename Visit>
void TextPaneLines::ForEachSpan(std::uint64_t begin, std::uint64_t end, Visit&& visit) const {
    end = std::min(end, bytes_);
    if (begin >= end) return;
    auto [row, rowBegin] = RowOfByte(begin);
    while (rowBegin < end) {
        rowBegin = VisitRowSpan(RowBytes(row), rowBegin, begin, end, visit);
        ++row;
    }
}

std::string TextPaneLines::Bytes(std::uint64_t begin, std::uint64_t end) const {
    end = std::min(end, bytes_);
    if (begin >= end) return {};
    return JoinSpans(end - begin, [&](auto&& visit) { ForEachSpan(begin, end, visit); });
}

QString TextPaneLines::Decode(std::uint64_t begin, std::uint64_t end) const {
    end = std::min(end, bytes_);
    if (begin >= end) return {};
    return DecodeSpans(end - begin, [&](auto&& visit) { ForEachSpan(begin, end, visit); });
}

QString TextPaneLines::RowText(std::size_t row) const {
    const std::string_view bytes = RowBytes(row);
    if (bytes.empty()) return {};
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QChar* end = decoder.appendToBuffer(
        text.data(), QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    text.truncate(end - text.constData());
    return text;
}

std::size_t TextPaneLines::MemoryBytes() const {
    return records_.MemoryBytes() + groups_.capacity() * sizeof(Group) + open_.capacity() +
           last_.capacity() + reader_.text.capacity() + reader_.scratch.capacity() + sizeof(*this);
}

}  // namespace quorvel::textpane
