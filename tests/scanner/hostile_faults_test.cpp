// SPDX-License-Identifier: MIT
// Folders that cannot be read: a failure, never an empty folder. The folder is
// still listed, counted and reported; its contents are missing; and
// ReadFailures() names it with the reason. Faults that a tree cannot produce
// for root come from the scripted reader, or from a reader wrapped around the
// system's.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "DirwalkProbe.h"
#include "FaultyReader.h"
#include "ScriptedReader.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

struct Scripted {
    std::shared_ptr<ScriptedReader> reader = std::make_shared<ScriptedReader>();
    ScriptedReader::FolderRef root = reader->NewFolder();
    Scripted() { reader->SetRoot("/s/", root); }
    WalkRun Scan(ScanOptions options = {}) {
        options.reader = reader;
        WalkRun result = Walk("/s", std::move(options));
        EXPECT_EQ(reader->OpenListings(), 0);
        return result;
    }
};

TEST(HostileUnreadable, FolderThatRefusesToOpenIsListedCountedAndRecorded) {
    Scripted s;
    s.reader->AddFile(s.root, "a.txt");
    const auto locked = s.reader->AddFolder(s.root, "locked");
    s.reader->AddFile(locked, "secret.txt");
    s.reader->AddFolder(locked, "inner");
    s.reader->At(locked).openError = EACCES;
    s.reader->AddFile(s.reader->AddFolder(s.root, "open"), "b.txt");
    // The same folder reached through a link fails the same way, and is
    // recorded under the link's path.
    s.reader->AddLink(s.root, "viaLink", locked);

    const WalkRun result = s.Scan();
    ExpectWalkInvariants(result);
    EXPECT_EQ(result.scan, (ScanResult{{"locked", "open", "viaLink"},
                                       {"/s/a.txt", "/s/open/b.txt"},
                                       3,
                                       2,
                                       {FileEvent("a.txt", "", "/s/", 1, 0),
                                        FolderEvent("locked", "locked", "/s/locked", 1, 1),
                                        FileEvent("b.txt", "open/", "/s/open/", 2, 1),
                                        FolderEvent("open", "open", "/s/open", 2, 2),
                                        FolderEvent("viaLink", "viaLink", "/s/viaLink", 2, 3)}}));
    EXPECT_EQ(result.failures,
              (std::vector<Failure>{{"/s/locked/", EACCES}, {"/s/viaLink/", EACCES}}));
}

TEST(HostileUnreadable, RootThatRefusesToOpenGivesEmptyListsAndOneFailure) {
    for (const int error : {EACCES, EIO, ENOTDIR}) {
        SCOPED_TRACE(error);
        Scripted s;
        s.reader->AddFile(s.root, "hidden.txt");
        s.reader->At(s.root).openError = error;
        const WalkRun result = s.Scan();
        ExpectWalkInvariants(result);
        EXPECT_EQ(result.scan, ScanResult{});
        EXPECT_EQ(result.failures, (std::vector<Failure>{{"/s/", error}}));
    }
}

// What a folder listed before a read error held is kept, what follows is
// missing, the walk goes on with the parent's next entry, and failures come
// in the order they are met: a folder's when its listing ends.
TEST(HostileUnreadable, ReadErrorPartWayKeepsWhatWasReadAndRecordsTheFolder) {
    Scripted s;
    s.reader->AddFile(s.root, "f1");
    const auto sub = s.reader->AddFolder(s.root, "sub");
    s.reader->AddFile(sub, "x1");
    const auto deep = s.reader->AddFolder(sub, "deep");
    s.reader->AddFile(deep, "y");
    s.reader->AddFile(sub, "x2");  // after the error: missing
    s.reader->AddFolder(sub, "late");
    s.reader->At(sub).readErrorAfter = 4;  // ".", "..", x1, deep
    s.reader->At(sub).readError = EIO;
    const auto bare = s.reader->AddFolder(s.root, "bare");  // fails before any entry
    s.reader->AddFile(bare, "never");
    s.reader->At(bare).dots = false;
    s.reader->At(bare).readErrorAfter = 0;
    s.reader->At(bare).readError = EUCLEAN;
    s.reader->AddFile(s.root, "f2");
    s.reader->AddFile(s.root, "f3");  // after the root's own error
    s.reader->At(s.root).readErrorAfter = 2 + 4;
    s.reader->At(s.root).readError = ESTALE;

    const WalkRun result = s.Scan();
    ExpectWalkInvariants(result);
    EXPECT_EQ(result.scan.folders, (std::vector<std::string>{"sub", "sub/deep", "bare"}));
    EXPECT_EQ(result.scan.files,
              (std::vector<std::string>{"/s/f1", "/s/sub/x1", "/s/sub/deep/y", "/s/f2"}));
    EXPECT_EQ(result.failures,
              (std::vector<Failure>{{"/s/sub/", EIO}, {"/s/bare/", EUCLEAN}, {"/s/", ESTALE}}));
}

