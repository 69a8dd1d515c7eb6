#include "ShownText.h"

#include <cstdint>

#include "AsciiWords.h"

namespace quorvel {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at `s`, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not well formed).
std::size_t SequenceLength(std::string_view s, char32_t& codePoint) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    if (b1 < low || b1 > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(s[i]))) return 0;
    }
    char32_t cp = b0 & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    codePoint = cp;
    return length;
}

bool NeedsEscape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

void AppendEscape(std::string& out, char32_t cp) {
    out.push_back('\\');
    switch (cp) {
        case U'\n':
            out.push_back('n');
            return;
        case U'\t':
            out.push_back('t');
            return;
        case U'\r':
            out.push_back('r');
            return;
        default:
            break;
    }
    const int digits = cp > 0xFF ? 4 : 2;
    out.push_back(cp > 0xFF ? 'u' : 'x');
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(kHex[(cp >> shift) & 0xF]);
}

}  // namespace

void AppendShown(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Plain printable ASCII is nearly every name: copy runs of it at once.
        std::size_t run = i;
        while (bytes.size() - run >= ascii::kWordBytes &&
               ascii::AllPrintableAscii(ascii::LoadWord(bytes.data() + run)))
            run += ascii::kWordBytes;
        // The last few bytes as one word ending at the end, overlapping the run.
        if (bytes.size() - run < ascii::kWordBytes && bytes.size() - i >= ascii::kWordBytes &&
            ascii::AllPrintableAscii(
                ascii::LoadWord(bytes.data() + bytes.size() - ascii::kWordBytes)))
            run = bytes.size();
        while (run < bytes.size()) {
            const auto c = static_cast<unsigned char>(bytes[run]);
            if (c < 0x20 || c >= 0x7F) break;
            ++run;
        }
        out.append(bytes.substr(i, run - i));
        i = run;
        if (i == bytes.size()) break;

        char32_t cp = 0;
        const std::size_t length = SequenceLength(bytes.substr(i), cp);
        if (length == 0) {
            out.append("\xEF\xBF\xBD");  // U+FFFD
            ++i;
        } else {
            if (NeedsEscape(cp)) {
                AppendEscape(out, cp);
            } else {
                out.append(bytes.substr(i, length));
            }
            i += length;
        }
    }
}

QString ShownText(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    AppendShown(shown, bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace quorvel
