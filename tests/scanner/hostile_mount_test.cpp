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
#include <optional>
#include <ostream>
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

// Serial, and reading ahead as the window does; each blocking in its reads,
// and with every read on a thread of its own, as the window reads.
struct Config {
    unsigned workers;
    ReadWaits waits;
};
constexpr Config kConfigs[] = {{0, ReadWaits::kBlock},
                               {ReadAheadSettings{}.workers, ReadWaits::kBlock},
                               {0, ReadWaits::kYieldAbandonOnAbort},
                               {ReadAheadSettings{}.workers, ReadWaits::kYieldAbandonOnAbort}};
std::ostream& operator<<(std::ostream& out, const Config& config) {
    return out << config.workers << " workers, waits " << static_cast<int>(config.waits);
}

// Built by appending: GCC 12 warns, wrongly, of an overlapping copy in
// "literal" + std::to_string(i).
std::string Numbered(std::string_view prefix, int i) {
    std::string name(prefix);
    name += std::to_string(i);
    return name;
}

ScanOptions Options(const Config& config) {
    ScanOptions options;
    options.readAhead.workers = config.workers;
    options.readWaits = config.waits;
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
    for (const Config& config : kConfigs) {
        const WalkRun run = Walk(fs.Root(), Options(config));
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan.folders, (Strings{"big", "big/sub", "z"})) << config;
        EXPECT_EQ(run.scan.files, (Strings{r + "a", r + "big/1", r + "big/2", r + "big/sub/g"}))
            << config;
        EXPECT_EQ(run.failures, (std::vector<Failure>{{r + "big/", EIO}, {r + "z/", EIO}}))
            << config;
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
    for (const Config& config : kConfigs) {
        const WalkRun run = Walk(fs.Root(), Options(config));
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan, expected) << config;
        EXPECT_EQ(run.failures, std::vector<Failure>{}) << config;
    }
}

// After two entries of `moving` were read, `sub` (read) is renamed `moved`,
// `gone` (not yet read) is removed and `new` is added: the listing goes on
// with the renamed and the added entries at its end, and without `gone`. The
// serial walk entered `sub` before the change and lists its file under both
// names; reading ahead, or on a thread of its own (which hands over a batch
// of entries at a time), the folder was read whole before `sub` was entered,
// so `sub` was gone by then and is recorded as such, never silently taken
// for `moved`.
TEST(HostileMount, FolderChangedWhileItIsListedShowsWhatEachReadSaw) {
    using Kind = FuseMount::Change::Kind;
    for (const Config& config : kConfigs) {
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
        const WalkRun run = Walk(fs.Root(), Options(config));
        ExpectWalkInvariants(run);
        EXPECT_EQ(run.scan.folders, (Strings{"moving", "moving/sub", "moving/moved"})) << config;
        if (config.workers == 0 && config.waits == ReadWaits::kBlock) {
            EXPECT_EQ(run.scan.files, (Strings{m + "a", m + "sub/g", m + "c", m + "late",
                                               m + "moved/g", m + "new"}));
            EXPECT_EQ(run.failures, std::vector<Failure>{});
        } else {
            EXPECT_EQ(run.scan.files,
                      (Strings{m + "a", m + "c", m + "late", m + "moved/g", m + "new"}))
                << config;
            EXPECT_EQ(run.failures, (std::vector<Failure>{{m + "sub/", ENOENT}})) << config;
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
    for (const unsigned workers : {0U, ReadAheadSettings{}.workers}) {
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

// A walk that yields while it waits gives up a read that never returns, of a
// subfolder or of the root, at Abort: it ends with what it had, and records
// the folder as not answered (ECANCELED). kYieldAbandonOnAbort returns while
// the read still hangs, its thread ending once the read is released; kYield
// returns only then, yielding meanwhile.
TEST(HostileMount, AbortGivesUpAHungReadOfAWalkThatYieldsWhileItWaits) {
    FuseMount fs;
    for (const char* file : {"a", "b/x", "c", "dead/y", "z"}) fs.File(file);
    if (!fs.Mount()) GTEST_SKIP() << fs.WhyNotMounted();
    const std::string r = fs.Root() + "/";
    for (const std::string hung : {"dead", ""}) {
        for (const ReadWaits waits : {ReadWaits::kYieldAbandonOnAbort, ReadWaits::kYield}) {
            for (const unsigned workers : {0U, ReadAheadSettings{}.workers}) {
                const std::string trace = "'" + hung + "', waits " +
                                          std::to_string(static_cast<int>(waits)) + ", " +
                                          std::to_string(workers) + " workers";
                fs.HangListing(hung);
                const int threadsBefore = ThreadCount();
                const int descriptorsBefore = OpenDescriptorCount();
                const auto walker = std::make_shared<clsDirwalk>();
                walker->ReadAhead(ReadAheadSettings{.workers = workers});
                walker->WaitForReads(waits);
                const std::string folder = hung.empty() ? r : r + hung + "/";
                bool gaveUp = false;
                int turnsAfter = 0;
                walker->SetYieldHook([&] {
                    const std::optional<ReadWait> wait = walker->WaitingForRead();
                    if (!gaveUp && wait && wait->folder == folder &&
                        fs.WaitUntilHanging(hung, 10s)) {
                        walker->Abort();
                        gaveUp = true;
                    } else if (gaveUp && ++turnsAfter == 3) {
                        // kYield waits for the thread in the read.
                        fs.Release(hung);
                    }
                });
                walker->ScanFolder(fs.Root());
                ASSERT_TRUE(gaveUp) << trace;
                if (waits == ReadWaits::kYieldAbandonOnAbort) {
                    EXPECT_LT(turnsAfter, 3) << trace;  // not released
                    EXPECT_GT(ThreadCount(), threadsBefore) << trace;
                    fs.Release(hung);
                } else {
                    EXPECT_GE(turnsAfter, 3) << trace;
                }
                const bool root = hung.empty();
                EXPECT_EQ(Items(*walker->Folders()), root ? Strings{} : Strings({"b", "dead"}))
                    << trace;
                EXPECT_EQ(Items(*walker->Files()),
                          root ? Strings{} : Strings({r + "a", r + "b/x", r + "c"}))
                    << trace;
                EXPECT_EQ(walker->FolderCount(), root ? 0 : 2) << trace;
                ASSERT_EQ(walker->ReadFailures()->size(), 1U) << trace;
                EXPECT_EQ(walker->ReadFailures()->front().path, folder) << trace;
                EXPECT_EQ(walker->ReadFailures()->front().error, std::errc::operation_canceled)
                    << trace;
                EXPECT_EQ(ThreadCountAfter(threadsBefore), threadsBefore) << trace;
                EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore) << trace;
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::testing
