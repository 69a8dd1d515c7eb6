#include "TextPaneBytes.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace quorvel::textpane {

std::pair<BytePos, char*> TextPaneBytes::Extend(std::size_t size) {
    // Positions hold 32-bit offsets, and a record ends inside its block.
    if (size >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("text pane: a row of 4 GiB or more");
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < size) {
        const std::size_t capacity = std::max(kBlockSize, size);
        blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
    }
    Block& last = blocks_.back();
    const BytePos pos{static_cast<std::uint32_t>(blocks_.size() - 1),
                      static_cast<std::uint32_t>(last.used)};
    last.used += size;
    return {pos, last.data.get() + pos.offset};
}

void TextPaneBytes::Truncate(BytePos end) {
    if (end.block >= blocks_.size()) return;
    blocks_.resize(end.block + 1);
    blocks_.back().used = std::min<std::size_t>(blocks_.back().used, end.offset);
}

void TextPaneBytes::Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
}

std::size_t TextPaneBytes::MemoryBytes() const {
    std::size_t bytes = blocks_.capacity() * sizeof(Block);
    for (const Block& block : blocks_) bytes += block.capacity;
    return bytes;
}

}  // namespace quorvel::textpane
