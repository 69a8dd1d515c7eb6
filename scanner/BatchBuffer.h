// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>

namespace quorvel {

// The buffer a listing reads its folder's entries into, a batch at a time.
// Buffers of listings closed on a thread serve the next listings it opens:
// one this large is beyond the allocator's per-thread caches, and
// allocating and freeing one for every folder cost a walk reading ahead
// 1.4 % (folders in memory) to 2.5 % (on the disk, a dozen threads) of its
// CPU time.
class BatchBuffer {
  public:
    // Big enough that a typical folder is read in one call; small enough
    // that a chain thousands of folders deep (one open listing per level)
    // stays cheap.
    static constexpr std::size_t kSize = 16 * 1024;

    BatchBuffer();
    ~BatchBuffer() { Reset(); }
    BatchBuffer(const BatchBuffer&) = delete;
    BatchBuffer& operator=(const BatchBuffer&) = delete;

    // Null once Reset.
    char* get() const { return bytes_.get(); }
    // Gives the buffer back to the thread's spares.
    void Reset();

  private:
    std::unique_ptr<char[]> bytes_;
};

}  // namespace quorvel
