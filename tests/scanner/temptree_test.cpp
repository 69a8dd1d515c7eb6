// SPDX-License-Identifier: MIT
#include "TempTree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace quorvel::testing {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The fixture every scanner test stands on: it must build what it is told
// and leave nothing behind, even below PATH_MAX depth or behind links.
TEST(TempTree, BuildsAndRemovesEverythingWithoutFollowingLinks) {
    TempTree outside;
    outside.File("keep.txt", "x");
    std::string root;
    {
        TempTree tree;
        root = tree.Root();
        ASSERT_EQ(root.front(), '/');
        ASSERT_NE(root.back(), '/');
        EXPECT_EQ(tree.Path("a/b"), root + "/a/b");
        tree.File("a/b/c.txt", "hello");
        tree.Folder("bad\xff\xfe/empty");
        tree.Link("a/out", outside.Root());
        tree.Link("a/broken", "does-not-exist");
        std::string deep;
        for (int i = 0; i < 50; ++i)
            deep += std::string(100, static_cast<char>('a' + i % 26)) + "/";
        tree.File(deep + "leaf.txt");
        EXPECT_TRUE(Exists(tree.Path("a/b/c.txt")));
        EXPECT_TRUE(Exists(tree.Path("bad\xff\xfe/empty")));
        EXPECT_TRUE(Exists(tree.Path("a/out/keep.txt")));
    }
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(Exists(outside.Path("keep.txt")));
}

}  // namespace
}  // namespace quorvel::testing
