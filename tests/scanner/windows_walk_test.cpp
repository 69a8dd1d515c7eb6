// Walks of real Windows trees (under wine in CI), built below C:\: the worked
// example in its own words, a drive root and the empty path, links to
// folders, paths past 260 characters, names that are not valid UTF-16, and
// roots that cannot be listed. The file system lists names sorted.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "Wtf8.h"

namespace quorvel::testing {
namespace {

// Whether this runs under wine, in a prefix of its own whose C:\ the tests
// may fill and empty; elsewhere they leave C:\ alone.
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Removes `path` (long form) and everything below it; links are removed, not
// followed.
void Remove(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const HANDLE search = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                              ? INVALID_HANDLE_VALUE
                              : ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        if (!::DeleteFileW(path.c_str())) ::RemoveDirectoryW(path.c_str());
        return;
    }
    do {
        const std::wstring_view name = entry.cFileName;
        if (name != L"." && name != L"..") Remove(path + L"\\" + entry.cFileName);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    ::RemoveDirectoryW(path.c_str());
}

// Makes each of `paths` in the folder `base`, in the long form, so of any
// length: a folder when it ends in '\\', otherwise an empty file. False when
// one cannot be made.
bool Make(const std::wstring& base, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        const std::wstring full = L"\\\\?\\" + base + path;
        if (full.back() == L'\\') {
            if (!::CreateDirectoryW(full.c_str(), nullptr)) return false;
        } else {
            const HANDLE file =
                ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) return false;
            ::CloseHandle(file);
        }
    }
    return true;
}

// Makes the folder `top` (its path in `base`, ending in '\\') afresh, then
// `below` in it.
bool MakeAfresh(const std::wstring& base, const std::wstring& top,
                std::vector<std::wstring> below) {
    Remove(L"\\\\?\\" + base + top.substr(0, top.size() - 1));
    for (std::wstring& path : below) path.insert(0, top);
    below.insert(below.begin(), top);
    return Make(base, below);
}

std::wstring TempFolder() {
    wchar_t path[MAX_PATH + 1];
    return std::wstring(path, ::GetTempPathW(MAX_PATH + 1, path));
}

std::string Utf8(const std::wstring& path) {
    std::string bytes;
    wtf8::AppendFromUtf16(std::wstring_view(path), bytes);
    return bytes;
}

// C:\data holds a.txt and sub; sub holds b.txt and the empty folder deep.
class WorkedExample : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!UnderWine()) GTEST_SKIP() << "makes and removes C:\\data: only under wine";
        ASSERT_TRUE(
            MakeAfresh(L"C:\\", L"data\\", {L"a.txt", L"sub\\", L"sub\\b.txt", L"sub\\deep\\"}));
    }
};

