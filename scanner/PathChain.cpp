// SPDX-License-Identifier: MIT
#include "PathChain.h"

#include <quorvel/PathSeparator.h>

namespace quorvel::collection {

PathChain::PathChain(const FolderTable& folders) : folders_(folders), path_(folders.Root()) {}

std::string_view PathChain::To(std::size_t folder) {
    // Walks up from `folder` until it meets a folder the path holds; what the
    // path holds beyond that point is not on the way, and goes.
    pending_.clear();
    std::size_t at = folder;
    while (at != Collection::kRoot) {
        while (!links_.empty() && links_.back().folder > at) links_.pop_back();
        if (!links_.empty() && links_.back().folder == at) break;
        const FolderRecord record = folders_.At(at);
        pending_.emplace_back(at, record.name);
        at = record.parent;
    }
    if (at == Collection::kRoot) links_.clear();
    path_.resize(links_.empty() ? folders_.Root().size() : links_.back().end);
    for (auto step = pending_.rbegin(); step != pending_.rend(); ++step) {
        path_.append(step->second);
        path_.push_back(kPathSeparator);
        links_.push_back(Link{step->first, path_.size()});
    }
    return path_;
}

std::string_view PathChain::WithName(std::size_t folder, std::string_view name) {
    To(folder);
    path_.append(name);
    return path_;
}

}  // namespace quorvel::collection
