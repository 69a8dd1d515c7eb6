// SPDX-License-Identifier: MIT
#pragma once
// A worker's reading of the folders it claims: each read to its end into a
// snapshot, outside the queue's lock, with the tasks of its subfolders made
// on the way.
//
// A worker keeps a folder it has read open while the folders below it come
// next, up to a few levels (a trail from the folder read last up towards the
// root, each the parent of the next), so that it opens a subfolder by name
// from its parent instead of by a path the system resolves level by level:
// paths run to hundreds of levels. It holds at most kHeldLimit listings and
// descriptors besides the one it reads, and none once it lets go (LetGo),
// which it must before it waits for anything.

#include <cstddef>
#include <memory>
#include <stop_token>
#include <system_error>
#include <vector>

#include <quorvel/DirectoryReader.h>

#include "ListingSnapshot.h"
#include "ReadAheadTask.h"
#include "ReadTiming.h"

namespace quorvel {

class FolderPrefetch {
  public:
    static constexpr std::size_t kHeldLimit = 3;

    explicit FolderPrefetch(DirectoryReader& inner) : inner_(inner) {}

    struct Outcome {
        // Listed to its end: `snapshot` complete, the subfolders' tasks
        // appended. Otherwise the walk reads it itself, and meets whatever
        // made this read fail (an exception included).
        bool read = false;
        ReadResult timing;
    };
    // Reads `folder` into `snapshot` (a new one if null), whose growth
    // `gate` grants; appends the tasks of its subfolders to `children`.
    // Timed with `waits`, up to the end of the listing (whose device it may
    // ask), before the tasks are made.
    Outcome Read(const std::shared_ptr<ReadAheadTask>& folder,
                 std::unique_ptr<ListingSnapshot>& snapshot,
                 const ListingSnapshot::GrowthGate& gate,
                 std::vector<std::shared_ptr<ReadAheadTask>>& children, WaitCount& waits,
                 const std::stop_token& stop);

    bool HoldsAny() const { return !held_.empty(); }
    // Closes every folder it keeps open.
    void LetGo() { held_.clear(); }

  private:
    // Opens `folder` by name from the last folder kept if that is its
    // parent, by path otherwise.
    std::unique_ptr<FolderListing> Open(const ReadAheadTask& folder, std::error_code& error);
    bool ReadEntries(FolderListing& listing, ListingSnapshot& snapshot,
                     const ListingSnapshot::GrowthGate& gate, const std::stop_token& stop);

    struct Held {
        std::shared_ptr<const ReadAheadTask> task;
        std::unique_ptr<FolderListing> listing;
    };

    DirectoryReader& inner_;
    std::vector<Held> held_;
};

}  // namespace quorvel
