#include "ListingSnapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorvel {
namespace {

constexpr std::uint32_t kFolderMark = 1;
constexpr std::uint32_t kLinkMark = 2;
constexpr std::size_t kLongestName = (std::size_t{1} << 30) - 1;
// The first buffer holds a typical small folder; later ones double.
constexpr std::size_t kFirstCapacity = 1024;

bool HasTarget(std::uint32_t header) {
    return (header & (kFolderMark | kLinkMark)) == (kFolderMark | kLinkMark);
}

}  // namespace

bool ListingSnapshot::Append(const DirEntry& entry, const GrowthGate& gate) {
    if (entry.name.size() > kLongestName) return false;
    const std::uint32_t header = static_cast<std::uint32_t>(entry.name.size() << 2) |
                                 (entry.isFolder ? kFolderMark : 0) |
                                 (entry.isLink ? kLinkMark : 0);
    const std::size_t size =
        sizeof header + entry.name.size() + (HasTarget(header) ? sizeof(FolderId) : 0);
    const std::size_t used = bytes_.size();
    if (used + size > bytes_.capacity()) {
        // Grown by hand, so that the gate is asked for exactly what the
        // buffer will hold.
        const std::size_t wanted = std::max({kFirstCapacity, 2 * bytes_.capacity(), used + size});
        if (!gate(wanted - bytes_.capacity())) return false;
        bytes_.reserve(wanted);
    }
    bytes_.resize(used + size);
    char* out = bytes_.data() + used;
    std::memcpy(out, &header, sizeof header);
    if (!entry.name.empty()) std::memcpy(out + sizeof header, entry.name.data(), entry.name.size());
    if (HasTarget(header)) {
        std::memcpy(out + sizeof header + entry.name.size(), &entry.linkTarget, sizeof(FolderId));
    }
    return true;
}

void ListingSnapshot::Clear() {
    bytes_.clear();
    complete = false;
    error.clear();
}

bool ListingSnapshot::Read(std::size_t& offset, DirEntry& entry) const {
    if (offset >= bytes_.size()) return false;
    const char* at = bytes_.data() + offset;
    std::uint32_t header = 0;
    std::memcpy(&header, at, sizeof header);
    const std::size_t length = header >> 2;
    entry.name = std::string_view(at + sizeof header, length);
    entry.isFolder = (header & kFolderMark) != 0;
    entry.isLink = (header & kLinkMark) != 0;
    entry.linkTarget = {};
    offset += sizeof header + length;
    if (HasTarget(header)) {
        std::memcpy(&entry.linkTarget, bytes_.data() + offset, sizeof(FolderId));
        offset += sizeof(FolderId);
    }
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
