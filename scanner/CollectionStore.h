// SPDX-License-Identifier: MIT
#pragma once
// How a Collection keeps its entries: each as a short record in a BlockStore,
// a name and the few numbers that place it.
//
//   folder record: varint distance to its parent (i - parent, or i + 1 for
//                  the root), varint name size * 2 + full-path form, name
//   file record:   varint name size * 2 + folder follows, [varint folder + 1
//                  (0: the root)], name
//
// A folder is found through a dense index (a folder list is a small share of
// a tree, and every path walks up through it); a file through a sparse one,
// every kGroup files, whose first record always names its folder: the
// others name theirs only when it differs from the previous file's, which
// in a listing it seldom does.

#include <quorvel/Collection.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "BlockStore.h"

namespace quorvel::collection {

struct FolderRecord {
    std::size_t parent = Collection::kRoot;
    std::string_view name;
    bool fullPath = false;
};

struct FileRecord {
    std::size_t folder = Collection::kRoot;
    std::string_view name;
};

class FolderTable {
  public:
    FolderTable(std::string root, bool hugePages);

    std::string_view Root() const { return root_; }
    std::size_t Count() const { return at_.size(); }
    // `parent` is kRoot or an index below Count().
    std::size_t Add(std::size_t parent, std::string_view name, bool fullPath);
    FolderRecord At(std::size_t i) const;
    // The folder's path relative to the root: its size, and the path itself.
    std::size_t RelativeSize(std::size_t folder) const;
    void AppendRelative(std::size_t folder, std::string& out) const;
    std::size_t MemoryBytes() const;

  private:
    std::string root_;
    BlockStore bytes_;
    std::vector<BlockPos, HugePageAllocator<BlockPos>> at_;
};

class FileTable {
  public:
    static constexpr std::size_t kGroup = 16;

    explicit FileTable(bool hugePages);

    std::size_t Count() const { return count_; }
    void Add(std::size_t folder, std::string_view name);
    FileRecord At(std::size_t i) const;
    // Records [first, last) in order: visit(std::size_t i, const FileRecord&).
    template <class Visit>
    void ForEach(std::size_t first, std::size_t last, Visit&& visit) const {
        std::size_t i = first - first % kGroup;
        BlockPos pos = groups_[i / kGroup];
        FileRecord record;
        for (; i < last; ++i) {
            pos = Read(pos, record);
            if (i >= first) visit(i, record);
        }
    }
    std::size_t MemoryBytes() const;

  private:
    // Reads the record at `pos` into `record` (keeping its folder when the
    // record names none); returns where the next record starts.
    BlockPos Read(BlockPos pos, FileRecord& record) const;

    BlockStore bytes_;
    std::vector<BlockPos, HugePageAllocator<BlockPos>> groups_;
    std::size_t count_ = 0;
    // The latest record, read without its group.
    BlockPos last_;
    std::size_t lastFolder_ = Collection::kRoot;
};

}  // namespace quorvel::collection
