// SPDX-License-Identifier: MIT
// Trees deeper than the process may hold descriptors for, and deeper than
// PATH_MAX: walked completely, with the same results as without the limit,
// with read-ahead too. Each test lowers the soft descriptor limit for its own
// duration. And read-ahead cut short at random points: no thread or
// descriptor left behind.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <quorvel/OpenFileLimit.h>

#include "DirwalkProbe.h"
#include "FaultyReader.h"
#include "TempTree.h"
#include "WorkerPacer.h"

namespace quorvel::testing {
namespace {

// Sets the soft limit on open descriptors for the scope, then restores it.
class SoftDescriptorLimit {
  public:
    explicit SoftDescriptorLimit(rlim_t soft) {
        if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) throw std::runtime_error("getrlimit");
        struct rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) throw std::runtime_error("setrlimit");
    }
    ~SoftDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    SoftDescriptorLimit(const SoftDescriptorLimit&) = delete;
    SoftDescriptorLimit& operator=(const SoftDescriptorLimit&) = delete;

  private:
    struct rlimit saved_ {};
};

std::string LevelName(int level) {
    char name[32];
    std::snprintf(name, sizeof name, "level-%03d-abcdefghij", level);
    return name;
}

struct Chain {
    std::string deepest;               // the last level, relative
    std::vector<std::string> folders;  // as the folder list holds them, sorted
    std::vector<std::string> files;    // full paths, sorted
};

// Every level holds the next level, a sibling folder with a file, and a
// file; the siblings come before or after the chain in the file system's
// order, so some of them are opened from a level whose descriptor was freed.
Chain BuildChain(TempTree& tree, int levels) {
    Chain chain;
    std::string& rel = chain.deepest;
    for (int i = 0; i < levels; ++i) {
        if (i > 0) rel += '/';
        rel += LevelName(i);
        tree.File(rel + "/side/f");
        tree.File(rel + "/leaf");
        chain.folders.insert(chain.folders.end(), {rel, rel + "/side"});
        chain.files.insert(chain.files.end(),
                           {tree.Path(rel + "/side/f"), tree.Path(rel + "/leaf")});
    }
    chain.folders = Sorted(std::move(chain.folders));
    chain.files = Sorted(std::move(chain.files));
    return chain;
}

// Walks `root` without a limit and then under a soft descriptor limit of
// `limit`: both keep every invariant and read every folder, and the limit
// changes nothing in what is reported. Returns the unlimited walk.
// With `readAhead`, the limited walk reads ahead: its workers' descriptors
// must not cost the walk a folder. Returns the unlimited walk.
WalkRun ExpectSameUnderLimit(const std::string& root, rlim_t limit, const ScanOptions& options = {},
                             ReadAheadSettings readAhead = {.workers = 0}) {
    const WalkRun free = Walk(root, options);
    ExpectWalkInvariants(free);
    EXPECT_EQ(free.failures, std::vector<Failure>{});
    ScanOptions limitedOptions = options;
    limitedOptions.readAhead = readAhead;
    // Also before the limit: UBSan's first check of a type needs a
    // descriptor, and under the limit there may be none to spare.
    if (readAhead.workers > 0) {
        EXPECT_EQ(Walk(root, limitedOptions).scan, free.scan);
    }
    WalkRun limited;
    {
        const SoftDescriptorLimit lowered(limit);
        limited = Walk(root, limitedOptions);
    }
    ExpectWalkInvariants(limited);
    EXPECT_EQ(limited.scan, free.scan);
    EXPECT_EQ(limited.failures, std::vector<Failure>{});
    return free;
}

TEST(HostileDepth, ChainBeyondTheDescriptorLimitAndPathMaxWalksAsWithoutTheLimit) {
    constexpr int kLevels = 300;
    TempTree tree;
    const Chain chain = BuildChain(tree, kLevels);
    ASSERT_GT(tree.Path(chain.deepest).size(), 4096u);

    const WalkRun free = ExpectSameUnderLimit(tree.Root(), 64);
    EXPECT_EQ(Sorted(free.scan.folders), chain.folders);
    EXPECT_EQ(Sorted(free.scan.files), chain.files);
    // Past PATH_MAX the workers' opens fail and the walk reads on its own.
    ExpectSameUnderLimit(tree.Root(), 64, {}, {.workers = 8});
}

