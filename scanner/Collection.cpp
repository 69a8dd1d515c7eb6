#include "Collection.h"

#include <algorithm>
#include <cstring>

namespace quorvel {

char* Collection::Reserve(std::size_t n) {
    if (n > freeLeft_) {
        // An item larger than a block gets a block of its own; the rest of the
        // current block is abandoned, which wastes at most one item's worth.
        const std::size_t size = std::max(n, kBlockSize);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        free_ = blocks_.back().get();
        freeLeft_ = size;
    }
    char* out = free_;
    free_ += n;
    freeLeft_ -= n;
    byteCount_ += n;
    return out;
}

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
    char* out = Reserve(n);
    if (!head.empty()) std::memcpy(out, head.data(), head.size());
    if (!tail.empty()) std::memcpy(out + head.size(), tail.data(), tail.size());
    items_.emplace_back(out, n);
}

}  // namespace quorvel
