// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "TreePlan.h"

namespace quorvel::bench {

// Creates a planned tree on disk below an existing, empty folder: folders
// with mkdirat, empty files with mknodat, each relative to its parent's
// descriptor, so a million entries take well under a minute on a local disk.
// Throws std::system_error naming the failing step.
class TreeWriter {
  public:
    TreeWriter(const TreePlan& plan, std::uint64_t seed) : plan_(plan), seed_(seed) {}

    void Write(const std::string& rootFolder);

  private:
    void WriteFolder(int folderFd, std::uint32_t folder, class NameMaker& names);

    const TreePlan& plan_;
    std::uint64_t seed_;
};

// Creates `folders` empty subfolders directly in an existing, empty folder,
// named as the planned tree names its folders.
void WriteFlatFolder(const std::string& rootFolder, std::uint32_t folders, std::uint64_t seed);

}  // namespace quorvel::bench
