// SPDX-License-Identifier: MIT
// Walks of real Windows trees under wine, in the trees WineTrees.cmake makes
// below C:\ of the build's own wine prefix: the worked example in its own
// words, a drive root and the empty path, links to folders, paths past 260
// characters, and roots that cannot be listed. The file system lists sorted.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "ScriptedReader.h"

namespace quorvel::testing {
namespace {

// The trees are there only in the wine prefix that the test run prepared.
class WineTrees : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
            GTEST_SKIP() << "walks the trees made in the build's wine prefix";
        }
    }
};

TEST_F(WineTrees, WorkedExampleIsWalkedAsItSaysWithOrWithoutTheClosingBackslash) {
    const ScanResult expected{{"sub", "sub\\deep"},
                              {"C:\\data\\a.txt", "C:\\data\\sub\\b.txt"},
                              2,
                              2,
                              {FileEvent("a.txt", "", "C:\\data\\", 1, 0),
                               FileEvent("b.txt", "sub\\", "C:\\data\\sub\\", 2, 0),
                               FolderEvent("deep", "sub\\deep", "C:\\data\\sub\\deep", 2, 1),
                               FolderEvent("sub", "sub", "C:\\data\\sub", 2, 2)}};
    ScanResult withFullPath = expected;
    withFullPath.folders = {"C:\\data\\sub\\", "C:\\data\\sub\\deep\\"};
    for (const std::string root : {"C:\\data", "C:\\data\\"}) {
        SCOPED_TRACE(root);
        const WalkRun run = Walk(root);
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan, expected);
        EXPECT_EQ(run.failures, std::vector<Failure>{});
        EXPECT_EQ(Scan(root, {.fullPath = kTrue}), withFullPath);
    }
}

// A drive root's own entries have their names as relative paths, and its
// files the root as their folder; the empty path is the current drive's root,
// every full path then starting with a lone backslash.
TEST_F(WineTrees, DriveRootAndEmptyPathListTheDrivesRoot) {
    const ScanResult drive = Scan("C:\\", {.subFolders = kFalse});
    for (const Event& event : drive.events) {
        EXPECT_EQ(event.relativePath, event.isFolder == kTrue ? event.name : "");
        EXPECT_EQ(event.fullPath, event.isFolder == kTrue ? "C:\\" + event.name : "C:\\");
    }
    EXPECT_NE(std::ranges::find(drive.folders, "data"), drive.folders.end());
    EXPECT_NE(std::ranges::find(drive.files, "C:\\quorvel-root.txt"), drive.files.end());

    ScanResult current = drive;
    for (std::string& file : current.files) file.erase(0, 2);
    for (Event& event : current.events) event.fullPath.erase(0, 2);
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\data\\sub"));
    EXPECT_EQ(Scan("", {.subFolders = kFalse}), current);
    // The whole drive: aborted after a few entries.
    const ScanResult few = Scan("", {.onYield = [](int yields, clsDirwalk& walker) {
                                    if (yields == 5) walker.Abort();
                                }});
    EXPECT_GE(few.events.size(), 5u);
    for (const Event& event : few.events) {
        EXPECT_EQ(event.fullPath, "\\" + event.relativePath) << event.fullPath;
    }
}

// a\b\up -> a and a\b\top -> links lead back to the path: listed, not
// entered. e -> d leads off it: entered.
TEST_F(WineTrees, LinksToFoldersAreWalkedExceptThoseThatLeadBack) {
    const WalkRun run = Walk("C:\\links");
    ExpectWalkInvariants(run);
    const std::string r = "C:\\links\\";
    EXPECT_EQ(
        run.scan,
        (ScanResult{
            {"a", "a\\b", "a\\b\\top", "a\\b\\up", "d", "e"},
            {r + "d\\f.txt", r + "e\\f.txt"},
            6,
            2,
            {FolderEvent("top", "a\\b\\top", r + "a\\b\\top", 0, 1),
             FolderEvent("up", "a\\b\\up", r + "a\\b\\up", 0, 2),
             FolderEvent("b", "a\\b", r + "a\\b", 0, 3), FolderEvent("a", "a", r + "a", 0, 4),
             FileEvent("f.txt", "d\\", r + "d\\", 1, 4), FolderEvent("d", "d", r + "d", 1, 5),
             FileEvent("f.txt", "e\\", r + "e\\", 2, 5), FolderEvent("e", "e", r + "e", 2, 6)}}));
    EXPECT_EQ(run.failures, std::vector<Failure>{});
}

// Five levels of 60 characters: the deepest folder, given as the root, is
// past 260 characters itself, with or without the \\?\ form.
TEST_F(WineTrees, FoldersAndRootsPast260CharactersAreWalked) {
    const std::string n(60, 'n');
    std::vector<std::string> folders = {n};
    for (int level = 1; level < 5; ++level) folders.push_back(folders.back() + "\\" + n);
    const std::string deepest = "C:\\long\\" + folders.back();
    const std::string file = deepest + "\\f.txt";
    ASSERT_GT(deepest.size(), 300u);
    const WalkRun run = Walk("C:\\long");
    EXPECT_EQ(run.scan.folders, folders);
    EXPECT_EQ(run.scan.files, std::vector<std::string>{file});
    EXPECT_EQ(run.failures, std::vector<Failure>{});
    EXPECT_EQ(Scan(deepest).files, std::vector<std::string>{file});
    EXPECT_EQ(Scan("\\\\?\\" + deepest).files, std::vector<std::string>{"\\\\?\\" + file});
}

TEST_F(WineTrees, RootsThatCannotBeListedGiveTheirReasonAsAnErrnoValue) {
    const struct {
        std::string root;
        int error;
    } cases[] = {
        {"C:\\data\\a.txt", ENOTDIR},
        {"C:\\data\\missing", ENOENT},
        {"C:\\data\\missing\\deeper\\", ENOENT},
        {"C:\\data\\x\xed\xa0\x80", ENOENT},  // WTF-8: a name that could exist
        {"C:\\data\\bad\xff", EINVAL},        // not WTF-8: none could
        {std::string("C:\\data\0x", 9), EINVAL},
        {"C:\\" + std::string(33'000, 'x'), ENAMETOOLONG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Escaped(c.root).substr(0, 60));
        const WalkRun run = Walk(c.root);
        EXPECT_EQ(run.scan, ScanResult{});
        const std::string path = c.root.back() == '\\' ? c.root : c.root + "\\";
        EXPECT_EQ(run.failures, (std::vector<Failure>{{path, c.error}}));
    }
}

// Folders that fail below the root are recorded by their Windows paths too.
TEST(WindowsFailures, FoldersThatFailBelowTheRootAreRecordedWithTheirClosingBackslash) {
    const auto reader = std::make_shared<ScriptedReader>();
    const auto root = reader->NewFolder();
    reader->SetRoot("C:\\s\\", root);
    reader->At(reader->AddFolder(root, "locked")).openError = EACCES;
    const auto sub = reader->AddFolder(root, "sub");
    reader->AddFile(sub, "x");
    reader->At(sub).readErrorAfter = 3;
    const WalkRun run = Walk("C:\\s", {.reader = reader});
    EXPECT_EQ(run.scan.files, std::vector<std::string>{"C:\\s\\sub\\x"});
    EXPECT_EQ(run.failures,
              (std::vector<Failure>{{"C:\\s\\locked\\", EACCES}, {"C:\\s\\sub\\", EIO}}));
}

}  // namespace
}  // namespace quorvel::testing
