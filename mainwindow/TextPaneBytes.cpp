#include "TextPaneBytes.h"

#include <cstring>

namespace quorvel::textpane {

void TextPaneBytes::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::uint64_t offset = size_ % kBlockSize;
        if (offset == 0 && size_ / kBlockSize == blocks_.size())
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize - offset, bytes.size()));
        std::memcpy(blocks_[size_ / kBlockSize].get() + offset, bytes.data(), take);
        size_ += take;
        bytes.remove_prefix(take);
    }
}

void TextPaneBytes::Truncate(std::uint64_t size) {
    if (size >= size_) return;
    size_ = size;
    blocks_.resize(static_cast<std::size_t>((size + kBlockSize - 1) / kBlockSize));
    if (blocks_.empty()) blocks_.shrink_to_fit();
}

std::string TextPaneBytes::Copy(std::uint64_t begin, std::uint64_t end) const {
    std::string out;
    if (end > begin) out.reserve(static_cast<std::size_t>(end - begin));
    ForEachSpan(begin, end, [&out](std::string_view span) { out.append(span); });
    return out;
}

std::size_t TextPaneBytes::MemoryBytes() const {
    return blocks_.size() * kBlockSize + blocks_.capacity() * sizeof(blocks_[0]);
}

}  // namespace quorvel::textpane
