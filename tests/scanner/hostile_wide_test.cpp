// One folder of 100,000 entries, read over many batches: every entry listed
// exactly once, counts exact, nothing left open.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "DirwalkProbe.h"
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

}  // namespace
}  // namespace quorvel::testing
