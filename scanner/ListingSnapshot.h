// SPDX-License-Identifier: MIT
#pragma once
// One folder's entries held in memory, in the order they were read, packed
// back to back in a single buffer: a 4-byte header (name length and the two
// marks), the name's bytes, and, for a link that leads to a folder, its
// target. A folder of a thousand entries is one allocation of some tens of
// kilobytes, and handing it from one thread to another moves one pointer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <system_error>
#include <vector>

#include <quorvel/DirectoryReader.h>

namespace quorvel {

class ListingSnapshot {
  public:
    // Asked before the buffer grows by `bytes`; false refuses the growth.
    using GrowthGate = std::function<bool(std::size_t bytes)>;

    // Appends `entry`. Returns false, and keeps nothing of it, when the gate
    // refuses the memory or the name is too long for the header.
    bool Append(const DirEntry& entry, const GrowthGate& gate);
    // The entry at `offset`, which then moves past it; false at the end. The
    // name stays valid for the life of the snapshot. Inline: the walk reads
    // every entry of the tree through it.
    bool Read(std::size_t& offset, DirEntry& entry) const {
        if (offset >= size_) return false;
        const char* at = bytes_.data() + offset;
        std::uint32_t header = 0;
        std::memcpy(&header, at, sizeof header);
        const std::size_t length = header >> 2;
        entry.name = std::string_view(at + sizeof header, length);
        entry.isFolder = (header & kFolderMark) != 0;
        entry.isLink = (header & kLinkMark) != 0;
        offset += sizeof header + length;
        if (HasTarget(header)) {
            std::memcpy(&entry.linkTarget, at + sizeof header + length, sizeof(FolderId));
            offset += sizeof(FolderId);
        } else {
            entry.linkTarget = {};
        }
        return true;
    }

    // Memory held, as granted by the gate.
    std::size_t Capacity() const { return bytes_.capacity(); }

    // Whether `listing`, read from its current entry to its end, lists
    // exactly these entries (all of them, when complete). It is read.
    bool Matches(FolderListing& listing) const;

    // How the listing ended: `complete` once its last entry was read
    // (`error` then tells whether the read failed there).
    bool complete = false;
    std::error_code error;

  private:
    static constexpr std::uint32_t kFolderMark = 1;
    static constexpr std::uint32_t kLinkMark = 2;
    static bool HasTarget(std::uint32_t header) {
        return (header & (kFolderMark | kLinkMark)) == (kFolderMark | kLinkMark);
    }

    // Sized to its capacity when it grows, so that appending an entry only
    // copies it (a vector's resize would zero each entry's bytes first);
    // the entries fill the first `size_` bytes.
    std::vector<char> bytes_;
    std::size_t size_ = 0;
};

}  // namespace quorvel
