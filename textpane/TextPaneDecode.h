// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringDecoder>

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

}  // namespace quorvel::textpane