TEST_F(WorkedExample, ListsCountsAndReportsAsTheExampleSaysWithOrWithoutTheClosingBackslash) {
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
TEST_F(WorkedExample, DriveRootAndEmptyPathListTheDrivesRoot) {
    ASSERT_TRUE(Make(L"C:\\", {L"quorvel-root.txt"}));
    const ScanResult drive = Scan("C:\\", {.subFolders = kFalse});
    ScanResult current = drive;
    for (std::string& file : current.files) file.erase(0, 2);
    for (const Event& event : drive.events) {
        EXPECT_EQ(event.relativePath, event.isFolder == kTrue ? event.name : "");
        EXPECT_EQ(event.fullPath, event.isFolder == kTrue ? "C:\\" + event.name : "C:\\");
    }
    for (Event& event : current.events) event.fullPath.erase(0, 2);
    EXPECT_NE(std::ranges::find(drive.folders, "data"), drive.folders.end());
    EXPECT_NE(std::ranges::find(drive.files, "C:\\quorvel-root.txt"), drive.files.end());

    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\data\\sub"));
    EXPECT_EQ(Scan("", {.subFolders = kFalse}), current);
    // The whole drive: abort after a few entries.
    const ScanResult few = Scan("", {.onYield = [](int yields, clsDirwalk& walker) {
                                    if (yields == 5) walker.Abort();
                                }});
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    EXPECT_GE(few.events.size(), 5u);
    for (const Event& event : few.events) {
        EXPECT_EQ(event.fullPath, "\\" + event.relativePath) << event.fullPath;
    }
}

// C:\links (WineLinks.cmake): a\b\up -> a and a\b\top -> links lead back to
// the path, so are listed, not entered; e -> d leads off it, so is entered.
TEST(WindowsLinks, LinksToFoldersAreWalkedExceptThoseThatLeadBack) {
    if (!UnderWine()) GTEST_SKIP() << "C:\\links is made in the wine prefix";
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

// Five levels of 60 characters in the temporary folder: the deepest folder,
// given as the root, is past 260 characters itself.
TEST(WindowsLongPaths, FoldersAndRootsPast260CharactersAreWalked) {
    const std::wstring name(60, L'n');
    std::vector<std::wstring> chain = {name + L"\\"};
    for (int level = 1; level < 5; ++level) chain.push_back(chain.back() + name + L"\\");
    chain.push_back(chain.back() + L"f.txt");
    ASSERT_TRUE(MakeAfresh(TempFolder(), L"quorvel-long\\", chain));

    const std::string root = Utf8(TempFolder()) + "quorvel-long";
    const std::string n(60, 'n');
    std::vector<std::string> folders = {n};
    for (int level = 1; level < 5; ++level) folders.push_back(folders.back() + "\\" + n);
    const std::string deepest = root + "\\" + folders.back();
    const std::string file = deepest + "\\f.txt";
    ASSERT_GT(deepest.size(), 300u);
    const WalkRun run = Walk(root);
    EXPECT_EQ(run.scan.folders, folders);
    EXPECT_EQ(run.scan.files, std::vector<std::string>{file});
    EXPECT_EQ(run.failures, std::vector<Failure>{});
    EXPECT_EQ(Scan(deepest).files, std::vector<std::string>{file});
    EXPECT_EQ(Scan("\\\\?\\" + deepest).files, std::vector<std::string>{"\\\\?\\" + file});
}

// An unpaired surrogate in a name is kept as WTF-8, and the folder is walked
// into. Wine cannot store such a name, so there the test is skipped.
TEST(WindowsNames, NamesWithUnpairedSurrogatesAreListedAndWalkedInto) {
    if (!MakeAfresh(TempFolder(), L"quorvel-odd\\", {L"x\xD800y\\", L"x\xD800y\\f\xDC01"})) {
        GTEST_SKIP() << "this file system cannot hold a name with an unpaired surrogate";
    }
    const std::string root = Utf8(TempFolder()) + "quorvel-odd";
    const WalkRun run = Walk(root);
    EXPECT_EQ(run.scan.folders, std::vector<std::string>{"x\xed\xa0\x80y"});
    EXPECT_EQ(run.scan.files, std::vector<std::string>{root + "\\x\xed\xa0\x80y\\f\xed\xb0\x81"});
    EXPECT_EQ(run.failures, std::vector<Failure>{});
}

TEST_F(WorkedExample, RootsThatCannotBeListedGiveTheirReasonAsAnErrnoValue) {
    const std::string nul("C:\\data\0x", 9);
    const struct {
        std::string root;
        int error;
    } cases[] = {
        {"C:\\data\\a.txt", ENOTDIR},
        {"C:\\data\\missing", ENOENT},
        {"C:\\data\\missing\\deeper\\", ENOENT},
        {"C:\\data\\x\xed\xa0\x80", ENOENT},  // WTF-8: a name that could exist
        {"C:\\data\\bad\xff", EINVAL},        // not WTF-8: none could
        {nul, EINVAL},
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

}  // namespace
}  // namespace quorvel::testing
