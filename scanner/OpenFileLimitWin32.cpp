// SPDX-License-Identifier: MIT
#include <quorvel/OpenFileLimit.h>

namespace quorvel {

// A walk holds one search handle per level of depth, and Windows lets a
// process hold 2^24 handles: there is no lower limit that a walk could reach,
// and none to raise.
std::uint64_t RaiseOpenFileLimit() noexcept {
    return std::uint64_t{1} << 24;
}

}  // namespace quorvel
