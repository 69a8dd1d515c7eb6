// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CollectionStore.h"

namespace quorvel::collection {

// A folder's full path, kept from one item to the next: moving to a folder
// near the last one (its parent, a sibling, a child: the steps of a listing)
// costs the names that differ, not the whole path. So a list read in order
// costs about its bytes, with no allocation once the path has grown.
class PathChain {
  public:
    explicit PathChain(const FolderTable& folders);

    // The root, the folder's relative path and a separator (the root alone
    // for kRoot). Valid until the next call.
    std::string_view To(std::size_t folder);
    // The same followed by `name`.
    std::string_view WithName(std::size_t folder, std::string_view name);

  private:
    struct Link {
        std::size_t folder;
        std::size_t end;  // the path's size after this folder's separator
    };

    const FolderTable& folders_;
    std::string path_;
    // The folders whose names the path holds, outermost first. A folder is
    // added after its parent, so its ancestors have lower indices than it.
    std::vector<Link> links_;
    std::vector<std::pair<std::size_t, std::string_view>> pending_;
};

}  // namespace quorvel::collection
