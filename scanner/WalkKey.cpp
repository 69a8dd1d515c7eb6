// SPDX-License-Identifier: MIT
#include "WalkKey.h"

#include <cstddef>

namespace quorvel {

std::string ChildKey(std::string_view key, std::uint32_t index) {
    // Short, so that the keys of most trees fit in a string's own storage:
    // every folder's key is made twice and compared many times.
    char position[5];
    std::size_t length = 0;
    if (index < 0x80) {
        position[length++] = static_cast<char>(index);
    } else if (index < 0x4000) {
        position[length++] = static_cast<char>(0x80 | (index >> 8));
        position[length++] = static_cast<char>(index & 0xFF);
    } else {
        position[length++] = static_cast<char>(0xC0);
        for (int shift = 24; shift >= 0; shift -= 8) {
            position[length++] = static_cast<char>((index >> shift) & 0xFF);
        }
    }
    std::string child;
    child.reserve(key.size() + length);
    child.append(key).append(position, length);
    return child;
}

bool IsChildKey(std::string_view child, std::string_view parent) {
    if (!IsBelowKey(child, parent)) return false;
    const auto first = static_cast<unsigned char>(child[parent.size()]);
    const std::size_t length = first < 0x80 ? 1 : first < 0xC0 ? 2 : 5;
    return child.size() - parent.size() == length;
}

bool NameFitsInPath(std::string_view name) {
    // Two scans for one character each: find_first_of would scan the set
    // once for every character of the name.
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace quorvel