// Folders linked back to from deep below must still be recognised as
// ancestors after their levels gave up their descriptors.
TEST(HostileDepth, LinkLoopsStayClosedWhenShallowLevelsAreClosedAndReopened) {
    constexpr int kLevels = 60;
    TempTree tree;
    const std::string deepest = BuildChain(tree, kLevels).deepest;
    tree.Link(deepest + "/toRoot", tree.Root());
    tree.Link(deepest + "/toTop", tree.Path(LevelName(0)));
    tree.Link(deepest + "/up", "..");

    EXPECT_EQ(ExpectSameUnderLimit(tree.Root(), 24).scan.folderCount, 2 * kLevels + 3);
}

// A level whose descriptor was freed is reached again by name when it cannot
// be reached through ".." from below (here its children are links that lead
// out of the tree). If its name now leads to another folder, that folder's
// contents must not be passed off as the original's: the child is recorded
// as gone.
TEST(HostileDepth, ClosedLevelReplacedDuringTheWalkIsNotConfusedWithItsImpostor) {
    TempTree outside;
    std::string chain;
    for (int i = 0; i < 80; ++i) {
        chain += '/';
        chain += LevelName(i);
    }
    outside.File("A" + chain + "/bottom.txt");
    outside.File("B" + chain + "/bottom.txt");
    TempTree tree;
    tree.Link("L/a", outside.Path("A"));
    tree.Link("L/b", outside.Path("B"));
    const std::vector<std::string> order = ListedOrder(tree.Path("L"));
    ASSERT_EQ(order.size(), 2u);

    ScanOptions options;
    options.onEvent = [&tree](const Event& event, clsDirwalk&) {
        if (event.name != "bottom.txt" || event.fileCount != 1) return;
        // The walk holds every descriptor the limit allows; building the
        // impostor needs a few more.
        const SoftDescriptorLimit roomToBuild(256);
        ASSERT_EQ(std::rename(tree.Path("L").c_str(), tree.Path("L-moved").c_str()), 0);
        tree.Link("L/a", "/");
        tree.Link("L/b", "/");
    };
    WalkRun limited;
    {
        const SoftDescriptorLimit limit(32);
        limited = Walk(tree.Root(), options);
    }
    ExpectWalkInvariants(limited);
    const std::string first = "L/" + order[0];
    EXPECT_EQ(limited.scan.folderCount, 1 + 2 + 80);
    EXPECT_EQ(limited.scan.files,
              std::vector<std::string>{tree.Path(first + chain + "/bottom.txt")});
    EXPECT_EQ(limited.failures, (std::vector<Failure>{{tree.Path("L/" + order[1] + "/"), ENOENT}}));
}

// Random shapes, seeded: long branches, side folders, files, broken links and
// links to any folder of the tree (ancestors included), walked under a
// descriptor limit far below their depth. Levels are closed, reopened by name
// and handed back through "..", in every order the shapes produce; the
// results must stay those of the unlimited walk.
TEST(HostileDepth, RandomTreesUnderALowDescriptorLimitWalkAsWithoutIt) {
    std::mt19937 random(20260607);
    const auto below = [&random](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        TempTree tree;
        std::vector<std::string> folders{""};  // relative paths; "" is the root
        int links = 0;
        for (int i = 0; i < 200; ++i) {
            // Mostly below the newest folder, so that branches grow deep.
            const std::string parent =
                below(10) < 7 ? folders.back() : folders[below(folders.size())];
            const std::string at = (parent.empty() ? "" : parent + "/") + "e" + std::to_string(i);
            const std::size_t kind = below(20);
            if (kind < 11) {
                tree.Folder(at);
                folders.push_back(at);
            } else if (kind < 17 || links >= 5) {
                tree.File(at);
            } else if (kind < 19) {
                tree.Link(at, tree.Path(folders[below(folders.size())]));
                ++links;
            } else {
                tree.Link(at, "missing");
            }
        }
        // So low that the workers' few descriptors run the walk short.
        ExpectSameUnderLimit(tree.Root(), 12, {}, {.workers = round % 2 ? 4u : 0u});
    }
}

