#pragma once
// One folder's entries held in memory, in the order they were read, packed
// back to back in a single buffer: a 4-byte header (name length and the two
// marks), the name's bytes, and, for a link that leads to a folder, its
// target. A folder of a thousand entries is one allocation of some tens of
// kilobytes, and handing it from one thread to another moves one pointer.

#include <cstddef>
#include <functional>
#include <system_error>
#include <vector>

#include "DirectoryReader.h"

namespace quorvel {

class ListingSnapshot {
  public:
    // Asked before the buffer grows by `bytes`; false refuses the growth.
    using GrowthGate = std::function<bool(std::size_t bytes)>;

    // Appends `entry`. Returns false, and keeps nothing of it, when the gate
    // refuses the memory or the name is too long for the header.
    bool Append(const DirEntry& entry, const GrowthGate& gate);
    // The entry at `offset`, which then moves past it; false at the end. The
    // name stays valid for the life of the snapshot.
    bool Read(std::size_t& offset, DirEntry& entry) const;

    // Empties it for another folder; its buffer stays.
    void Clear();

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
    std::vector<char> bytes_;
};

}  // namespace quorvel
