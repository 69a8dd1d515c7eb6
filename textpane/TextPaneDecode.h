// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::textpane {

// Decodes `bytes` bytes of well-formed UTF-8 that `forEachSpan` hands, in
// pieces, to the function it is given. Rows are short, so they are gathered
// into larger pieces before decoding. The decoder keeps a leading U+FEFF,
// which counts as a character in a pane.
template <typename ForEachSpan>
QString DecodeSpans(std::uint64_t bytes, ForEachSpan&& forEachSpan) {
    if (bytes == 0) return {};
    // A byte never decodes to more than one UTF-16 unit.
    QString text(static_cast<qsizetype>(bytes), Qt::Uninitialized);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QChar* out = text.data();
    constexpr std::size_t kPiece = 16 * 1024;
    std::string piece;
    const auto decode = [&](std::string_view span) {
        out = decoder.appendToBuffer(
            out, QByteArrayView(span.data(), static_cast<qsizetype>(span.size())));
    };
    const auto flush = [&] {
        decode(piece);
        piece.clear();
    };
    forEachSpan([&](std::string_view span) {
        if (span.size() >= kPiece) {
            flush();
            decode(span);
            return;
        }
        piece.append(span);
        if (piece.size() >= kPiece) flush();
    });
    flush();
    text.truncate(out - text.constData());
    return text;
}

// Hands `visit` the part of a row (its bytes, beginning at byte `rowBegin`)
// that lies in [begin, end), then its '\n' if the range goes on past the
// row; returns where the next row begins.
template <typename Visit>
std::uint64_t VisitRowSpan(std::string_view row, std::uint64_t rowBegin, std::uint64_t begin,
                           std::uint64_t end, Visit&& visit) {
    const std::uint64_t rowEnd = rowBegin + row.size();
    const std::uint64_t from = std::max(begin, rowBegin) - rowBegin;
    const std::uint64_t to = std::min(end, rowEnd) - rowBegin;
    if (to > from) visit(row.substr(from, to - from));
    if (rowEnd < end) visit(std::string_view("\n"));
    return rowEnd + 1;
}

// The `bytes` bytes that `forEachSpan` hands in pieces, joined.
template <typename ForEachSpan>
std::string JoinSpans(std::uint64_t bytes, ForEachSpan&& forEachSpan) {
    std::string out;
    out.reserve(static_cast<std::size_t>(bytes));
    forEachSpan([&out](std::string_view span) { out.append(span); });
    return out;
}

}  // namespace quorvel::textpane
