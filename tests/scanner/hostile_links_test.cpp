// One tree holding every kind of link trouble at once: links to themselves,
// to their own folder, to a parent, to the root, two folders linked to each
// other, a way out of the tree that leads back in, and broken links. The walk
// must end with every reachable entry listed once per path and no failure.

#include <gtest/gtest.h>

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
    EXPECT_EQ(Sorted(result.scan.folders),
              (std::vector<std::string>{
                  "a", "a/b", "a/b/top", "a/b/up", "a/here",                      //
                  "x", "x/out", "x/out/o", "x/out/o/back", "x/toY", "x/toY/toX",  //
                  "y", "y/toX", "y/toX/out", "y/toX/out/o", "y/toX/out/o/back", "y/toX/toY"}));
    EXPECT_EQ(
        Sorted(result.scan.files),
        Sorted({tree.Path("self"), tree.Path("chain1"), tree.Path("chain2"), tree.Path("dead"),
                tree.Path("a/deadAbs"), tree.Path("x/out/o/f"), tree.Path("y/toX/out/o/f")}));
    EXPECT_EQ(result.failures, std::vector<Failure>{});
}

}  // namespace
}  // namespace quorvel::testing
