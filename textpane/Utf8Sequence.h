// SPDX-License-Identifier: MIT
#pragma once
// The one UTF-8 decoder of the window: both the text shown for names and the
// text panes' storage judge well-formedness with it, so they never disagree
// about which bytes are a character.

#include <cstddef>

namespace quorvel {

struct Utf8Sequence {
    // Bytes the character takes when well-formed; otherwise the length of the
    // maximal ill-formed subpart (at least 1).
    std::size_t length = 1;
    bool wellFormed = false;
    char32_t codePoint = 0;  // valid only when well-formed
};

// Decodes the sequence at `p`, of which `left` (at least 1) bytes are
// readable. Overlong forms, surrogates and values past U+10FFFF are not
// well-formed.
inline Utf8Sequence DecodeUtf8Sequence(const unsigned char* p, std::size_t left) {
    const unsigned char lead = p[0];
    if (lead < 0x80) return {1, true, lead};
    std::size_t need = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        if (lead == 0xE0) lo = 0xA0;  // overlong
        if (lead == 0xED) hi = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        if (lead == 0xF0) lo = 0x90;  // overlong
        if (lead == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        return {1, false, 0};
    }
    char32_t cp = lead & (0x7F >> need);
    std::size_t i = 1;
    for (; i < need && i < left; ++i) {
        const unsigned char c = p[i];
        const bool inRange = i == 1 ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
        if (!inRange) break;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (i != need) return {i, false, 0};
    return {need, true, cp};
}

}  // namespace quorvel
