// SPDX-License-Identifier: MIT
// Wide folders. One of 100,000 entries, read over many batches: every entry
// listed exactly once, counts exact, nothing left open. And the keys that
// reading ahead gives the entries of such folders, and the memory it holds
// for their listings.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DirwalkProbe.h"
#include "ReadAheadReader.h"
#include "TempTree.h"
#include "UniqueFd.h"
#include "WalkKey.h"

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
    const std::string root = ChildKey("", 3);
    std::string previous;
    for (const std::uint32_t index : indexes) {
        const std::string key = ChildKey(root, index);
        EXPECT_LT(previous, key) << index;
        EXPECT_TRUE(IsChildKey(key, root)) << index;
        // Everything below it comes before its next sibling.
        const std::string deepest = ChildKey(key, 4'000'000'000u);
        EXPECT_LT(deepest, ChildKey(root, index + 1)) << index;
        EXPECT_FALSE(IsChildKey(deepest, root)) << index;
        previous = deepest;
    }
}

// Read-ahead's memory: at every step of a walk its ledger stays within the
// cap, and once the walk has ended (or been aborted and stopped) and its
// workers have let go, nothing is left charged. Caps below one listing of
// 60 files (each streamed past its first kilobyte, no worker starts), of a
// few listings (listings give way and are read again; the large folder is
// streamed), and the default.
TEST(HostileWide, ReadAheadHoldsItsMemoryCapAtEveryStepAndGivesItAllBack) {
    TempTree tree;
    for (int i = 0; i < 40; ++i) {
        const std::string folder = "f" + std::to_string(i) + "/";
        for (int j = 0; j < 60; ++j)
            tree.File(folder + "a-file-of-a-longer-name-" + std::to_string(j));
        tree.Folder(folder + "sub/deeper");
    }
    for (int j = 0; j < 3000; ++j) tree.File("big/" + std::string(40, 'b') + std::to_string(j));
    const WalkRun serial = Walk(tree.Root(), {});
    const std::size_t caps[] = {2000, std::size_t{16} << 10, ReadAheadSettings{}.memoryCap};
    for (const std::size_t cap : caps) {
        for (const bool abort : {false, true}) {
            SCOPED_TRACE(::testing::Message() << cap << (abort ? " aborted" : ""));
            const auto readAhead = std::make_shared<ReadAheadReader>(
                SystemDirectoryReader(), ReadAheadSettings{.workers = 2, .memoryCap = cap});
            ScanOptions options;
            options.reader = readAhead;
            std::size_t mostAtAYield = 0;
            options.onYield = [&](int yields, clsDirwalk& walker) {
                mostAtAYield = std::max(mostAtAYield, readAhead->LedgerNow().charged);
                if (abort && yields == 1500) {
                    walker.Abort();
                    readAhead->Stop();  // as the scanner stops its own
                }
            };
            const WalkRun run = Walk(tree.Root(), options);
            if (!abort) {
                EXPECT_EQ(run.scan, serial.scan);
            }
            readAhead->Quiesce();
            const ReadAheadReader::Ledger ledger = readAhead->LedgerNow();
            EXPECT_EQ(ledger.cap, cap);
            EXPECT_LE(mostAtAYield, cap);
            EXPECT_GT(ledger.peak, 0u);
            EXPECT_LE(ledger.peak, cap);
            EXPECT_EQ(ledger.charged, 0u);
        }
    }
}

}  // namespace
}  // namespace quorvel::testing
