// SPDX-License-Identifier: MIT
#include <quorvel/Collection.h>

#include <algorithm>
#include <cstring>

namespace quorvel {

void Collection::Add(std::string_view item) {
    Add(item, {});
}

void Collection::Add(std::string_view head, std::string_view tail) {
    const std::size_t n = head.size() + tail.size();
    // Reserve the index slot first so that a failing push_back cannot leave
    // bytes without an item.
    if (items_.size() == items_.capacity())
        items_.reserve(std::max<std::size_t>(64, items_.size() * 2));
    if (n == 0) {
        items_.emplace_back();
        return;
    }
    char* out = bytes_.Extend(n).second;
    if (!head.empty()) std::memcpy(out, head.data(), head.size());
    if (!tail.empty()) std::memcpy(out + head.size(), tail.data(), tail.size());
    items_.emplace_back(out, n);
}

}  // namespace quorvel
