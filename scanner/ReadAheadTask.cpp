// SPDX-License-Identifier: MIT
#include "ReadAheadTask.h"

#include <cstdint>
#include <utility>

#include "WalkKey.h"

namespace quorvel {

void AppendChildTasks(const std::string& key, std::string_view folder,
                      const ListingSnapshot& snapshot,
                      std::vector<std::shared_ptr<ReadAheadTask>>& children) {
    if (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    std::size_t offset = 0;
    DirEntry entry;
    for (std::uint32_t index = 0; snapshot.Read(offset, entry); ++index) {
        if (!entry.isFolder || entry.isLink || !NameFitsInPath(entry.name)) continue;
        auto task = std::make_shared<ReadAheadTask>();
        task->key = ChildKey(key, index);
        // And the '/' the walk appends when it takes the listing.
        task->path.reserve(folder.size() + 2 + entry.name.size());
        task->path.append(folder).append(1, '/').append(entry.name);
        task->nameStart = folder.size() + 1;
        task->charged = kTaskBytes + task->key.size() + task->path.size();
        children.push_back(std::move(task));
    }
}

}  // namespace quorvel
