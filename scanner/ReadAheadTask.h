// SPDX-License-Identifier: MIT
#pragma once
// One folder of a read-ahead walk on its way through the queue: waiting to
// be read, being read by a worker, or read and ready for the walk.

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ListingSnapshot.h"

namespace quorvel {

struct ReadAheadTask {
    std::string key;   // WalkKey.h
    std::string path;  // absolute, without a trailing '/'
    std::size_t nameStart = 0;
    std::unique_ptr<ListingSnapshot> snapshot;  // once read
    // Its own bytes and its snapshot's, while the ledger holds them.
    std::size_t charged = 0;
    std::atomic<bool> done = false;  // a worker has finished with it
    bool abandoned = false;          // dropped while a worker read it
    bool published = false;          // its subfolders were queued
    bool blocked = false;            // its read was slow, and waited

    std::string_view Name() const { return std::string_view(path).substr(nameStart); }
    bool Names(std::string_view name) const { return Name() == name; }
};

// Keyed by a view of the task's own key: a task moves between the maps
// without copying it.
using ReadAheadTasks = std::map<std::string_view, std::shared_ptr<ReadAheadTask>, std::less<>>;

// What a queued folder costs besides its path and key: the task, its map
// node and the shared pointer's block, roughly.
inline constexpr std::size_t kTaskBytes = 160;

// Appends the tasks of the subfolders of `snapshot`, the listing of the
// folder keyed `key` at `folder` (a trailing '/' is ignored), that workers
// may read: links are the walk's to decide on, and a name that no path can
// carry is the walk's to open. Made before the lock is taken.
void AppendChildTasks(const std::string& key, std::string_view folder,
                      const ListingSnapshot& snapshot,
                      std::vector<std::shared_ptr<ReadAheadTask>>& children);

}  // namespace quorvel