// An exception out of a handler deep below the limit: every level unwinds,
// the closed ones and those holding descriptors alike, and none is left open.
TEST(HostileDepth, ExceptionDeepBeyondTheLimitLeavesNoDescriptorOpen) {
    TempTree tree;
    const std::string deepest = BuildChain(tree, 100).deepest;
    struct Stop {};
    const int before = OpenDescriptorCount();
    {
        const SoftDescriptorLimit limit(32);
        ScanOptions options;
        options.onEvent = [&deepest](const Event& event, clsDirwalk&) {
            if (event.relativePath == deepest + "/") throw Stop{};
        };
        EXPECT_THROW(Walk(tree.Root(), options), Stop);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

// Read-ahead ended at random points, by an Abort, by SubFolders cleared (and
// perhaps set again) or by the owner dropping the scanner (which walks on to
// its end): ScanFolder returns with every worker joined and every descriptor
// closed, and the walk reported exactly what the serial one reports with the
// same change at the same entry.
TEST(HostileDepth, ReadAheadCutShortAtRandomPointsLeavesNoThreadOrDescriptorBehind) {
    TempTree tree;
    BuildChain(tree, 30);
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 5; ++j)
            tree.File("wide/f" + std::to_string(i) + "/" + std::to_string(j));
    }
    const int entries = 2 * 30 + 2 * 30 + 1 + 40 + 40 * 5;
    std::mt19937 random(20260611);
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        const int stopAt = 1 + static_cast<int>(random() % entries);
        ScanOptions options;
        options.onYield = [stopAt, round](int yields, clsDirwalk& walker) {
            if (yields == stopAt && round % 3 == 0) walker.Abort();
            if (yields == stopAt && round % 3 != 0) walker.SubFolders(kFalse);
            if (yields == stopAt + 20 && round % 3 == 2) walker.SubFolders(kTrue);
        };
        const WalkRun serial = Walk(tree.Root(), options);
        options.readAhead = {.workers = 1u + static_cast<unsigned>(round % 8)};
        const WalkRun readAhead = Walk(tree.Root(), options);
        ExpectWalkInvariants(readAhead);
        EXPECT_EQ(readAhead.scan, serial.scan);
    }
    for (int round = 0; round < 8; ++round) {
        const int threads = ThreadCount();
        const int descriptors = OpenDescriptorCount();
        auto owner = std::make_shared<clsDirwalk>();
        const std::weak_ptr<clsDirwalk> watch = owner;
        owner->ReadAhead({.workers = 4});
        const int dropAt = 1 + static_cast<int>(random() % entries);
        int yields = 0;
        owner->SetYieldHook([&] {
            if (++yields == dropAt) owner.reset();
        });
        watch.lock()->ScanFolder(tree.Root());
        EXPECT_TRUE(watch.expired());
        EXPECT_EQ(yields, entries);
        EXPECT_EQ(ThreadCountAfter(threads), threads);
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
    }
}

