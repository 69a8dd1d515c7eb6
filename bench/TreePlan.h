// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::bench {

// The shape of a benchmark tree, decided before anything touches the disk:
// how many files and subfolders each folder holds. Folders are numbered in
// breadth-first order, so a folder's subfolders are consecutive.
struct FolderPlan {
    std::uint32_t firstChild = 0;
    std::uint32_t childCount = 0;
    std::uint32_t fileCount = 0;
};

class TreePlan {
  public:
    // A tree of exactly `entries` folders and files below the root, shaped
    // like a home folder: about one folder in twenty-one entries; folders that
    // have subfolders mostly have 3 to 17, a few have hundreds; about twenty
    // files a folder on average, a few folders with a thousand or more, some
    // empty; a few chains of 20 to 120 nested folders with almost no files.
    TreePlan(std::uint64_t seed, std::uint32_t entries);

    // Index 0 is the root, which is not an entry itself.
    const std::vector<FolderPlan>& Folders() const { return folders_; }
    std::uint32_t FolderCount() const { return static_cast<std::uint32_t>(folders_.size() - 1); }
    std::uint32_t FileCount() const { return fileCount_; }
    std::uint32_t MaxDepth() const { return maxDepth_; }

  private:
    std::vector<FolderPlan> folders_;
    std::uint32_t fileCount_ = 0;
    std::uint32_t maxDepth_ = 0;
};

}  // namespace quorvel::bench
