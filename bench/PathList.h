#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace quorvel::bench {

// The raw walker's result list: one growing byte store (fixed chunks that
// never move, so no copying as it grows) plus an index of views. The same
// layout and cost as the scanner's list, so the comparison measures the
// walks, not two ways of storing strings.
class PathList {
  public:
    PathList() = default;
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    void Add(std::string_view head, std::string_view tail) {
        const std::size_t n = head.size() + tail.size();
        if (n > left_) {
            const std::size_t size = std::max(n, kChunkSize);
            chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
            free_ = chunks_.back().get();
            left_ = size;
        }
        if (!head.empty()) std::memcpy(free_, head.data(), head.size());
        if (!tail.empty()) std::memcpy(free_ + head.size(), tail.data(), tail.size());
        items_.emplace_back(free_, n);
        free_ += n;
        left_ -= n;
    }

    std::size_t size() const { return items_.size(); }
    std::string_view operator[](std::size_t i) const { return items_[i]; }

  private:
    static constexpr std::size_t kChunkSize = 256 * 1024;
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
    std::vector<std::string_view> items_;
};

}  // namespace quorvel::bench
