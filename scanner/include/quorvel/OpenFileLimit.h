// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace quorvel {

// Raises this process's soft limit on open descriptors to its hard limit, so
// that a walk can hold one descriptor per level of depth for as long as
// possible (beyond that, the system reader closes and reopens folders). Call
// it once at start-up, before any thread is started. Returns the soft limit in
// force afterwards; a failure leaves the limit as it was. On Windows there is
// no such limit to raise: it returns the number of handles a process may hold.
std::uint64_t RaiseOpenFileLimit() noexcept;

}  // namespace quorvel
