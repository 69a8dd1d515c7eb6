// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "BlockStore.h"

namespace quorvel {

// An append-only ordered list of byte strings. Items live in large blocks that
// never move, so an item's view stays valid for the life of the list and a
// million short paths cost one index slot each plus their bytes, without a
// heap allocation per item.
class Collection {
  public:
    using Index = std::vector<std::string_view, HugePageAllocator<std::string_view>>;
    using const_iterator = Index::const_iterator;

    // kHugeWhenLarge: see BlockStore; a program's choice, off by default.
    explicit Collection(BlockStore::Growth growth = BlockStore::Growth::kFixed)
        : bytes_(kBlockSize, growth),
          items_(Index::allocator_type(growth == BlockStore::Growth::kHugeWhenLarge)) {}
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    void Add(std::string_view item);
    // Adds the concatenation of the pieces as one item.
    void Add(std::string_view head, std::string_view tail);

    std::size_t Count() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    std::size_t size() const { return items_.size(); }
    std::string_view operator[](std::size_t i) const { return items_[i]; }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

    // Bytes held by the items (not the index).
    std::size_t ByteCount() const { return bytes_.ByteCount(); }

  private:
    // The rest of a block that an item does not fit in is left unused, which
    // wastes at most one item's worth per block.
    static constexpr std::size_t kBlockSize = 256 * 1024;
    BlockStore bytes_;
    Index items_;
};

}  // namespace quorvel
