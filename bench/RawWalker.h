// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <quorvel/Collection.h>

namespace quorvel::bench {

// The least work that produces the scanner's two lists (of its own list type,
// so that both keep paths alike): openat relative to
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

    const Collection& Folders() const { return *folders_; }
    const Collection& Files() const { return *files_; }

  private:
    // `folder`: the folder's index in the folder list (Collection::kRoot for
    // the root).
    void WalkFolder(int folderFd, std::size_t depth, std::size_t folder);

    std::string path_;                              // the root, ending in '/'
    std::vector<std::unique_ptr<char[]>> buffers_;  // one per depth, reused
    std::shared_ptr<Collection> folders_;
    std::shared_ptr<Collection> files_;
};

}  // namespace quorvel::bench
