// SPDX-License-Identifier: MIT
#include "TextPaneRowCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "AsciiWords.h"

namespace quorvel::textpane {
namespace {

constexpr std::size_t kMaxColumns = RowRecord::kMaxColumns;

std::size_t VarintSize(std::size_t value) {
    std::size_t size = 1;
    for (; value >= 0x80; value >>= 7) ++size;
    return size;
}

char* PutVarint(char* out, std::size_t value) {
    for (; value >= 0x80; value >>= 7) *out++ = static_cast<char>((value & 0x7F) | 0x80);
    *out++ = static_cast<char>(value);
    return out;
}

const char* GetVarint(const char* in, std::size_t& value) {
    value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*in++);
        value |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return in;
    }
}

bool HasTab(std::string_view text) {
    return !text.empty() && std::memchr(text.data(), '\t', text.size()) != nullptr;
}

// End of the column that starts at `begin`: the next tab, or the row's end.
std::size_t ColumnEnd(std::string_view row, std::size_t begin) {
    if (begin >= row.size()) return row.size();
    const void* tab = std::memchr(row.data() + begin, '\t', row.size() - begin);
    return tab == nullptr ? row.size()
                          : static_cast<std::size_t>(static_cast<const char*>(tab) - row.data());
}

// The row's tab-separated columns; 0 when there are more than kMaxColumns.
std::size_t SplitColumns(std::string_view row, std::array<std::string_view, kMaxColumns>& columns) {
    std::size_t count = 0;
    for (std::size_t begin = 0;; ++count) {
        if (count == kMaxColumns) return 0;
        const std::size_t end = ColumnEnd(row, begin);
        columns[count] = row.substr(begin, end - begin);
        if (end == row.size()) return count + 1;
        begin = end + 1;
    }
}

RowPiece PlanPiece(std::string_view previous, std::string_view piece) {
    RowPiece plan;
    plan.prefix = SharedPrefix(previous, piece);
    plan.suffix =
        SharedSuffix(previous, piece, std::min(previous.size(), piece.size()) - plan.prefix);
    plan.middle = piece.size() - plan.prefix - plan.suffix;
    plan.at = plan.prefix;
    return plan;
}

std::size_t PieceHeader(const RowPiece& piece) {
    return VarintSize(piece.suffix) + VarintSize(piece.middle);
}

// The row planned column by column, or nothing (pieces = 0) when the two rows
// differ in their number of columns.
RowRecord PlanByColumn(std::string_view previous, std::string_view row) {
    std::array<std::string_view, kMaxColumns> before;
    std::array<std::string_view, kMaxColumns> after;
    RowRecord record;
    const std::size_t columns = SplitColumns(row, after);
    if (columns == 0 || SplitColumns(previous, before) != columns) {
        record.pieces = 0;
        return record;
    }
    record.byColumn = true;
    record.pieces = columns;
    record.header = VarintSize(columns * 2 + 1);
    record.rowSize = row.size();
    for (std::size_t i = 0; i < columns; ++i) {
        RowPiece& piece = record.piece[i];
        piece = PlanPiece(before[i], after[i]);
        piece.at += static_cast<std::size_t>(after[i].data() - row.data());
        record.header += VarintSize(piece.prefix) + PieceHeader(piece);
        record.stored += piece.middle;
    }
    return record;
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

}  // namespace

