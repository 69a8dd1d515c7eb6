// SPDX-License-Identifier: MIT
#pragma once
// Value types shared by the scanner and everything that drives it.

#include <concepts>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace quorvel {

// A 16-bit boolean: true is -1 (all bits set), false is 0. Some readers test
// for exactly -1, others for any non-zero value; each says which.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

// A bool where a Flag is wanted: `true` would convert to 1, which readers
// that test for -1 take for false. Flag setters delete an overload for it.
template <class T>
concept BoolArgument = std::same_as<T, bool>;

// A 32-bit signed counter. Incrementing past its maximum is an error, never a
// wrap-around: a negative count would be a plainly wrong result.
using Counter = std::int32_t;
inline constexpr Counter kCounterMax = std::numeric_limits<Counter>::max();

class OverflowError : public std::overflow_error {
  public:
    using std::overflow_error::overflow_error;
};

// Adds one to `n`; throws OverflowError (leaving `n` unchanged) at the maximum.
inline void Increment(Counter& n) {
    if (n == kCounterMax) throw OverflowError("counter overflow: more than 2147483647 entries");
    ++n;
}

}  // namespace quorvel
