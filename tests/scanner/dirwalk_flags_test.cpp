// SPDX-License-Identifier: MIT
// Settings, lists, readers and Abort: how the scanner behaves while its owner
// talks to it before, during and after a walk.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <quorvel/WithEvents.h>

#include "DirwalkProbe.h"
#include "SortedReader.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

using Walker = WithEvents<clsDirwalk, EntryFoundHandler>;

TEST(DirwalkSettings, StartWithNoListsZeroCountsAndOnlySubFoldersSet) {
    const clsDirwalk walker;
    EXPECT_EQ(walker.Folders(), nullptr);
    EXPECT_EQ(walker.Files(), nullptr);
    EXPECT_EQ(walker.FolderCount(), 0);
    EXPECT_EQ(walker.FileCount(), 0);
    EXPECT_EQ(walker.Events(), kFalse);
    EXPECT_EQ(walker.FullPath(), kFalse);
    EXPECT_EQ(walker.SubFolders(), kTrue);
}

// root/top/inner/f.txt: one chain, so every value is independent of order.
class FlagValues : public ::testing::Test {
  protected:
    FlagValues() { tree.File("top/inner/f.txt"); }
    TempTree tree;
};

TEST_F(FlagValues, EventsIsSetOnlyAtMinusOne) {
    for (const Flag value : {Flag{0}, Flag{1}, Flag{2}, Flag{-2}, Flag{0x7fff}}) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(Scan(tree.Root(), {.events = value}).events.empty());
    }
    EXPECT_EQ(Scan(tree.Root(), {.events = kTrue}).events.size(), 3u);
}

TEST_F(FlagValues, SubFoldersIsSetOnlyAtMinusOne) {
    for (const Flag value : {Flag{0}, Flag{1}, Flag{-2}}) {
        SCOPED_TRACE(value);
        const ScanResult result = Scan(tree.Root(), {.subFolders = value});
        EXPECT_EQ(result.folders, std::vector<std::string>{"top"});
        EXPECT_EQ(result.folderCount, 1);
        EXPECT_EQ(result.fileCount, 0);
    }
    EXPECT_EQ(Scan(tree.Root(), {.subFolders = kTrue}).folderCount, 2);
}

TEST_F(FlagValues, FullPathIsSetAtAnyNonZeroValue) {
    const std::string r = tree.Root() + "/";
    for (const Flag value : {Flag{-1}, Flag{1}, Flag{2}, Flag{-32768}}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(Scan(tree.Root(), {.fullPath = value}).folders,
                  (std::vector<std::string>{r + "top/", r + "top/inner/"}));
    }
    EXPECT_EQ(Scan(tree.Root(), {.fullPath = kFalse}).folders,
              (std::vector<std::string>{"top", "top/inner"}));
}

// SubFolders clear: the root's own entries only; its subfolders are listed,
// counted and reported, never entered.
TEST(DirwalkSettings, SubFoldersClearListsRootSubfoldersWithoutEnteringThem) {
    TempTree tree;
    tree.File("one/inside.txt");
    tree.File("two/deeper/inside.txt");
    tree.File("top.txt");
    const std::string r = tree.Root() + "/";
    const ScanResult result = Scan(tree.Root(), {.subFolders = kFalse});

    std::vector<std::string> folders;
    std::vector<Event> events;
    Counter files = 0;
    Counter nFolders = 0;
    for (const std::string& name : ListedOrder(tree.Root())) {
        if (name == "top.txt") {
            events.push_back(FileEvent(name, "", r, ++files, nFolders));
        } else {
            folders.push_back(name);
            events.push_back(FolderEvent(name, name, r + name, files, ++nFolders));
        }
    }
    EXPECT_EQ(result.folders, folders);
    EXPECT_EQ(result.files, std::vector<std::string>{r + "top.txt"});
    EXPECT_EQ(result.folderCount, 2);
    EXPECT_EQ(result.fileCount, 1);
    EXPECT_EQ(result.events, events);
}