std::size_t SharedPrefix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    if constexpr (kLittleEndian) {
        for (; n - i >= ascii::kWordBytes; i += ascii::kWordBytes) {
            const std::uint64_t diff =
                ascii::LoadWord(a.data() + i) ^ ascii::LoadWord(b.data() + i);
            // The lowest differing byte is the first one in memory.
            if (diff != 0) return i + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
        }
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

std::size_t SharedSuffix(std::string_view a, std::string_view b, std::size_t limit) {
    const std::size_t n = std::min({a.size(), b.size(), limit});
    const char* aEnd = a.data() + a.size();
    const char* bEnd = b.data() + b.size();
    std::size_t i = 0;
    if constexpr (kLittleEndian) {
        for (; n - i >= ascii::kWordBytes; i += ascii::kWordBytes) {
            const std::uint64_t diff = ascii::LoadWord(aEnd - i - ascii::kWordBytes) ^
                                       ascii::LoadWord(bEnd - i - ascii::kWordBytes);
            // The highest differing byte is the last one in memory.
            if (diff != 0) return i + static_cast<std::size_t>(std::countl_zero(diff)) / 8;
        }
    }
    while (i < n &&
           aEnd[-1 - static_cast<std::ptrdiff_t>(i)] == bEnd[-1 - static_cast<std::ptrdiff_t>(i)])
        ++i;
    return i;
}

RowRecord PlanRow(std::string_view previous, std::string_view row) {
    RowRecord record;
    RowPiece& whole = record.piece[0];
    if (!previous.empty()) whole = PlanPiece(previous, row);
    whole.middle = row.size() - whole.prefix - whole.suffix;
    record.header = VarintSize(whole.prefix * 2) + PieceHeader(whole);
    record.stored = whole.middle;
    record.rowSize = row.size();
    // Columns can only store less when a tab lies in what the two rows do not
    // share: otherwise every column but one is equal, and that one needs the
    // same middle with more numbers around it.
    if (previous.empty() ||
        !(HasTab(row.substr(whole.prefix, whole.middle)) ||
          HasTab(previous.substr(whole.prefix, previous.size() - whole.prefix - whole.suffix))))
        return record;
    const RowRecord byColumn = PlanByColumn(previous, row);
    return byColumn.pieces > 0 && byColumn.RecordSize() < record.RecordSize() ? byColumn : record;
}

void WriteRow(const RowRecord& record, std::string_view row, char* out) {
    if (record.byColumn) out = PutVarint(out, record.pieces * 2 + 1);
    for (std::size_t i = 0; i < record.pieces; ++i) {
        const RowPiece& piece = record.piece[i];
        out = PutVarint(out, record.byColumn ? piece.prefix : piece.prefix * 2);
        out = PutVarint(out, piece.suffix);
        out = PutVarint(out, piece.middle);
    }
    for (std::size_t i = 0; i < record.pieces; ++i) {
        const RowPiece& piece = record.piece[i];
        if (piece.middle > 0) std::memcpy(out, row.data() + piece.at, piece.middle);
        out += piece.middle;
    }
}

RowRecord ReadRow(const char* in) {
    RowRecord record;
    std::size_t first = 0;
    const char* p = GetVarint(in, first);
    if (first % 2 == 0) {
        RowPiece& whole = record.piece[0];
        whole.prefix = first / 2;
        p = GetVarint(p, whole.suffix);
        p = GetVarint(p, whole.middle);
    } else {
        record.byColumn = true;
        record.pieces = first / 2;
        for (std::size_t i = 0; i < record.pieces; ++i) {
            p = GetVarint(p, record.piece[i].prefix);
            p = GetVarint(p, record.piece[i].suffix);
            p = GetVarint(p, record.piece[i].middle);
        }
    }
    record.header = static_cast<std::size_t>(p - in);
    record.rowSize = record.pieces - 1;  // the tabs between columns
    for (std::size_t i = 0; i < record.pieces; ++i) {
        const RowPiece& piece = record.piece[i];
        record.stored += piece.middle;
        record.rowSize += piece.prefix + piece.middle + piece.suffix;
    }
    return record;
}

void DecodeRow(const RowRecord& record, const char* in, std::string_view previous,
               std::string& out) {
    out.clear();
    const char* middle = in + record.header;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < record.pieces; ++i) {
        const RowPiece& piece = record.piece[i];
        const std::size_t end = record.byColumn ? ColumnEnd(previous, begin) : previous.size();
        const std::string_view shared = previous.substr(begin, end - begin);
        if (i > 0) out.push_back('\t');
        out.append(shared.substr(0, piece.prefix));
        out.append(middle, piece.middle);
        out.append(shared.substr(shared.size() - piece.suffix));
        middle += piece.middle;
        begin = end + 1;
    }
}

}  // namespace quorvel::textpane
