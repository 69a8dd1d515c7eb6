// SPDX-License-Identifier: MIT
// Where a naive walk goes wrong on Linux: recurring root text, the file
// system root, link loops, re-entry from the owner, counter overflow and
// leaked descriptors. Undecodable names and paths beyond PATH_MAX are the
// hostile tests'.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <quorvel/WithEvents.h>

#include "DirwalkProbe.h"
#include "DirwalkTestAccess.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

using Walker = WithEvents<clsDirwalk, EntryFoundHandler>;

// ---- relative paths ------------------------------------------------------

// The root's own text recurs inside a deeper path; removing every occurrence
// would cut it out of the middle too.
TEST(DirwalkRelativePath, RemovesOnlyTheLeadingRootText) {
    TempTree tree;
    const std::string root = tree.Path("a");
    const std::string rootText = root + "/";
    // <root>/b<root>/c: the root text appears a second time after "b".
    const std::string inner = "b" + rootText + "c";
    tree.File("a/" + inner + "/f.txt");
    const ScanResult result = Scan(root);
    ASSERT_EQ(result.folders.size(), static_cast<std::size_t>(result.folderCount));
    EXPECT_EQ(result.folders.back(), inner);
    EXPECT_EQ(result.events.front(), FileEvent("f.txt", inner + "/", rootText + inner + "/", 1, 0));
    EXPECT_EQ(result.events[1], FolderEvent("c", inner, rootText + inner, 1, 1));
}

class InTempFolder : public ::testing::Test {
  protected:
    InTempFolder() {
        previous_.reset(::getcwd(nullptr, 0));
        if (::chdir(tree.Root().c_str()) != 0) throw std::runtime_error("chdir");
    }
    ~InTempFolder() override {
        if (previous_ && ::chdir(previous_.get()) != 0) std::abort();
    }
    TempTree tree;

  private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> previous_;
};

