// SPDX-License-Identifier: MIT
#pragma once
// The tree that quorvel-test-fusefs serves, held in memory: folders and empty
// files, each folder's entries in the order they were added, and the faults
// of each folder's listing. Free of FUSE itself, so that what a listing
// returns is decided in one place.
//
// Listing order and offsets: "." and ".." come first (offsets 1 and 2), then
// the entries in the order they were added; each entry keeps the offset it
// got when added, and a listing continues after the offset it last returned.
// An entry added while a folder is listed therefore shows up at the end of
// that listing, one removed before it was reached does not show at all, and
// a rename is a removal and an addition (the new name comes at the end), as
// on many real file systems.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing::fusefs {

using NodeId = std::uint64_t;  // the FUSE inode number
inline constexpr NodeId kRootId = 1;

struct Change {
    enum class Kind { AddFile, AddFolder, Remove, Rename };
    Kind kind = Kind::AddFile;
    std::string name;
    std::string newName;  // Rename only
};

// Faults count a listing's entries other than "." and ".." (`after`): the
// call that would go past `after` of them gets the fault instead, and the
// call before it returns no more than `after`.
struct Faults {
    // The listing's calls from `after` on are held until released.
    std::optional<std::size_t> hangAfter;
    // They fail with `failError`, in every listing of the folder.
    std::optional<std::size_t> failAfter;
    int failError = 0;
    // The first listing that gets that far makes these changes, once.
    std::optional<std::size_t> changeAfter;
    std::vector<Change> changes;
    // Each call that returns entries takes this long; unset: as the parent.
    std::optional<std::chrono::microseconds> latency;
};

struct Node {
    NodeId parent = 0;
    std::string name;
    bool folder = false;
    bool removed = false;
    struct Child {
        std::uint64_t offset = 0;
        NodeId node = 0;
    };
    std::vector<Child> children;  // in offset order
    Faults faults;
};

struct ListedEntry {
    std::uint64_t offset = 0;
    std::string_view name;
    NodeId node = 0;
    bool folder = false;
    bool dotOrDotDot = false;
};

class Tree {
  public:
    Tree();

    // Builders take a '/'-separated path relative to the root ("" and "."
    // are the root) and make the folders missing on the way. Folder returns
    // the folder, File the new file; both return 0 when the path runs
    // through a file.
    NodeId Folder(std::string_view path);
    NodeId File(std::string_view path);
    // The node at `path`, or 0.
    NodeId Find(std::string_view path) const;
    // Appends an entry to `folder` without looking for one of that name:
    // for copying a real folder, whose names are known to differ.
    NodeId Add(NodeId folder, std::string_view name, bool isFolder);

    Node& At(NodeId id) { return nodes_.at(id - 1); }
    const Node& At(NodeId id) const { return nodes_.at(id - 1); }
    bool Valid(NodeId id) const { return id >= 1 && id <= nodes_.size(); }
    // The entry `name` of `folder`, or 0.
    NodeId Lookup(NodeId folder, std::string_view name) const;
    // Relative to the root, "." for the root.
    std::string PathOf(NodeId id) const;
    std::chrono::microseconds LatencyOf(NodeId folder) const;

    // The entries of `folder` after `offset`, "." and ".." included.
    std::vector<ListedEntry> EntriesAfter(NodeId folder, std::uint64_t offset) const;
    bool HasEntriesAfter(NodeId folder, std::uint64_t offset) const;
    // False when the change names no entry of `folder` or clashes with one.
    bool Apply(NodeId folder, const Change& change);

  private:
    void MarkRemoved(NodeId id);

    std::vector<Node> nodes_;
    std::uint64_t nextOffset_ = 3;  // after "." and ".."
};

}  // namespace quorvel::testing::fusefs
