#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::textpane {

// A growing byte string kept in fixed-size blocks: appending never moves what
// is already stored, so the store's footprint stays within one block of its
// content and a large text is never copied to grow it.
class TextPaneBytes {
  public:
    void Append(std::string_view bytes);
    // Keeps the first `size` bytes (no-op when it is not smaller).
    void Truncate(std::uint64_t size);
    void Clear() { Truncate(0); }
    std::uint64_t Size() const { return size_; }
    std::string Copy(std::uint64_t begin, std::uint64_t end) const;
    std::size_t MemoryBytes() const;

    // Calls visit(std::string_view) for the contiguous pieces of [begin, end), in order.
    template <typename Visit>
    void ForEachSpan(std::uint64_t begin, std::uint64_t end, Visit&& visit) const {
        end = std::min(end, size_);
        while (begin < end) {
            const std::uint64_t offset = begin % kBlockSize;
            const std::uint64_t take = std::min<std::uint64_t>(kBlockSize - offset, end - begin);
            visit(std::string_view(blocks_[begin / kBlockSize].get() + offset, take));
            begin += take;
        }
    }

  private:
    static constexpr std::uint64_t kBlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::uint64_t size_ = 0;
};

}  // namespace quorvel::textpane
