// SPDX-License-Identifier: MIT
#include "ListingSnapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorvel {
namespace {

constexpr std::size_t kLongestName = (std::size_t{1} << 30) - 1;
// The first buffer holds a typical small folder; later ones double.
constexpr std::size_t kFirstCapacity = 1024;

}  // namespace

bool ListingSnapshot::Append(const DirEntry& entry, const GrowthGate& gate) {
    if (entry.name.size() > kLongestName) return false;
    const std::uint32_t header = static_cast<std::uint32_t>(entry.name.size() << 2) |
                                 (entry.isFolder ? kFolderMark : 0) |
                                 (entry.isLink ? kLinkMark : 0);
    const std::size_t size =
        sizeof header + entry.name.size() + (HasTarget(header) ? sizeof(FolderId) : 0);
    if (size_ + size > bytes_.size()) {
        // Grown by hand, so that the gate is asked for exactly what the
        // buffer will hold.
        const std::size_t wanted = std::max({kFirstCapacity, 2 * bytes_.capacity(), size_ + size});
        if (!gate(wanted - bytes_.capacity())) return false;
        bytes_.reserve(wanted);
        bytes_.resize(wanted);
    }
    char* out = bytes_.data() + size_;
    std::memcpy(out, &header, sizeof header);
    if (!entry.name.empty()) std::memcpy(out + sizeof header, entry.name.data(), entry.name.size());
    if (HasTarget(header)) {
        std::memcpy(out + sizeof header + entry.name.size(), &entry.linkTarget, sizeof(FolderId));
    }
    size_ += size;
    return true;
}

bool ListingSnapshot::Matches(FolderListing& listing) const {
    std::size_t offset = 0;
    DirEntry mine;
    DirEntry theirs;
    while (Read(offset, mine)) {
        if (!listing.Next(theirs) || theirs.name != mine.name || theirs.isFolder != mine.isFolder ||
            theirs.isLink != mine.isLink || theirs.linkTarget != mine.linkTarget) {
            return false;
        }
    }
    return !complete || (!listing.Next(theirs) && listing.Error() == error);
}

}  // namespace quorvel
