#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quorvel::textpane {

// Where a record starts in a TextPaneBytes.
struct BytePos {
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
};

// Records of bytes kept one after another in blocks. Each record is
// contiguous: one that does not fit in the rest of the last block starts a new
// block (one larger than a block gets a block of its own size). Appending never
// moves what is stored, so a large store is never copied to grow it, and the
// footprint stays within one block of the content.
class TextPaneBytes {
  public:
    // Room for a record of `size` bytes at the end: its position, and where to
    // write it. Throws std::length_error for a record of 4 GiB or more.
    std::pair<BytePos, char*> Extend(std::size_t size);
    // Keeps the records that start before `end`, which must be a record's start
    // or the end of the store.
    void Truncate(BytePos end);
    void Clear();

    // The record at `pos`; `pos` may be where the previous record ended (see
    // After), and is moved to where the record really starts.
    const char* Locate(BytePos& pos) const {
        if (pos.offset == blocks_[pos.block].used) pos = BytePos{pos.block + 1, 0};
        return blocks_[pos.block].data.get() + pos.offset;
    }
    // The position following a record of `size` bytes at `pos`. The next record
    // may still begin a new block: Locate finds it there.
    static BytePos After(BytePos pos, std::size_t size) {
        return BytePos{pos.block, static_cast<std::uint32_t>(pos.offset + size)};
    }
    std::size_t MemoryBytes() const;

  private:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    struct Block {
        std::unique_ptr<char[]> data;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };
    std::vector<Block> blocks_;
};

}  // namespace quorvel::textpane