// Deleted after its parent was listed but before it was opened: listed (the
// parent's listing had it), counted, its contents missing, recorded.
TEST(HostileUnreadable, EntryThatVanishesBeforeItIsOpenedIsRecordedAsGone) {
    Scripted s;
    s.reader->AddFile(s.root, "first");
    s.reader->AddFile(s.reader->AddFolder(s.root, "gone"), "inside");
    s.reader->AddFile(s.reader->AddFolder(s.root, "stays"), "kept");
    ScanOptions options;
    options.onEvent = [&s](const Event& event, clsDirwalk&) {
        if (event.name != "first") return;
        auto& entries = s.reader->At(s.root).entries;
        std::erase_if(entries, [](const ScriptedReader::Entry& e) { return e.name == "gone"; });
    };
    const WalkRun result = s.Scan(options);
    ExpectWalkInvariants(result);
    EXPECT_EQ(result.scan.folders, (std::vector<std::string>{"gone", "stays"}));
    EXPECT_EQ(result.scan.files, (std::vector<std::string>{"/s/first", "/s/stays/kept"}));
    EXPECT_EQ(result.failures, (std::vector<Failure>{{"/s/gone/", ENOENT}}));
}

// On a real tree, faults come from wrapping the system's reader: every
// listing of the walk is then the wrapper's, opening its children through
// the system listing it wraps. Only a run that is not root can also meet a
// folder without read permission.
TEST(HostileUnreadable, RealTreeWithFaultsWrappedAroundTheSystemReader) {
    TempTree tree;
    tree.File("part/a/x/f");
    tree.File("part/a/g");
    tree.File("part/b/deep/h");
    tree.Folder("part/b/deep/deeper");
    tree.Folder("part/b/e");
    tree.File("part/c");
    tree.File("open/b.txt");
    const auto faulty = std::make_shared<FaultyReader>();
    // Every entry of part, "." and ".." included, then a read error instead
    // of its end: all of its subfolders are walked first.
    faulty->FailReadAfter(tree.Path("part"),
                          static_cast<int>(ListedOrder(tree.Path("part")).size()) + 2, EIO);
    faulty->FailOpen(tree.Path("part/b/deep"), EACCES);
    // Read-ahead workers meet the faults first, give the folders up, and the
    // walk meets them as the serial one does.
    for (const unsigned workers : {0u, 4u}) {
        const WalkRun wrapped =
            Walk(tree.Root(), {.reader = faulty, .readAhead = {.workers = workers}});
        ExpectWalkInvariants(wrapped);
        EXPECT_EQ(wrapped.scan, ReferenceScan(tree.Root(), {}, {tree.Path("part/b/deep")}));
        EXPECT_EQ(wrapped.failures, (std::vector<Failure>{{tree.Path("part/b/deep/"), EACCES},
                                                          {tree.Path("part/"), EIO}}));
    }

    if (::geteuid() == 0) return;  // root reads every folder regardless of its mode
    ASSERT_EQ(::chmod(tree.Path("part").c_str(), 0), 0);
    const WalkRun result = Walk(tree.Root());
    ::chmod(tree.Path("part").c_str(), 0700);
    ExpectWalkInvariants(result);
    EXPECT_EQ(Sorted(result.scan.folders), (std::vector<std::string>{"open", "part"}));
    EXPECT_EQ(result.scan.files, std::vector<std::string>{tree.Path("open/b.txt")});
    EXPECT_EQ(result.failures, (std::vector<Failure>{{tree.Path("part/"), EACCES}}));
}

}  // namespace
}  // namespace quorvel::testing