TEST(DirwalkLists, EveryScanMakesANewPairAndAHeldPairStaysUnchanged) {
    TempTree tree;
    tree.File("first/a.txt");
    tree.File("second/b.txt");
    const auto walker = std::make_shared<clsDirwalk>();

    walker->ScanFolder(tree.Path("first"));
    const std::shared_ptr<const Collection> oldFolders = walker->Folders();
    const std::shared_ptr<const Collection> oldFiles = walker->Files();
    ASSERT_NE(oldFolders, nullptr);
    ASSERT_NE(oldFiles, nullptr);
    EXPECT_NE(oldFolders, oldFiles);
    // The readers hand out the list itself, not a copy.
    EXPECT_EQ(walker->Files(), oldFiles);

    walker->ScanFolder(tree.Path("second"));
    EXPECT_NE(walker->Folders(), oldFolders);
    EXPECT_NE(walker->Files(), oldFiles);
    EXPECT_TRUE(Items(*oldFolders).empty());
    EXPECT_EQ(Items(*oldFiles), std::vector<std::string>{tree.Path("first/a.txt")});
    EXPECT_EQ(Items(*walker->Files()), std::vector<std::string>{tree.Path("second/b.txt")});
    EXPECT_EQ(walker->FileCount(), 1);

    // Even a scan that finds nothing makes a new, empty pair.
    walker->ScanFolder(tree.Path("missing"));
    ASSERT_NE(walker->Files(), nullptr);
    EXPECT_TRUE(walker->Files()->empty());
    EXPECT_EQ(walker->FileCount(), 0);
}

// A handler sees the very lists and counters of the running walk.
TEST(DirwalkLists, ReadersShowTheLiveStateDuringAWalk) {
    TempTree tree;
    tree.File("top/inner/f.txt");
    tree.File("top/g.txt");
    int checked = 0;
    std::shared_ptr<const Collection> filesSeen;
    Walker walker{&clsDirwalk::EntryFound,
                  [&](std::string_view name, std::string_view, std::string_view fullPath,
                      Flag isFolder, Counter files, Counter folders) {
                      ++checked;
                      EXPECT_EQ(walker->FileCount(), files);
                      EXPECT_EQ(walker->FolderCount(), folders);
                      filesSeen = walker->Files();
                      if (isFolder == kTrue) {
                          // Listed on the way down, counted on the way up.
                          const auto& list = *walker->Folders();
                          const std::string rel =
                              std::string(fullPath).substr(tree.Root().size() + 1);
                          EXPECT_NE(std::find(list.begin(), list.end(), rel), list.end());
                      } else {
                          EXPECT_EQ(walker->Files()->size(), static_cast<std::size_t>(files));
                          EXPECT_EQ((*walker->Files())[static_cast<std::size_t>(files) - 1],
                                    std::string(fullPath) + std::string(name));
                      }
                  }};
    walker = std::make_shared<clsDirwalk>();
    walker->Events(kTrue);
    walker->ScanFolder(tree.Root());
    EXPECT_EQ(checked, 4);
    EXPECT_EQ(filesSeen, walker->Files());
}

TEST(DirwalkAbort, RequestBeforeScanFolderIsClearedByIt) {
    TempTree tree;
    tree.File("a/b/f.txt");
    const auto walker = std::make_shared<clsDirwalk>();
    walker->Abort();
    walker->ScanFolder(tree.Root());
    EXPECT_EQ(walker->FolderCount(), 2);
    EXPECT_EQ(walker->FileCount(), 1);
}

// A root of files that would take minutes to list.
class EndlessRootReader final : public DirectoryReader {
  public:
    static constexpr Counter kFiles = 100'000'000;
    std::unique_ptr<FolderListing> OpenRoot(const std::string&, std::error_code&) override {
        return std::make_unique<Listing>();
    }

  private:
    struct Listing final : FolderListing {
        Counter left = kFiles;
        bool Next(DirEntry& entry) override {
            if (left == 0) return false;
            --left;
            entry.name = "f";
            entry.isFolder = false;
            return true;
        }
        std::error_code Error() const override { return {}; }
        FolderId Identity() override { return {}; }
        std::unique_ptr<FolderListing> OpenChild(std::string_view,
                                                 std::error_code& error) override {
            error = std::make_error_code(std::errc::not_a_directory);
            return nullptr;
        }
    };
};

// A program that walks on a thread of its own stops it from another one,
// with read-ahead on and off (ThreadSanitizer runs this too).
TEST(DirwalkAbort, FromAnotherThreadEndsTheWalk) {
    for (const unsigned workers : {0u, 2u}) {
        const auto walker = std::make_shared<clsDirwalk>(std::make_shared<EndlessRootReader>());
        walker->ReadAhead(ReadAheadSettings{.workers = workers});
        std::atomic<bool> walking = false;
        walker->SetYieldHook([&walking] { walking.store(true, std::memory_order_release); });
        std::thread scan([&walker] { walker->ScanFolder("/"); });
        while (!walking.load(std::memory_order_acquire)) std::this_thread::yield();
        walker->Abort();
        scan.join();
        EXPECT_LT(walker->FileCount(), EndlessRootReader::kFiles) << workers << " workers";
    }
}

