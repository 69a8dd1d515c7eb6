// SPDX-License-Identifier: MIT
#include "TextPaneUtf8.h"

#include <algorithm>

#include "AsciiWords.h"
#include "Utf8Sequence.h"

namespace quorvel::textpane {
namespace {

// Number of bytes the sequence at p takes when it is well-formed; otherwise the
// length of its maximal ill-formed subpart (at least 1) with `wellFormed` false.
std::size_t Sequence(const unsigned char* p, std::size_t left, bool& wellFormed) {
    const Utf8Sequence sequence = DecodeUtf8Sequence(p, left);
    wellFormed = sequence.wellFormed;
    return sequence.length;
}

// One unit per character, two for a four-byte one: count every byte that is
// not a continuation byte, and each four-byte lead once more.
std::uint64_t Utf16Units(std::string_view bytes) {
    std::uint64_t units = 0;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        units +=
            static_cast<std::uint64_t>((c & 0xC0) != 0x80) + static_cast<std::uint64_t>(c >= 0xF0);
    }
    return units;
}

}  // namespace

std::string ReplaceIllFormed(std::string_view bytes) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string out;
    out.reserve(n + n / 2);
    std::size_t i = 0;
    while (i < n) {
        bool ok = false;
        const std::size_t len = Sequence(p + i, n - i, ok);
        if (ok)
            out.append(bytes.substr(i, len));
        else
            out.append(kReplacement);
        i += len;
    }
    return out;
}

std::uint64_t Utf16Length(std::string_view wellFormed) {
    std::uint64_t units = 0;
    std::size_t i = 0;
    // An ASCII byte is one unit; a word of them needs no look at each byte.
    for (; wellFormed.size() - i >= ascii::kWordBytes; i += ascii::kWordBytes) {
        if (ascii::AllAscii(ascii::LoadWord(wellFormed.data() + i))) {
            units += ascii::kWordBytes;
        } else {
            units += Utf16Units(wellFormed.substr(i, ascii::kWordBytes));
        }
    }
    const std::string_view tail = wellFormed.substr(i);
    if (ascii::LastWordPasses(wellFormed.data(), wellFormed.size(), ascii::AllAscii))
        return units + tail.size();
    return units + Utf16Units(tail);
}

std::size_t ByteOffsetOfUnits(std::string_view wellFormed, std::uint64_t units, bool roundUp) {
    std::size_t i = 0;
    const std::size_t n = wellFormed.size();
    while (i < n && units > 0) {
        const auto lead = static_cast<unsigned char>(wellFormed[i]);
        const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::uint64_t width = len == 4 ? 2 : 1;
        if (units < width) return roundUp ? std::min(n, i + len) : i;
        units -= width;
        i += len;
    }
    return std::min(i, n);
}

}  // namespace quorvel::textpane
