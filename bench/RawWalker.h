// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <quorvel/Collection.h>

namespace quorvel::bench {

// The least work that produces the scanner's two lists: openat relative to
// the parent, getdents64 into a large buffer, the entry type from the
// listing. Folder list: paths relative to the root, in pre-order; file list:
// full paths. No events, no yield, no counters that can overflow, no link-loop
// check (links to folders are followed blindly: the benchmark tree has none),
// and read errors are ignored. For comparison only: it is the yardstick that
// the scanner is measured against, never a substitute for it.
class RawWalker {
  public:
    explicit RawWalker(std::string root);

    void Walk();

    const Collection& Folders() const { return folders_; }
    const Collection& Files() const { return files_; }

  private:
    void WalkFolder(int folderFd, std::size_t depth);

    std::string path_;  // the folder being listed, ending in '/'
    std::size_t rootLength_;
    std::vector<std::unique_ptr<char[]>> buffers_;  // one per depth, reused
    Collection folders_;
    Collection files_;
};

}  // namespace quorvel::bench
