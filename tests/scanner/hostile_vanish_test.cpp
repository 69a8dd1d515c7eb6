// SPDX-License-Identifier: MIT
// Folders deleted while the walk is under way, from an event handler: what
// was read before is kept, the folders that vanished are still listed and
// counted (their parent's listing had them), and each is recorded as gone.
// And a folder changed after read-ahead listed it is not mistaken for it.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "ListingSnapshot.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

// The root's listing is read in one batch before the first entry is reported,
// so folders deleted during the first event are still listed; opening them
// then fails.
TEST(HostileVanish, FoldersDeletedBeforeTheWalkReachesThemAreListedAndRecordedAsGone) {
    TempTree tree;
    for (int i = 0; i < 10; ++i) tree.File(std::string("d").append(std::to_string(i)).append("/f"));
    const std::vector<std::string> order = ListedOrder(tree.Root());
    ASSERT_EQ(order.size(), 10u);
    const std::string& survivor = order.front();

    ScanOptions options;
    bool deleted = false;
    options.onEvent = [&](const Event&, clsDirwalk&) {
        if (std::exchange(deleted, true)) return;
        for (const std::string& name : order) {
            if (name != survivor) std::filesystem::remove_all(tree.Path(name));
        }
    };
    const WalkRun result = Walk(tree.Root(), options);
    ExpectWalkInvariants(result);
    EXPECT_EQ(result.scan.folders, order);
    EXPECT_EQ(result.scan.files, std::vector<std::string>{tree.Path(survivor + "/f")});
    std::vector<Failure> gone;
    for (const std::string& name : order) {
        if (name != survivor) gone.push_back({tree.Path(name + "/"), ENOENT});
    }
    EXPECT_EQ(result.failures, gone);
}

// The folder being listed is deleted under the walk: the entries already read
// are kept, the subfolder not yet opened is gone, and the listing itself ends
// with ENOENT (Linux refuses to read a deleted folder), so the folder is
// recorded too: its listing may have been cut short.
TEST(HostileVanish, FolderDeletedWhileItIsListedKeepsWhatWasReadAndIsRecorded) {
    TempTree tree;
    for (const char* name : {"a", "b", "c"}) tree.File(std::string("doomed/") + name);
    tree.File("doomed/sub/g");
    const std::vector<std::string> order = ListedOrder(tree.Path("doomed"));
    ASSERT_EQ(order.size(), 4u);

    ScanOptions options;
    bool deleted = false;
    options.onEvent = [&](const Event&, clsDirwalk&) {
        if (!std::exchange(deleted, true)) std::filesystem::remove_all(tree.Path("doomed"));
    };
    const WalkRun result = Walk(tree.Root(), options);
    ExpectWalkInvariants(result);
    EXPECT_EQ(result.scan.folders, (std::vector<std::string>{"doomed", "doomed/sub"}));
    // Listed: every file of doomed (read in one batch), and g only when sub
    // was opened before the deletion, that is, when it came first.
    std::vector<std::string> files;
    for (const std::string& name : order) {
        if (name == "sub") {
            if (name == order.front()) files.push_back(tree.Path("doomed/sub/g"));
        } else {
            files.push_back(tree.Path("doomed/" + name));
        }
    }
    EXPECT_EQ(result.scan.files, files);
    EXPECT_EQ(result.failures, (std::vector<Failure>{{tree.Path("doomed/sub/"), ENOENT},
                                                     {tree.Path("doomed/"), ENOENT}}));
}

// Read-ahead opens a folder a worker listed again only to reach one of its
// children; the folder then must list what the worker listed, or it is
// taken for gone: an added, a removed and a renamed entry all count.
TEST(HostileVanish, FolderListedAheadAndChangedSinceIsNotTakenForTheSame) {
    TempTree tree;
    for (const char* name : {"a", "b", "c"}) tree.File(std::string("p/") + name);
    tree.Folder("p/sub");
    const auto fill = [&tree](ListingSnapshot& snapshot) {
        std::error_code error;
        const auto listing = SystemDirectoryReader()->OpenRoot(tree.Path("p"), error);
        DirEntry entry;
        while (listing->Next(entry)) snapshot.Append(entry, [](std::size_t) { return true; });
        snapshot.complete = true;
    };
    const auto snapshotOf = [&fill] {
        ListingSnapshot snapshot;
        fill(snapshot);
        return snapshot;
    };
    const auto matchesNow = [&tree](const ListingSnapshot& snapshot) {
        std::error_code error;
        const auto listing = SystemDirectoryReader()->OpenRoot(tree.Path("p"), error);
        return snapshot.Matches(*listing);
    };
    const ListingSnapshot before = snapshotOf();
    EXPECT_TRUE(matchesNow(before));
    tree.File("p/d");
    EXPECT_FALSE(matchesNow(before));
    const ListingSnapshot added = snapshotOf();
    std::filesystem::rename(tree.Path("p/a"), tree.Path("p/z"));
    EXPECT_FALSE(matchesNow(added));
    const ListingSnapshot renamed = snapshotOf();
    std::filesystem::remove(tree.Path("p/sub"));
    EXPECT_FALSE(matchesNow(renamed));
}

}  // namespace
}  // namespace quorvel::testing
