// SPDX-License-Identifier: MIT
// Roots that are not walkable folders (a file, missing, a link loop, too long,
// a NUL inside): the walk ends at once with empty lists and says why. An
// empty root is not a failure.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

TEST(HostileRoots, UnwalkableRootFailsAtOnceWithItsReasonAndEmptyRootDoesNot) {
    TempTree tree;
    tree.File("plain.txt", "x");
    tree.Folder("empty");
    tree.File("full/f");
    tree.Link("loop", "loop");
    const std::string overlong = tree.Root() + "/" + std::string(5000, 'x');
    const struct Case {
        std::string root;
        std::vector<Failure> failures;
    } cases[] = {
        {tree.Path("plain.txt"), {{tree.Path("plain.txt/"), ENOTDIR}}},
        {tree.Path("plain.txt/below"), {{tree.Path("plain.txt/below/"), ENOTDIR}}},
        {tree.Path("missing"), {{tree.Path("missing/"), ENOENT}}},
        {tree.Path("missing/deeper/"), {{tree.Path("missing/deeper/"), ENOENT}}},
        {overlong, {{overlong + "/", ENAMETOOLONG}}},
        {tree.Path("loop"), {{tree.Path("loop/"), ELOOP}}},
        // Not the folder before the NUL: that would list "full" under
        // another name.
        {tree.Path("full") + std::string(1, '\0') + "/etc",
         {{tree.Path("full") + std::string(1, '\0') + "/etc/", EINVAL}}},
        {tree.Path("empty"), {}},
        {tree.Path("empty/"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Escaped(c.root).substr(0, 200));
        const WalkRun result = Walk(c.root);
        ExpectWalkInvariants(result);
        EXPECT_EQ(result.scan, ScanResult{});
        EXPECT_EQ(result.failures, c.failures);
    }
}

}  // namespace
}  // namespace quorvel::testing