// Root "a/" and folder a/b/a/c: "b/a/c", not "bc" nor "b/c".
TEST_F(InTempFolder, RelativeRootRecurringInsideAPathStaysThere) {
    tree.File("a/b/a/c/f.txt");
    const ScanResult result = Scan("a");
    EXPECT_EQ(result.folders, (std::vector<std::string>{"b", "b/a", "b/a/c"}));
    EXPECT_EQ(result.files, std::vector<std::string>{"a/b/a/c/f.txt"});
    EXPECT_EQ(result.events, (std::vector<Event>{
                                 FileEvent("f.txt", "b/a/c/", "a/b/a/c/", 1, 0),
                                 FolderEvent("c", "b/a/c", "a/b/a/c", 1, 1),
                                 FolderEvent("a", "b/a", "a/b/a", 1, 2),
                                 FolderEvent("b", "b", "a/b", 1, 3),
                             }));
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An empty path means the root "/"; the top-level names are their own
// relative paths, with no leading '/'.
TEST(DirwalkRelativePath, EmptyPathListsTheFileSystemRoot) {
    ScanResult expected;
    for (const std::string& name : ListedOrder("/")) {
        if (IsFolder("/" + name)) {
            expected.folders.push_back(name);
            expected.events.push_back(
                FolderEvent(name, name, "/" + name, expected.fileCount, ++expected.folderCount));
        } else {
            expected.files.push_back("/" + name);
            expected.events.push_back(
                FileEvent(name, "", "/", ++expected.fileCount, expected.folderCount));
        }
    }
    EXPECT_EQ(Scan("", {.subFolders = kFalse}), expected);
}

TEST(DirwalkRelativePath, EmptyPathWalksBelowTheRootWithoutLeadingSlashes) {
    // Not the whole file system: stop at the first folder reported; the
    // open levels still report themselves on the way out, up to a top-level
    // folder.
    const ScanResult result = Scan("", {.onEvent = [](const Event& event, clsDirwalk& walker) {
                                       if (event.isFolder == kTrue) walker.Abort();
                                   }});
    const std::vector<Event>& events = result.events;
    ASSERT_FALSE(events.empty());
    ASSERT_EQ(events.back().isFolder, kTrue);
    EXPECT_EQ(events.back().relativePath, events.back().name);
    for (const Event& e : events) {
        SCOPED_TRACE(Escaped(e.fullPath));
        EXPECT_FALSE(e.relativePath.starts_with('/'));
        EXPECT_EQ(e.fullPath, "/" + e.relativePath);
        EXPECT_TRUE(e.isFolder != kTrue || e.relativePath.ends_with(e.name));
    }
    for (const std::string& folder : result.folders) {
        EXPECT_FALSE(folder.starts_with('/')) << Escaped(folder);
    }
}

// ---- links ---------------------------------------------------------------

TEST(DirwalkLinks, LinkToItsOwnFolderIsListedButNotEntered) {
    TempTree tree;
    tree.Link("d/here", ".");
    const std::string r = tree.Root() + "/";
    EXPECT_EQ(Scan(tree.Root()), (ScanResult{{"d", "d/here"},
                                             {},
                                             2,
                                             0,
                                             {FolderEvent("here", "d/here", r + "d/here", 0, 1),
                                              FolderEvent("d", "d", r + "d", 0, 2)}}));
}

TEST(DirwalkLinks, LinkToAnAncestorOrTheRootIsListedButNotEntered) {
    TempTree tree;
    tree.Link("d/e/up", "..");
    tree.Link("d/e/f/root", tree.Root());
    const std::string r = tree.Root() + "/";
    const ScanResult result = Scan(tree.Root());
    EXPECT_EQ(result.folderCount, 5);
    EXPECT_EQ(result.fileCount, 0);
    EXPECT_EQ(result.folders[0], "d");
    EXPECT_EQ(result.folders[1], "d/e");
    // e holds "up" and "f" in the file system's order.
    std::vector<std::string> below;
    std::vector<Event> events;
    Counter n = 0;
    for (const std::string& name : ListedOrder(tree.Path("d/e"))) {
        below.push_back("d/e/" + name);
        if (name == "f") {
            below.push_back("d/e/f/root");
            events.push_back(FolderEvent("root", "d/e/f/root", r + "d/e/f/root", 0, ++n));
        }
        events.push_back(FolderEvent(name, "d/e/" + name, r + "d/e/" + name, 0, ++n));
    }
    events.push_back(FolderEvent("e", "d/e", r + "d/e", 0, ++n));
    events.push_back(FolderEvent("d", "d", r + "d", 0, ++n));
    EXPECT_EQ(std::vector<std::string>(result.folders.begin() + 2, result.folders.end()), below);
    EXPECT_EQ(result.events, events);
}

// A/toB -> ../B and B/toA -> ../A: each is entered once, from the other
// side, and the link back is listed without being entered.
TEST(DirwalkLinks, TwoFoldersLinkedToEachOtherTerminate) {
    TempTree tree;
    tree.Link("A/toB", "../B");
    tree.Link("B/toA", "../A");
    const std::vector<std::string> order = ListedOrder(tree.Root());
    ASSERT_EQ(order.size(), 2u);
    const std::string& x = order[0];
    const std::string& y = order[1];
    const std::string xy = x + "/to" + y;
    const std::string yx = y + "/to" + x;
    const std::string r = tree.Root() + "/";
    EXPECT_EQ(
        Scan(tree.Root()),
        (ScanResult{{x, xy, xy + "/to" + x, y, yx, yx + "/to" + y},
                    {},
                    6,
                    0,
                    {FolderEvent("to" + x, xy + "/to" + x, r + xy + "/to" + x, 0, 1),
                     FolderEvent("to" + y, xy, r + xy, 0, 2), FolderEvent(x, x, r + x, 0, 3),
                     FolderEvent("to" + y, yx + "/to" + y, r + yx + "/to" + y, 0, 4),
                     FolderEvent("to" + x, yx, r + yx, 0, 5), FolderEvent(y, y, r + y, 0, 6)}}));
}

TEST(DirwalkLinks, LinkLeadingOutOfTheTreeIsWalked) {
    TempTree outside;
    outside.File("sub/f.txt");
    TempTree tree;
    tree.Link("out", outside.Root());
    const std::string r = tree.Root() + "/";
    EXPECT_EQ(Scan(tree.Root()), (ScanResult{{"out", "out/sub"},
                                             {r + "out/sub/f.txt"},
                                             2,
                                             1,
                                             {FileEvent("f.txt", "out/sub/", r + "out/sub/", 1, 0),
                                              FolderEvent("sub", "out/sub", r + "out/sub", 1, 1),
                                              FolderEvent("out", "out", r + "out", 1, 2)}}));
}

// A link that leads to no folder is a file: broken, to a file, or to itself
// (which cannot be resolved: ELOOP).
TEST(DirwalkLinks, LinkLeadingToNoFolderIsAFile) {
    TempTree outside;
    outside.File("target.txt", "x");
    for (const std::string& target :
         {std::string("nowhere"), outside.Path("target.txt"), std::string("link")}) {
        SCOPED_TRACE(target);
        TempTree tree;
        tree.Link("d/link", target);
        const std::string r = tree.Root() + "/";
        EXPECT_EQ(Scan(tree.Root()), (ScanResult{{"d"},
                                                 {r + "d/link"},
                                                 1,
                                                 1,
                                                 {FileEvent("link", "d/", r + "d/", 1, 0),
                                                  FolderEvent("d", "d", r + "d", 1, 1)}}));
    }
}

// ---- re-entry from the owner -------------------------------------------

TEST(DirwalkReentry, NestedScanFolderIsRefusedAndTheRunningWalkGoesOn) {
    TempTree tree;
    tree.File("a/b/f.txt");
    TempTree other;
    other.File("x/y.txt");
    const ScanResult clean = Scan(tree.Root());

    for (const bool fromYield : {false, true}) {
        SCOPED_TRACE(fromYield ? "from the yield" : "from a handler");
        int attempts = 0;
        std::shared_ptr<clsDirwalk> kept;  // to ask it after the walk
        auto nested = [&](clsDirwalk& walker) {
            if (attempts++ > 0) return;
            kept = walker.shared_from_this();
            EXPECT_TRUE(walker.IsScanning());
            EXPECT_THROW(walker.ScanFolder(other.Root()), std::logic_error);
            EXPECT_EQ(DirwalkTestAccess::RootPath(walker), tree.Root() + "/");
        };
        ScanOptions options;
        if (fromYield) {
            options.onYield = [&](int, clsDirwalk& walker) { nested(walker); };
        } else {
            options.onEvent = [&](const Event&, clsDirwalk& walker) { nested(walker); };
        }
        EXPECT_EQ(Scan(tree.Root(), std::move(options)), clean);
        EXPECT_EQ(attempts, 3);
        ASSERT_NE(kept, nullptr);
        EXPECT_FALSE(kept->IsScanning());
    }
}

TEST(DirwalkReentry, OwnerDroppingItsReferenceDuringAYieldLeavesTheWalkRunning) {
    TempTree tree;
    tree.File("a/b/f.txt");
    int events = 0;
    int yields = 0;
    Walker walker{&clsDirwalk::EntryFound, [&](auto&&...) { ++events; }};
    walker = std::make_shared<clsDirwalk>();
    walker->Events(kTrue);
    const std::weak_ptr<clsDirwalk> watch = walker.get();
    clsDirwalk* raw = walker.get().get();
    raw->SetYieldHook([&] {
        if (++yields == 1) walker = nullptr;  // the last outside reference
        EXPECT_FALSE(watch.expired());
        EXPECT_EQ(raw->FileCount(), 1);  // touching the object is still safe
    });
    raw->ScanFolder(tree.Root());
    EXPECT_EQ(yields, 3);  // f.txt, b, a: the walk went on to its end
    EXPECT_EQ(events, 1);  // but nobody was listening any more
    EXPECT_TRUE(watch.expired());
}

TEST(DirwalkReentry, ReplacingTheOwnersVariableStopsDeliveryFromTheOldObject) {
    TempTree tree;
    tree.File("a/b/f.txt");
    std::vector<std::string> heard;
    Walker* self = nullptr;
    Walker owner{&clsDirwalk::EntryFound, [&](std::string_view name, auto&&...) {
                     heard.emplace_back(name);
                     if (heard.size() == 1) *self = std::make_shared<clsDirwalk>();
                 }};
    self = &owner;
    owner = std::make_shared<clsDirwalk>();
    const std::shared_ptr<clsDirwalk> old = owner.get();
    old->Events(kTrue);
    old->ScanFolder(tree.Root());
    EXPECT_EQ(heard, std::vector<std::string>{"f.txt"});
    EXPECT_EQ(old->FolderCount(), 2);  // the old object walked to its end
    ASSERT_NE(owner.get(), old);
    owner->Events(kTrue);
    owner->ScanFolder(tree.Root());  // the new object does reach the handler
    EXPECT_EQ(heard, (std::vector<std::string>{"f.txt", "f.txt", "b", "a"}));
}

// ---- counter overflow ------------------------------------------------------

// Runs a walk whose counters are pushed to the maximum at the first yield,
// expecting the overflow error to escape ScanFolder.
struct OverflowRun {
    std::shared_ptr<clsDirwalk> walker = std::make_shared<clsDirwalk>();
    std::vector<Event> events;
    EventSource<EntryFoundHandler>::Connection connection =
        walker->EntryFound.Connect(RecordInto(events));
    int descriptorsBefore = OpenDescriptorCount();

    void Run(const std::string& root, void (*push)(clsDirwalk&, Counter)) {
        walker->Events(kTrue);
        int yields = 0;
        clsDirwalk* raw = walker.get();
        walker->SetYieldHook([&yields, raw, push] {
            if (++yields == 1) push(*raw, kCounterMax);
        });
        EXPECT_THROW(walker->ScanFolder(root), OverflowError);
        EXPECT_FALSE(walker->IsScanning());
        EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    }
};

// d/e/{f1,f2}: the second file overflows with three folders open.
TEST(DirwalkOverflow, FileThatOverflowsIsNotListedAndNotReported) {
    TempTree tree;
    tree.File("d/e/f1");
    tree.File("d/e/f2");
    OverflowRun run;
    run.Run(tree.Root(), &DirwalkTestAccess::SetFileCount);
    const std::string r = tree.Root() + "/";
    ASSERT_EQ(run.events.size(), 1u);
    const std::string first = run.events[0].name;
    EXPECT_EQ(Results(*run.walker, run.events),
              (ScanResult{{"d", "d/e"},
                          {r + "d/e/" + first},
                          0,
                          kCounterMax,
                          {FileEvent(first, "d/e/", r + "d/e/", 1, 0)}}));

    // The object stays usable: the next scan starts from scratch.
    run.walker->SetYieldHook(nullptr);
    run.walker->ScanFolder(tree.Root());
    EXPECT_EQ(run.walker->FileCount(), 2);
    EXPECT_EQ(run.walker->FolderCount(), 2);
}

// a/d/f: d overflows on its way up, after it was listed and walked.
TEST(DirwalkOverflow, FolderThatOverflowsWasListedAndWalkedButIsNotReported) {
    TempTree tree;
    tree.File("a/d/f");
    OverflowRun run;
    run.Run(tree.Root(), &DirwalkTestAccess::SetFolderCount);
    const std::string r = tree.Root() + "/";
    EXPECT_EQ(Results(*run.walker, run.events),
              (ScanResult{{"a", "a/d"},
                          {r + "a/d/f"},
                          kCounterMax,
                          1,
                          {FileEvent("f", "a/d/", r + "a/d/", 1, 0)}}));
}

}  // namespace
}  // namespace quorvel::testing
