// SPDX-License-Identifier: MIT
#pragma once

namespace quorvel {

// What the walk puts between a folder's path and an entry's name, and at the
// end of every root: the platform's own separator, so that every path the
// scanner reports can be handed back to the platform as it stands.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace quorvel
