// SPDX-License-Identifier: MIT
#include "FolderPrefetch.h"

#include <utility>

#include "WalkKey.h"

namespace quorvel {

FolderPrefetch::Outcome FolderPrefetch::Read(const std::shared_ptr<ReadAheadTask>& folder,
                                             std::unique_ptr<ListingSnapshot>& snapshot,
                                             const ListingSnapshot::GrowthGate& gate,
                                             std::vector<std::shared_ptr<ReadAheadTask>>& children,
                                             WaitCount& waits, const std::stop_token& stop) {
    const ReadClock clock(&waits);
    Outcome outcome;
    try {
        if (!snapshot) snapshot = std::make_unique<ListingSnapshot>();
        std::error_code error;
        std::unique_ptr<FolderListing> listing = Open(*folder, error);
        if (listing && ReadEntries(*listing, *snapshot, gate, stop)) {
            snapshot->complete = true;
            outcome.timing = clock.End(listing.get());
            AppendChildTasks(folder->key, folder->path, *snapshot, children);
            outcome.read = true;
            if (!children.empty()) {
                // Its subfolders come next.
                if (held_.size() == kHeldLimit) held_.erase(held_.begin());
                held_.push_back(Held{folder, std::move(listing)});
            }
            return outcome;
        }
    } catch (...) {
        children.clear();
    }
    outcome.read = false;
    outcome.timing = clock.End(nullptr);
    return outcome;
}

std::unique_ptr<FolderListing> FolderPrefetch::Open(const ReadAheadTask& folder,
                                                    std::error_code& error) {
    while (!held_.empty() && !IsBelowKey(folder.key, held_.back().task->key)) held_.pop_back();
    if (!held_.empty() && IsChildKey(folder.key, held_.back().task->key)) {
        return held_.back().listing->OpenChild(folder.Name(), error);
    }
    return inner_.OpenRoot(folder.path, error);
}

bool FolderPrefetch::ReadEntries(FolderListing& listing, ListingSnapshot& snapshot,
                                 const ListingSnapshot::GrowthGate& gate,
                                 const std::stop_token& stop) {
    DirEntry entry;
    for (unsigned n = 1; listing.Next(entry); ++n) {
        if (n % 64 == 0 && stop.stop_requested()) return false;
        if (!snapshot.Append(entry, gate)) return false;
    }
    return !listing.Error();
}

}  // namespace quorvel
