// SPDX-License-Identifier: MIT
#include "TreePlan.h"

#include <algorithm>

#include "SplitMix64.h"

namespace quorvel::bench {
namespace {

// Entries per folder, the folder itself included: 20 files plus itself.
constexpr std::uint32_t kEntriesPerFolder = 21;

}  // namespace

TreePlan::TreePlan(std::uint64_t seed, std::uint32_t entries) {
    SplitMix64 rng(seed);
    const std::uint32_t targetFolders =
        entries == 0 ? 0 : std::max(1u, entries / kEntriesPerFolder);
    const std::uint32_t targetFiles = entries - targetFolders;

    // Chain links get their single child when the chain is made, not when
    // the breadth-first pass reaches them: that pass ends after a handful of
    // levels, and a chain grown one level per pass would never get deep.
    std::vector<bool> inChain{false};
    std::vector<std::uint32_t> depth{0};
    folders_.push_back(FolderPlan{});
    const auto addFolder = [&](std::size_t parent, bool chainLink) {
        folders_.push_back(FolderPlan{});
        inChain.push_back(chainLink);
        depth.push_back(depth[parent] + 1);
        maxDepth_ = std::max(maxDepth_, depth.back());
    };

    // Breadth first, so that the budget is spread over the whole tree rather
    // than spent by the first subtree. A folder at the end of the queue
    // always branches, so the tree cannot stop growing short of its size.
    for (std::size_t i = 0; i < folders_.size() && folders_.size() - 1 < targetFolders; ++i) {
        if (inChain[i]) continue;
        const std::uint32_t room = targetFolders - static_cast<std::uint32_t>(folders_.size() - 1);
        if (rng.Chance(3)) {
            const std::uint32_t length = std::min(rng.Between(20, 120), room);
            folders_[i].firstChild = static_cast<std::uint32_t>(folders_.size());
            folders_[i].childCount = 1;
            std::size_t parent = i;
            for (std::uint32_t k = 0; k < length; ++k) {
                const bool link = k + 1 < length;
                addFolder(parent, link);
                parent = folders_.size() - 1;
                if (link) {
                    folders_.back().firstChild = static_cast<std::uint32_t>(folders_.size());
                    folders_.back().childCount = 1;
                }
            }
            continue;
        }
        std::uint32_t children = 0;
        if (rng.Chance(5)) {
            children = rng.Between(100, 400);
        } else if (rng.Chance(300) || i + 1 == folders_.size()) {
            children = rng.Between(3, 17);
        }
        children = std::min(children, room);
        folders_[i].firstChild = static_cast<std::uint32_t>(folders_.size());
        folders_[i].childCount = children;
        for (std::uint32_t c = 0; c < children; ++c) addFolder(i, false);
    }

    // Files: a weight per folder, then the exact total shared out in
    // proportion, so the entry count is exact whatever the draws were.
    std::vector<std::uint64_t> weight(folders_.size());
    std::uint64_t totalWeight = 0;
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        if (inChain[i]) {
            weight[i] = rng.Between(0, 3);
        } else if (rng.Chance(40)) {
            weight[i] = 0;
        } else if (rng.Chance(5)) {
            weight[i] = rng.Between(200, 2000);
        } else {
            weight[i] = rng.Between(0, 40);
        }
        totalWeight += weight[i];
    }
    if (totalWeight == 0) {
        weight[0] = 1;
        totalWeight = 1;
    }
    std::uint64_t cumulative = 0;
    std::uint64_t given = 0;
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        cumulative += weight[i];
        const std::uint64_t upTo = cumulative * targetFiles / totalWeight;
        folders_[i].fileCount = static_cast<std::uint32_t>(upTo - given);
        given = upTo;
    }
    fileCount_ = targetFiles;
}

}  // namespace quorvel::bench
