// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quorvel {

// The size of a huge page on x86-64 and most of aarch64 Linux.
inline constexpr std::size_t kHugeBlock = std::size_t{2} << 20;

// `size` bytes from the heap. With `huge`, a multiple of kHugeBlock comes
// aligned to it and marked for huge pages where the system has them. Throws
// bad_alloc. Free with FreeAllocatedBytes.
inline void* AllocateBytes(std::size_t size, bool huge) {
    void* bytes = nullptr;
#if defined(__linux__)
    if (huge && size != 0 && size % kHugeBlock == 0) {
        bytes = std::aligned_alloc(kHugeBlock, size);
        if (bytes) ::madvise(bytes, size, MADV_HUGEPAGE);
    }
#else
    (void)huge;
#endif
    if (!bytes) bytes = std::malloc(size == 0 ? 1 : size);
    if (!bytes) throw std::bad_alloc();
    return bytes;
}
inline void FreeAllocatedBytes(void* bytes) {
    std::free(bytes);
}

// An allocator for a large array (a vector that doubles as it grows) that,
// when `huge` is set, rounds each allocation of a huge page or more up to
// whole huge pages: a doubling vector touches twice its final size in fresh
// memory, one page fault per 4 KiB page otherwise.
template <class T>
struct HugePageAllocator {
    using value_type = T;
    bool huge = false;

    HugePageAllocator() = default;
    explicit HugePageAllocator(bool useHuge) : huge(useHuge) {}
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>& other) : huge(other.huge) {}

    T* allocate(std::size_t n) {
        // Rounding up stays clear of the top of size_t.
        if (n > (std::numeric_limits<std::size_t>::max() - kHugeBlock) / sizeof(T))
            throw std::bad_array_new_length();
        std::size_t bytes = n * sizeof(T);
        if (huge && bytes >= kHugeBlock) bytes = (bytes + kHugeBlock - 1) / kHugeBlock * kHugeBlock;
        return static_cast<T*>(AllocateBytes(bytes, huge));
    }
    void deallocate(T* p, std::size_t) { FreeAllocatedBytes(p); }
    template <class U>
    bool operator==(const HugePageAllocator<U>& other) const {
        return huge == other.huge;
    }
};

// Where a record starts in a BlockStore.
struct BlockPos {
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
};

// Records of bytes kept one after another in blocks. Each record is
// contiguous: one that does not fit in the rest of the last block starts a new
// block, and one larger than a block gets a block of its own size. A store
// may ask for blocks of 2 MiB once it is large (see Growth). Appending
// never moves what is stored, so a record's bytes stay where they are until
// Truncate or Clear removes them, a large store is never copied to grow it,
// and at most the end of each block is left unused.
class BlockStore {
  public:
    enum class Growth {
        kFixed,
        // Past 8 MiB of blocks, blocks of 2 MiB aligned for the system to
        // back each with one huge page (Linux: MADV_HUGEPAGE): touching
        // fresh memory costs a page fault per page, and with 4 KiB pages
        // that is much of the cost of writing a long text. Only past 8 MiB,
        // so that the unused end of the last block stays a small share.
        // Huge pages are a choice of the program, not of a library that
        // it links: the scanner's lists keep kFixed unless asked.
        kHugeWhenLarge,
    };

    // `blockSize` trades the unused end of the last block against one heap
    // allocation per block.
    explicit BlockStore(std::size_t blockSize, Growth growth = Growth::kFixed)
        : blockSize_(blockSize), growth_(growth) {}
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;

    // Room for a record of `size` bytes at the end: its position, and where to
    // write it. Throws std::length_error for a record of 4 GiB or more.
    std::pair<BlockPos, char*> Extend(std::size_t size) {
        if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < size) AddBlock(size);
        Block& last = blocks_.back();
        const BlockPos pos{static_cast<std::uint32_t>(blocks_.size() - 1),
                           static_cast<std::uint32_t>(last.used)};
        last.used += size;
        return {pos, last.data.get() + pos.offset};
    }

    // Keeps the records that start before `end`, which must be a record's
    // start or the end of the store.
    void Truncate(BlockPos end) {
        if (end.block >= blocks_.size()) return;
        blocks_.resize(end.block + 1);
        blocks_.back().used = std::min<std::size_t>(blocks_.back().used, end.offset);
    }

    // Moves the blocks of `other` after these, leaving `other` empty: the
    // position {block, offset} there is {block + returned, offset} here.
    // The end of the last block here stays unused.
    std::uint32_t TakeBlocks(BlockStore& other) {
        const std::size_t first = blocks_.size();
        if (other.blocks_.size() >= kPositionLimit - first)
            throw std::length_error("BlockStore: too many blocks");
        blocks_.insert(blocks_.end(), std::make_move_iterator(other.blocks_.begin()),
                       std::make_move_iterator(other.blocks_.end()));
        other.Clear();
        return static_cast<std::uint32_t>(first);
    }

    void Clear() {
        blocks_.clear();
        blocks_.shrink_to_fit();
    }

    // The record at `pos`; `pos` may be where the previous record ended (see
    // After), and is moved to where the record really starts.
    const char* Locate(BlockPos& pos) const {
        if (pos.offset == blocks_[pos.block].used) pos = BlockPos{pos.block + 1, 0};
        return blocks_[pos.block].data.get() + pos.offset;
    }
    // The position following a record of `size` bytes at `pos`. The next
    // record may still begin a new block: Locate finds it there.
    static BlockPos After(BlockPos pos, std::size_t size) {
        return BlockPos{pos.block, static_cast<std::uint32_t>(pos.offset + size)};
    }

    // Bytes of the records.
    std::size_t ByteCount() const {
        std::size_t bytes = 0;
        for (const Block& block : blocks_) bytes += block.used;
        return bytes;
    }
    // Bytes held: the blocks, used or not, and their index.
    std::size_t MemoryBytes() const { return BlockBytes() + blocks_.capacity() * sizeof(Block); }

  private:
    struct FreeBytes {
        void operator()(char* bytes) const { FreeAllocatedBytes(bytes); }
    };
    struct Block {
        std::unique_ptr<char[], FreeBytes> data;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };

    std::size_t BlockBytes() const {
        std::size_t bytes = 0;
        for (const Block& block : blocks_) bytes += block.capacity;
        return bytes;
    }

    void AddBlock(std::size_t size) {
        // A record ends inside its block.
        if (size >= kPositionLimit)
            throw std::length_error("BlockStore: a record of 4 GiB or more");
        if (blocks_.size() >= kPositionLimit)
            throw std::length_error("BlockStore: too many blocks");
        const bool large = growth_ == Growth::kHugeWhenLarge && BlockBytes() >= kHugeBlocksAfter;
        const std::size_t capacity = std::max({blockSize_, large ? kHugeBlock : 0, size});
        auto* bytes = static_cast<char*>(AllocateBytes(capacity, large));
        blocks_.push_back(Block{std::unique_ptr<char[], FreeBytes>(bytes), capacity, 0});
    }

    static constexpr std::size_t kHugeBlocksAfter = 4 * kHugeBlock;
    // Positions hold 32-bit block numbers and offsets.
    static constexpr std::size_t kPositionLimit = std::numeric_limits<std::uint32_t>::max();

    std::size_t blockSize_;
    Growth growth_;
    std::vector<Block> blocks_;
};

}  // namespace quorvel
