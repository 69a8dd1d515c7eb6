// SPDX-License-Identifier: MIT
// Wide folders. One of 100,000 entries, read over many batches: every entry
// listed exactly once, counts exact, nothing left open. And the keys that
// reading ahead gives the entries of such folders.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "DirwalkProbe.h"
#include "ReadAheadQueue.h"
#include "TempTree.h"
#include "UniqueFd.h"

namespace quorvel::testing {
namespace {

TEST(HostileWide, HundredThousandEntriesInOneFolderAreAllListedOnce) {
    constexpr int kEntries = 100'000;
    constexpr int kFolderEvery = 10'000;  // a few subfolders among the files
    TempTree tree;
    std::vector<std::string> files;
    std::vector<std::string> folders = {"big"};
    tree.Folder("big");
    const UniqueFd big(::open(tree.Path("big").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(big);
    std::string original;
    for (int i = 0; i < kEntries; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "entry-%06d", i);
        if (i % kFolderEvery == 0) {
            tree.File(std::string("big/") + name + "/inside");
            folders.push_back(std::string("big/") + name);
            files.push_back(tree.Path(std::string("big/") + name + "/inside"));
        } else {
            // Hard links through one descriptor: creating a hundred thousand
            // inodes would cost far more than the scan under test. A file
            // takes at most 65,000 links on ext4, so every group of 50,000
            // has an original of its own.
            if (original.empty() || i % 50'000 == 1) {
                const UniqueFd file(
                    ::openat(big.get(), name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
                ASSERT_TRUE(file) << name;
                original = name;
            } else {
                ASSERT_EQ(::linkat(big.get(), original.c_str(), big.get(), name, 0), 0) << name;
            }
            files.push_back(tree.Path(std::string("big/") + name));
        }
    }
    const WalkRun result = Walk(tree.Root());
    ExpectWalkInvariants(result);
    const std::vector<std::string> listedFiles = Sorted(result.scan.files);
    files = Sorted(std::move(files));
    EXPECT_EQ(Sorted(result.scan.folders), folders);
    EXPECT_TRUE(listedFiles == files)
        << listedFiles.size() << " files listed, " << files.size() << " expected";
    EXPECT_EQ(result.failures, std::vector<Failure>{});
}

// Read-ahead finds a folder by its position in the walk: keys must sort as
// the walk meets folders, at any width and depth, or folders are read twice.
TEST(HostileWide, PositionsInWideFoldersSortInTheWalksOrder) {
    const std::vector<std::uint32_t> indexes = {0,     1,     127,   128,      255,
                                                16383, 16384, 65536, 1u << 24, 4'000'000'000u};
    const std::string root = ReadAheadQueue::ChildKey("", 3);
    std::string previous;
    for (const std::uint32_t index : indexes) {
        const std::string key = ReadAheadQueue::ChildKey(root, index);
        EXPECT_LT(previous, key) << index;
        EXPECT_TRUE(ReadAheadQueue::IsChildKey(key, root)) << index;
        // Everything below it comes before its next sibling.
        const std::string deepest = ReadAheadQueue::ChildKey(key, 4'000'000'000u);
        EXPECT_LT(deepest, ReadAheadQueue::ChildKey(root, index + 1)) << index;
        EXPECT_FALSE(ReadAheadQueue::IsChildKey(deepest, root)) << index;
        previous = deepest;
    }
}

}  // namespace
}  // namespace quorvel::testing
