// SPDX-License-Identifier: MIT
#pragma once
// Walk keys: where a folder comes in the walk, as a byte string.
//
// A folder's key is the index of its entry in each folder on the way down
// from the root, each index in 1, 2 or 5 bytes (encodings that sort as the
// indexes do, none the start of another), so that comparing keys as byte
// strings compares positions in the walk's pre-order, and a folder's key is
// the start of the keys of everything below it. The root's key is empty.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// The key of entry `index` of the folder keyed `key`.
std::string ChildKey(std::string_view key, std::uint32_t index);
// Whether `child` is the key of an entry of the folder keyed `parent`.
bool IsChildKey(std::string_view child, std::string_view parent);
// Whether `key` is that of a folder somewhere below the folder keyed `folder`.
inline bool IsBelowKey(std::string_view key, std::string_view folder) {
    return key.size() > folder.size() && key.starts_with(folder);
}
// Only a name that a path carries unchanged is read ahead by path.
bool NameFitsInPath(std::string_view name);

}  // namespace quorvel
