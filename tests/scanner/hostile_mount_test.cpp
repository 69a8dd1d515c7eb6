// SPDX-License-Identifier: MIT
// Walks over a FUSE file system of the tests' own (FuseMount), whose folders
// fail the ways a disk or a network share in trouble does: part-way through
// a listing, slowly, while they change, or not at all until released. Each
// walk runs serially and reading ahead, and each must report exactly what is
// stated. Without FUSE the tests skip and say why.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "DirwalkProbe.h"
#include "FuseMount.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Serial, and reading ahead as the window does.
constexpr unsigned kWorkerCounts[] = {0, ReadAheadSettings{}.workers};

// Built by appending: GCC 12 warns, wrongly, of an overlapping copy in
// "literal" + std::to_string(i).
std::string Numbered(std::string_view prefix, int i) {
    std::string name(prefix);
    name += std::to_string(i);
    return name;
}

ScanOptions ReadingAhead(unsigned workers) {
    ScanOptions options;
    options.readAhead.workers = workers;
    return options;
}

// A listing that fails part-way keeps what it returned; one that fails at
// its first read is still listed in its parent. Reading ahead, the worker's
// failed read is dropped and the walk's own read fails the same way.
TEST(HostileMount, ListingsThatFailKeepWhatWasReadAndAreRecorded) {
    FuseMount fs;
    for (const char* file : {"a", "big/1", "big/2", "big/sub/g", "big/3", "z/zz"}) fs.File(file);
    fs.FailListing("big", 3, EIO);
    fs.FailListing("z", 0, EIO);
    if (!fs.Mount()) GTEST_SKIP() << fs.WhyNotMounted();
    const std::string r = fs.Root() + "/";
    for (const unsigned workers : kWorkerCounts) {
        const WalkRun run = Walk(fs.Root(), ReadingAhead(workers));
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan.folders, (Strings{"big", "big/sub", "z"})) << workers;
        EXPECT_EQ(run.scan.files, (Strings{r + "a", r + "big/1", r + "big/2", r + "big/sub/g"}))
            << workers;
        EXPECT_EQ(run.failures, (std::vector<Failure>{{r + "big/", EIO}, {r + "z/", EIO}}))
            << workers;
    }
}

// Every read slow, as on a network share, and a folder that takes several
// reads: reading ahead adds workers for such reads, and the lists stay those
// of the serial walk, entry for entry.
TEST(HostileMount, SlowListingsAreListedExactlyAsFastOnes) {
    FuseMount fs;
    for (int i = 0; i < 5; ++i) {
        const std::string top = Numbered("d", i);
        fs.File(top + "/first");
        for (const char* sub : {"/e0/f", "/e1/f", "/e2/f", "/e3/f", "/e4/f"}) fs.File(top + sub);
    }
    for (int i = 0; i < 300; ++i) fs.File(Numbered("wide/file-with-a-longer-name-", i));
    fs.Latency("", 2ms);
    if (!fs.Mount()) GTEST_SKIP() << fs.WhyNotMounted();
    const ScanResult expected = ReferenceScan(fs.Root(), ScanOptions{});
    ASSERT_EQ(expected.folderCount, 31);
    ASSERT_EQ(expected.fileCount, 330);
    for (const unsigned workers : kWorkerCounts) {
        const WalkRun run = Walk(fs.Root(), ReadingAhead(workers));
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan, expected) << workers;
        EXPECT_EQ(run.failures, std::vector<Failure>{}) << workers;
    }
}

// After two entries of `moving` were read, `sub` (read) is renamed `moved`,
// `gone` (not yet read) is removed and `new` is added: the listing goes on
// with the renamed and the added entries at its end, and without `gone`. The
// serial walk entered `sub` before the change and lists its file under both
// names; reading ahead, the folder was read whole before `sub` was entered,
// so `sub` was gone by then and is recorded as such, never silently taken
// for `moved`.
TEST(HostileMount, FolderChangedWhileItIsListedShowsWhatEachReadSaw) {
    using Kind = FuseMount::Change::Kind;
    for (const unsigned workers : kWorkerCounts) {
        FuseMount fs;
        for (const char* file :
             {"moving/a", "moving/sub/g", "moving/c", "moving/gone/x", "moving/late"}) {
            fs.File(file);
        }
        fs.ChangeWhileListed(
            "moving", 2,
            {{Kind::Rename, "sub", "moved"}, {Kind::Remove, "gone"}, {Kind::AddFile, "new"}});
        if (!fs.Mount()) GTEST_SKIP() << fs.WhyNotMounted();
        const std::string m = fs.Root() + "/moving/";
        const WalkRun run = Walk(fs.Root(), ReadingAhead(workers));
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan.folders, (Strings{"moving", "moving/sub", "moving/moved"})) << workers;
        if (workers == 0) {
            EXPECT_EQ(run.scan.files, (Strings{m + "a", m + "sub/g", m + "c", m + "late",
                                               m + "moved/g", m + "new"}));
            EXPECT_EQ(run.failures, std::vector<Failure>{});
        } else {
            EXPECT_EQ(run.scan.files,
                      (Strings{m + "a", m + "c", m + "late", m + "moved/g", m + "new"}));
            EXPECT_EQ(run.failures, (std::vector<Failure>{{m + "sub/", ENOENT}}));
        }
    }
}

// Abort from another thread while the walk is blocked in a read of the root
// that does not return: once the read is released, the walk sees the
// request at its next step and returns, leaving no thread behind. Serially
// it had reported the first read's entries (and b's subtree), and reports
// the one entry the released read brings; reading ahead, the root is read
// whole before any of it is reported, so nothing is.
TEST(HostileMount, AbortFromAnotherThreadDuringAHungReadEndsTheWalkWhenItReturns) {
    FuseMount fs;
    for (const char* file : {"a", "b/x", "c"}) fs.File(file);
    if (!fs.Mount()) GTEST_SKIP() << fs.WhyNotMounted();
    const std::string r = fs.Root() + "/";
    for (const unsigned workers : kWorkerCounts) {
        fs.HangListing("", 2);
        const int threadsBefore = ThreadCount();
        const auto walker = std::make_shared<clsDirwalk>();
        walker->ReadAhead(ReadAheadSettings{.workers = workers});
        std::thread scan([&walker, &fs] { walker->ScanFolder(fs.Root()); });
        const bool hung = fs.WaitUntilHanging("", 10s);
        walker->Abort();
        fs.Release("");
        scan.join();
        ASSERT_TRUE(hung) << workers;
        const Strings files = workers == 0 ? Strings{r + "a", r + "b/x", r + "c"} : Strings{};
        EXPECT_EQ(Items(*walker->Files()), files) << workers;
        EXPECT_EQ(Items(*walker->Folders()), workers == 0 ? Strings{"b"} : Strings{}) << workers;
        EXPECT_TRUE(walker->ReadFailures()->empty()) << workers;
        EXPECT_EQ(ThreadCountAfter(threadsBefore), threadsBefore) << workers;
    }
}

}  // namespace
}  // namespace quorvel::testing