// How many workers read, step by step: the first ones when work comes, one
// more for each wait for a device up to the number allowed (a paused one
// before a new thread), the last added paused after a run of reads that did
// not wait (a wait, or a worker added, starts the run anew), never below the
// first ones; the walk reads in their stead only while no worker was added.
TEST(HostileDepth, ReadAheadPacerAddsAWorkerForEachWaitAndPausesItAfterQuietReads) {
    using Change = WorkerPacer::Change;
    enum Event { kQueued, kQuiet, kSlowQuiet, kWaited, kWalkWaited, kQuietRun };
    struct Step {
        Event event;
        Change change;
        std::size_t active;
        std::size_t started;
        bool walkMayHelp;
    };
    constexpr std::size_t run = WorkerPacer::kQuietReads - 1;
    const Step steps[] = {
        {kQueued, Change::kStartWorker, 1, 1, false},
        {kQueued, Change::kNone, 1, 1, false},
        {kQuietRun, Change::kNone, 1, 1, false},
        {kSlowQuiet, Change::kNone, 1, 1, true},
        {kWalkWaited, Change::kStartWorker, 2, 2, false},
        {kWalkWaited, Change::kStartWorker, 3, 3, false},
        {kWalkWaited, Change::kNone, 3, 3, false},
        {kQuietRun, Change::kNone, 3, 3, false},
        {kWaited, Change::kNone, 3, 3, false},
        {kQuietRun, Change::kNone, 3, 3, false},
        {kQuiet, Change::kPause, 2, 3, false},
        {kQuietRun, Change::kNone, 2, 3, false},
        {kSlowQuiet, Change::kPause, 1, 3, false},
        {kQuietRun, Change::kNone, 1, 3, false},
        {kQuiet, Change::kNone, 1, 3, true},
        {kWalkWaited, Change::kUnpause, 2, 3, false},
        {kWalkWaited, Change::kUnpause, 3, 3, false},
        {kWalkWaited, Change::kNone, 3, 3, false},
    };
    WorkerPacer pacer(1, 3);
    int line = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(++line);
        Change change = Change::kNone;
        switch (step.event) {
            case kQueued:
                change = pacer.WorkQueued();
                break;
            case kQuiet:
                change = pacer.ReadEnded({});
                break;
            case kSlowQuiet:
                change = pacer.ReadEnded({.slow = true, .waited = false});
                break;
            case kWaited:
                change = pacer.ReadEnded({.slow = true, .waited = true});
                break;
            case kWalkWaited:
                change = pacer.WalkWaitedForDevice();
                break;
            case kQuietRun:
                for (std::size_t i = 0; i < run; ++i) {
                    ASSERT_EQ(pacer.ReadEnded({}), Change::kNone) << i;
                }
                break;
        }
        EXPECT_EQ(change, step.change);
        EXPECT_EQ(pacer.Active(), step.active);
        EXPECT_EQ(pacer.Started(), step.started);
        EXPECT_EQ(pacer.WalkMayHelp(), step.walkMayHelp);
        for (std::size_t worker = 0; worker < 4; ++worker) {
            EXPECT_EQ(pacer.Reads(worker), worker < step.active) << worker;
        }
    }

    // A thread the system refuses is not counted, and is asked for again.
    WorkerPacer refused(2, 4);
    ASSERT_EQ(refused.WorkQueued(), Change::kStartWorker);
    ASSERT_EQ(refused.WorkQueued(), Change::kStartWorker);
    refused.StartFailed(1);
    EXPECT_EQ(refused.Started(), 1u);
    EXPECT_EQ(refused.Active(), 1u);
    EXPECT_EQ(refused.WorkQueued(), Change::kStartWorker);
    // No more first workers than allowed in all, and none where none is.
    WorkerPacer few(8, 2);
    EXPECT_EQ(few.FirstWorkers(), 2u);
    WorkerPacer none(1, 0);
    EXPECT_EQ(none.WorkQueued(), Change::kNone);
    EXPECT_EQ(none.WalkWaitedForDevice(), Change::kNone);
}

// Reads that wait, then stop waiting long enough for the workers added to
// pause, then wait again; then reads that take a moment but are never slow,
// so that the walk reads the next waiting folders while it waits: whatever
// the pacer does, the walk is the serial one's, and no thread is left.
TEST(HostileDepth, ReadAheadOverReadsThatWaitAndStopWaitingWalksAsTheSerialWalk) {
    TempTree tree;
    for (int i = 0; i < 900; ++i) tree.File("wide/f" + std::to_string(i) + "/x");
    const WalkRun serial = Walk(tree.Root(), {});
    const auto slow = std::make_shared<FaultyReader>();
    ScanOptions options;
    options.reader = slow;
    options.readAhead = {.workers = 5};
    slow->DelayEveryOpen(std::chrono::milliseconds(3), /*overNetwork=*/true, 100, 800);
    const WalkRun quietWhile = Walk(tree.Root(), options);
    ExpectWalkInvariants(quietWhile);
    EXPECT_EQ(quietWhile.scan, serial.scan);
    slow->DelayEveryOpen(std::chrono::microseconds(50));
    const WalkRun sharing = Walk(tree.Root(), options);
    ExpectWalkInvariants(sharing);
    EXPECT_EQ(sharing.scan, serial.scan);
}

TEST(HostileDepth, RaiseOpenFileLimitLiftsTheSoftLimitToTheHardOne) {
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max == RLIM_INFINITY) GTEST_SKIP() << "no finite hard limit to reach";
    const SoftDescriptorLimit limit(64);
    EXPECT_EQ(RaiseOpenFileLimit(), before.rlim_max);
    struct rlimit after {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_max);
    EXPECT_EQ(RaiseOpenFileLimit(), before.rlim_max);  // already there: unchanged
}

}  // namespace
}  // namespace quorvel::testing