// p/{p1,p2}/{f1,f2,f3} and q/{q1,q2}/{f1,f2,f3}, listed in sorted order with
// "." and ".." last, so that nothing but the abort itself can end a folder's
// loop early.
class AbortedWalk : public ::testing::Test {
  protected:
    AbortedWalk() {
        for (const char* leaf : {"p/p1", "p/p2", "q/q1", "q/q2"}) {
            for (const char* file : {"f1", "f2", "f3"}) tree.File(std::string(leaf) + "/" + file);
        }
    }

    // Runs a walk that calls Abort from the handler of its `stopAt`-th event
    // (or from the yield after it).
    WalkRun RunAbortingAt(std::size_t stopAt, bool fromYield) {
        std::size_t events = 0;
        ScanOptions options{.reader = SortedSystemReader()};
        if (fromYield) {
            options.onYield = [stopAt](int yields, clsDirwalk& walker) {
                if (static_cast<std::size_t>(yields) == stopAt) walker.Abort();
            };
        } else {
            options.onEvent = [stopAt, &events](const Event&, clsDirwalk& walker) {
                if (++events == stopAt) walker.Abort();
            };
        }
        return Walk(tree.Root(), std::move(options));
    }

    TempTree tree;
    const std::string r = tree.Root() + "/";
};

// Abort at the first file: p1's loop ends, then p1 and p are completed.
TEST_F(AbortedWalk, FromAHandlerCompletesEveryOpenLevelInnermostFirst) {
    const WalkRun run = RunAbortingAt(1, false);
    EXPECT_EQ(run.scan, (ScanResult{{"p", "p/p1"},
                                    {r + "p/p1/f1"},
                                    2,
                                    1,
                                    {FileEvent("f1", "p/p1/", r + "p/p1/", 1, 0),
                                     FolderEvent("p1", "p/p1", r + "p/p1", 1, 1),
                                     FolderEvent("p", "p", r + "p", 1, 2)}}));
    // The aborting entry still yields, and so does each level completed.
    EXPECT_EQ(run.yields, 3);
}

TEST_F(AbortedWalk, FromTheYieldCompletesEveryOpenLevelInnermostFirst) {
    EXPECT_EQ(RunAbortingAt(1, true).scan, RunAbortingAt(1, false).scan);
}

// Abort at p1's own event: p1 is already complete, so p's loop ends there
// (p2 is never met) and p is completed.
TEST_F(AbortedWalk, AtAFolderEventEndsItsParentsLevel) {
    const std::string p1 = r + "p/p1/";
    EXPECT_EQ(RunAbortingAt(4, false).scan,
              (ScanResult{
                  {"p", "p/p1"},
                  {p1 + "f1", p1 + "f2", p1 + "f3"},
                  2,
                  3,
                  {FileEvent("f1", "p/p1/", p1, 1, 0), FileEvent("f2", "p/p1/", p1, 2, 0),
                   FileEvent("f3", "p/p1/", p1, 3, 0), FolderEvent("p1", "p/p1", r + "p/p1", 3, 1),
                   FolderEvent("p", "p", r + "p", 3, 2)}}));
}

// Abort at p's event, in the root's loop: q is never met.
TEST_F(AbortedWalk, AtATopFolderEventEndsTheWalk) {
    const ScanResult result = RunAbortingAt(9, false).scan;
    EXPECT_EQ(result.folders, (std::vector<std::string>{"p", "p/p1", "p/p2"}));
    EXPECT_EQ(result.fileCount, 6);
    EXPECT_EQ(result.folderCount, 3);
    ASSERT_EQ(result.events.size(), 9u);
    EXPECT_EQ(result.events.back(), FolderEvent("p", "p", r + "p", 6, 3));
}

TEST(DirwalkSettings, ChangesDuringAWalkApplyFromTheNextStep) {
    TempTree tree;
    tree.File("a/b/f.txt");
    const std::string r = tree.Root() + "/";
    const ScanResult result =
        Scan(tree.Root(), {.onYield = [](int, clsDirwalk& walker) { walker.Events(kFalse); }});
    EXPECT_EQ(result.events, std::vector<Event>{FileEvent("f.txt", "a/b/", r + "a/b/", 1, 0)});
    EXPECT_EQ(result.folderCount, 2);
}

}  // namespace
}  // namespace quorvel::testing
