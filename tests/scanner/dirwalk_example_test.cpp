// SPDX-License-Identifier: MIT
// The basic walk on small trees whose every value is known in advance.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

// data/a.txt, data/sub/b.txt, data/sub/deep/ (empty).
class WorkedExample : public ::testing::Test {
  protected:
    WorkedExample() {
        tree.File("data/a.txt", "a");
        tree.File("data/sub/b.txt", "b");
        tree.Folder("data/sub/deep");
        root = tree.Path("data");
    }

    // The walk follows the file system's order, which is not sorted; the
    // expected values are those for the order this file system actually has.
    std::vector<Event> ExpectedEvents() const {
        const std::string r = root + "/";
        const bool aFirst = ListedOrder(root).front() == "a.txt";
        const bool bFirst = ListedOrder(root + "/sub").front() == "b.txt";
        if (aFirst && bFirst) {
            return {FileEvent("a.txt", "", r, 1, 0), FileEvent("b.txt", "sub/", r + "sub/", 2, 0),
                    FolderEvent("deep", "sub/deep", r + "sub/deep", 2, 1),
                    FolderEvent("sub", "sub", r + "sub", 2, 2)};
        }
        if (aFirst) {
            return {FileEvent("a.txt", "", r, 1, 0),
                    FolderEvent("deep", "sub/deep", r + "sub/deep", 1, 1),
                    FileEvent("b.txt", "sub/", r + "sub/", 2, 1),
                    FolderEvent("sub", "sub", r + "sub", 2, 2)};
        }
        if (bFirst) {
            return {FileEvent("b.txt", "sub/", r + "sub/", 1, 0),
                    FolderEvent("deep", "sub/deep", r + "sub/deep", 1, 1),
                    FolderEvent("sub", "sub", r + "sub", 1, 2), FileEvent("a.txt", "", r, 2, 2)};
        }
        return {FolderEvent("deep", "sub/deep", r + "sub/deep", 0, 1),
                FileEvent("b.txt", "sub/", r + "sub/", 1, 1),
                FolderEvent("sub", "sub", r + "sub", 1, 2), FileEvent("a.txt", "", r, 2, 2)};
    }

    std::vector<std::string> ExpectedFiles() const {
        if (ListedOrder(root).front() == "a.txt") return {root + "/a.txt", root + "/sub/b.txt"};
        return {root + "/sub/b.txt", root + "/a.txt"};
    }

    TempTree tree;
    std::string root;
};

TEST_F(WorkedExample, ListsCountsAndReportsEveryEntryInWalkOrder) {
    const ScanResult result = Scan(root);
    EXPECT_EQ(result.folders, (std::vector<std::string>{"sub", "sub/deep"}));
    EXPECT_EQ(result.files, ExpectedFiles());
    EXPECT_EQ(result.folderCount, 2);
    EXPECT_EQ(result.fileCount, 2);
    EXPECT_EQ(result.events, ExpectedEvents());
}

TEST_F(WorkedExample, FullPathChangesOnlyTheFolderListItems) {
    const ScanResult result = Scan(root, {.fullPath = kTrue});
    EXPECT_EQ(result.folders, (std::vector<std::string>{root + "/sub/", root + "/sub/deep/"}));
    EXPECT_EQ(result.files, ExpectedFiles());
    // The event's FullPath of a folder keeps having no trailing '/'.
    EXPECT_EQ(result.events, ExpectedEvents());
}

TEST_F(WorkedExample, RootWithOrWithoutTrailingSlashGivesIdenticalResults) {
    EXPECT_EQ(Scan(root + "/"), Scan(root));
    EXPECT_EQ(Scan(root + "/", {.fullPath = kTrue}), Scan(root, {.fullPath = kTrue}));
}

TEST(Dirwalk, EmptySubfolderIsStillListedCountedAndReported) {
    TempTree tree;
    tree.Folder("empty");
    const std::string r = tree.Root() + "/";
    const ScanResult result = Scan(tree.Root());
    EXPECT_EQ(result.folders, std::vector<std::string>{"empty"});
    EXPECT_EQ(result.folderCount, 1);
    EXPECT_EQ(result.events, std::vector<Event>{FolderEvent("empty", "empty", r + "empty", 0, 1)});
}

// a/b/c: the list puts a folder before its subtree, the numbers after it.
TEST(Dirwalk, FolderListIsPreOrderAndFolderNumbersArePostOrder) {
    TempTree tree;
    tree.File("a/b/c/f.txt");
    const std::string r = tree.Root() + "/";
    const ScanResult result = Scan(tree.Root());
    EXPECT_EQ(result.folders, (std::vector<std::string>{"a", "a/b", "a/b/c"}));
    EXPECT_EQ(result.files, std::vector<std::string>{r + "a/b/c/f.txt"});
    EXPECT_EQ(result.events, (std::vector<Event>{
                                 FileEvent("f.txt", "a/b/c/", r + "a/b/c/", 1, 0),
                                 FolderEvent("c", "a/b/c", r + "a/b/c", 1, 1),
                                 FolderEvent("b", "a/b", r + "a/b", 1, 2),
                                 FolderEvent("a", "a", r + "a", 1, 3),
                             }));
}

}  // namespace
}  // namespace quorvel::testing
