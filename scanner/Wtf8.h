// SPDX-License-Identifier: MIT
#pragma once
// Names between UTF-16 (the Windows file system's) and the scanner's byte
// strings. UTF-16 that is well formed becomes UTF-8; an unpaired surrogate,
// which a Windows name may hold, becomes the three bytes UTF-8 would give its
// value (WTF-8), so every name converts losslessly and converts back to the
// very units it came from. The way back accepts only what the way there can
// make: two surrogates that form a pair must come as one four-byte sequence,
// or one name would have two spellings.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::wtf8 {

inline bool IsLeadSurrogate(std::uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool IsTrailSurrogate(std::uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Appends `units` (UTF-16 code units, char16_t or Windows' wchar_t) to `out`.
template <class Unit>
void AppendFromUtf16(std::basic_string_view<Unit> units, std::string& out) {
    static_assert(sizeof(Unit) == 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(units[i]);
        if (IsLeadSurrogate(c) && i + 1 < units.size() &&
            IsTrailSurrogate(static_cast<std::uint16_t>(units[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint16_t>(units[++i]) - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// Appends the UTF-16 units of `bytes` to `out`; false (with `out` partly
// filled) when `bytes` is not well-formed WTF-8: a stray or missing
// continuation byte, an overlong form, a value beyond U+10FFFF, or a
// surrogate pair spelt as two three-byte sequences.
template <class Unit>
bool AppendToUtf16(std::string_view bytes, std::basic_string<Unit>& out) {
    static_assert(sizeof(Unit) == 2);
    bool afterLead = false;  // the previous sequence was a lone lead surrogate
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        std::size_t length;
        std::uint32_t c;
        // The smallest value each length may carry, and the bounds on the
        // second byte that exclude overlong forms and values past U+10FFFF.
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b0 < 0x80) {
            length = 1;
            c = b0;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            c = b0 & 0x1Fu;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            c = b0 & 0x0Fu;
            if (b0 == 0xE0) low = 0xA0;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            c = b0 & 0x07u;
            if (b0 == 0xF0) low = 0x90;
            if (b0 == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (bytes.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return false;
            c = (c << 6) | (b & 0x3Fu);
        }
        i += length;
        if (afterLead && IsTrailSurrogate(c)) return false;
        afterLead = IsLeadSurrogate(c);
        if (c < 0x10000) {
            out += static_cast<Unit>(c);
        } else {
            out += static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return true;
}

}  // namespace quorvel::wtf8
