// SPDX-License-Identifier: MIT
#pragma once
// UTF-8 helpers for the text pane. The pane stores only well-formed UTF-8, so
// that a character position can be turned into a byte offset (and back) by
// looking at lead bytes alone, without asking a decoder how it treats bad input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::textpane {

// The bytes with every maximal ill-formed subsequence replaced by U+FFFD, the
// way the Unicode standard recommends (and browsers and Qt do): nothing is
// dropped, each bad stretch becomes one visible replacement character.
std::string ReplaceIllFormed(std::string_view bytes);

// Number of UTF-16 units the well-formed bytes decode to: one per character,
// two for characters beyond the basic plane (four-byte sequences).
std::uint64_t Utf16Length(std::string_view wellFormed);

// Byte offset of the character boundary at `units` UTF-16 units into the
// well-formed bytes, clamped to their end. A position between the two halves
// of a surrogate pair moves to the start of that character, or past it when
// `roundUp` is set.
std::size_t ByteOffsetOfUnits(std::string_view wellFormed, std::uint64_t units, bool roundUp);

}  // namespace quorvel::textpane
