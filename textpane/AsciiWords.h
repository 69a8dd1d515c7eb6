// SPDX-License-Identifier: MIT
#pragma once
// Eight bytes at a time for the text paths that see mostly plain ASCII: a
// scan passes every name and path through them several times, so a
// byte-at-a-time test costs more than the walk's own work. Each test only
// tells whether a whole word qualifies; callers handle a word that does not
// one byte at a time.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorvel::ascii {

inline constexpr std::size_t kWordBytes = sizeof(std::uint64_t);

inline std::uint64_t LoadWord(const void* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// No byte is 0x80 or above.
inline bool AllAscii(std::uint64_t word) {
    return (word & kHighBits) == 0;
}

// Every byte is printable ASCII, 0x20 to 0x7E. Once no high bit is set,
// adding 1 to each byte cannot carry and sets a high bit only from 0x7F; and
// subtracting 0x20 from each byte sets the high bit of the lowest byte below
// 0x20 (any borrow it passes on comes after a byte has already failed).
inline bool AllPrintableAscii(std::uint64_t word) {
    return ((word | (word + kOnes) | (word - 0x20 * kOnes)) & kHighBits) == 0;
}

// Every byte is printable ASCII other than `excluded` (itself printable
// ASCII). Once no byte has its high bit set, x = word ^ excluded is below
// 0x80 in every byte, so x - 1 sets a high bit only in a byte where x is 0,
// that is where the word holds `excluded`; a borrow passed on from there
// only comes after a byte has already failed.
inline bool AllPrintableAsciiBut(std::uint64_t word, unsigned char excluded) {
    const std::uint64_t x = word ^ (excluded * kOnes);
    return ((word | (word + kOnes) | (word - 0x20 * kOnes) | (x - kOnes)) & kHighBits) == 0;
}

// Whether the bytes left after the last whole word of a text pass `test`,
// read as the one word that ends at the text's end. That word overlaps bytes
// already looked at, which does no harm: when all of it passes, so do the
// bytes at its end. False for a text shorter than a word.
template <typename WordTest>
inline bool LastWordPasses(const void* text, std::size_t size, WordTest test) {
    return size >= kWordBytes && test(LoadWord(static_cast<const char*>(text) + size - kWordBytes));
}

}  // namespace quorvel::ascii
