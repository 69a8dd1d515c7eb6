// SPDX-License-Identifier: MIT
// Names that break text handling: control characters, backslashes, bytes that
// are not UTF-8, shell and format metacharacters, and the longest name Linux
// allows. Each is a file and a folder (walked into); nothing may be dropped,
// split or altered.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

TEST(HostileNames, EveryByteSequenceIsListedReportedAndWalkedIntoUnchanged) {
    const std::vector<std::string> names = {
        "new\nline",
        "tab\there",
        "cr\rhere",
        "back\\slash",
        "\\",
        "\xff\xfe",
        "bad\xc3(utf8",
        "surrogate\xed\xa0\x80",
        "overlong\xc0\xaf",
        "\x01\x1f\x7f",
        " lead and trail ",
        "...",
        ".hidden",
        "-dash",
        "*?[x]",
        "$(echo x)",
        "%s%n%x",
        "\xe2\x80\xae rtl",
        std::string(255, 'L'),
    };
    TempTree tree;
    std::vector<std::string> folders = {"files", "folders"};
    std::vector<std::string> files;
    for (const std::string& name : names) {
        tree.File("files/" + name, "x");
        tree.File("folders/" + name + "/" + name);
        folders.push_back("folders/" + name);
        files.push_back(tree.Path("files/" + name));
        files.push_back(tree.Path("folders/" + name + "/" + name));
    }
    const std::string longest = std::string(255, 'F');
    tree.File("folders/" + names.back() + "/" + longest);
    files.push_back(tree.Path("folders/" + names.back() + "/" + longest));

    const WalkRun result = Walk(tree.Root());
    ExpectWalkInvariants(result);
    EXPECT_EQ(Sorted(result.scan.folders), Sorted(folders));
    EXPECT_EQ(Sorted(result.scan.files), Sorted(files));
    EXPECT_EQ(result.failures, std::vector<Failure>{});
    // Events carry the same bytes (ExpectWalkInvariants joins them to the
    // items), and a root whose own name is not UTF-8 is walked the same.
    EXPECT_EQ(Walk(tree.Path("folders/\xff\xfe")).scan.files,
              std::vector<std::string>{tree.Path("folders/\xff\xfe/\xff\xfe")});
}

}  // namespace
}  // namespace quorvel::testing
