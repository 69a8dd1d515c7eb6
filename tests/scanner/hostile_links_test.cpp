// SPDX-License-Identifier: MIT
// Link trouble: one tree holding every kind at once (links to themselves, to
// their own folder, to a parent, to the root, two folders linked to each
// other, a way out of the tree that leads back in, broken links), and a link
// graph whose paths multiply without looping. Every walk must end with each
// reachable entry listed, a linked folder entered through one link only.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

TEST(HostileLinks, MazeOfLoopsAndBrokenLinksEndsWithEveryPathListedOnce) {
    TempTree tree;
    TempTree outside;
    outside.File("o/f");
    outside.Link("o/back", tree.Root());  // out of the tree and back to its root
    tree.Link("self", "self");
    tree.Link("chain1", "chain2");
    tree.Link("chain2", "chain1");
    tree.Link("dead", "nowhere");
    tree.Link("a/here", ".");
    tree.Link("a/deadAbs", "/nonexistent-quorvel-target/x");
    tree.Link("a/b/up", "..");
    tree.Link("a/b/top", tree.Root());
    tree.Link("x/toY", "../y");
    tree.Link("x/out", outside.Root());
    tree.Link("y/toX", "../x");

    const WalkRun result = Walk(tree.Root());
    ExpectWalkInvariants(result);
    EXPECT_EQ(
        Sorted(result.scan.folders),
        (std::vector<std::string>{"a", "a/b", "a/b/top", "a/b/up", "a/here",                      //
                                  "x", "x/out", "x/out/o", "x/out/o/back", "x/toY", "x/toY/toX",  //
                                  "y", "y/toX", "y/toX/out", "y/toX/toY"}));
    // "outside" was entered through x/out; y/toX/out is listed, not entered.
    EXPECT_EQ(Sorted(result.scan.files),
              Sorted({tree.Path("self"), tree.Path("chain1"), tree.Path("chain2"),
                      tree.Path("dead"), tree.Path("a/deadAbs"), tree.Path("x/out/o/f")}));
    EXPECT_EQ(result.failures, std::vector<Failure>{});
    // Each link listed but not entered, with its rule and where it leads.
    using enum LinkNotEntered::Rule;
    const auto loop = [&tree](std::string_view link, std::string_view to) {
        return LinkNotEntered{tree.Path(link) + "/", LeadsToOwnPath, tree.Path(to)};
    };
    std::vector<LinkNotEntered> links = result.linksNotEntered;
    std::sort(links.begin(), links.end(), [](auto& a, auto& b) { return a.path < b.path; });
    EXPECT_EQ(links, (std::vector<LinkNotEntered>{
                         loop("a/b/top", ""),
                         loop("a/b/up", "a/"),
                         loop("a/here", "a/"),
                         loop("x/out/o/back", ""),
                         loop("x/toY/toX", "x/"),
                         {tree.Path("y/toX/out/"), AlreadyEntered, tree.Path("x/out/")},
                         loop("y/toX/toY", "y/")}));
}

// Eight folders, each linked to all eight: with only the loop rule there are
// 8 x 13,700 simple paths through the links (the shape of /sys, where a walk
// grows by millions of paths a second). Each folder is entered once as
// itself and once through the first link that leads to it, in any order:
// 16 folders entered, each listing its 8 links and 1 file.
TEST(HostileLinks, LinkGraphWithoutLoopsEntersEachLinkedFolderOnce) {
    TempTree tree;
    constexpr int kFolders = 8;
    for (int i = 0; i < kFolders; ++i) {
        // Built with append: GCC 12 warns falsely (-Wrestrict) on chained +.
        std::string folder = "f";
        folder.append(std::to_string(i));
        tree.File(folder + "/file");
        for (int j = 0; j < kFolders; ++j) {
            std::string link = folder;
            link.append("/l").append(std::to_string(j));
            std::string target = "../f";
            target.append(std::to_string(j));
            tree.Link(link, target);
        }
    }
    const WalkRun result = Walk(tree.Root());
    ExpectWalkInvariants(result);
    EXPECT_EQ(result.scan.folderCount, kFolders + 2 * kFolders * kFolders);
    EXPECT_EQ(result.scan.fileCount, 2 * kFolders);
    EXPECT_EQ(result.failures, std::vector<Failure>{});
    EXPECT_EQ(result.linksNotEntered.size(), std::size_t{2 * kFolders * kFolders - kFolders});
}

}  // namespace
}  // namespace quorvel::testing
