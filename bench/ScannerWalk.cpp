// SPDX-License-Identifier: MIT
// quorvel-bench-scanner [--events] [--read-ahead N] [--cap MIB] [--yielding-waits] [--digest]
// FOLDER: walks FOLDER with clsDirwalk and prints the report line (see WalkReport.h).
//
// --read-ahead N: N worker threads read ahead (0, the default, is serial);
// --cap MIB: their memory cap, in MiB (default 64); --yielding-waits: every
// read on a thread of its own, as the window reads (ReadWaits::kYield...).
//
// Without --events: Events off and no yield hook, the cheapest use.
// With --events: Events on, connected the way the window connects (through
// a WithEvents variable) to a handler that reads every argument, and a yield
// hook that counts. Both fold into a checksum that is printed, so the
// compiler cannot drop them; the counts they saw are checked against the
// scanner's own.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include <quorvel/WithEvents.h>
#include <quorvel/clsDirwalk.h>

#include "ThreadClock.h"
#include "WalkReport.h"

namespace {

using quorvel::clsDirwalk;
using quorvel::Counter;
using quorvel::EntryFoundHandler;
using quorvel::Flag;

std::uint64_t Touch(std::string_view s) {
    return s.size() + (s.empty() ? 0u : static_cast<unsigned char>(s.back()));
}

}  // namespace

int main(int argc, char** argv) {
    bool events = false;
    bool digest = false;
    bool yieldingWaits = false;
    quorvel::ReadAheadSettings readAhead{.workers = 0};
    int arg = 1;
    for (; arg < argc - 1; ++arg) {
        if (std::strcmp(argv[arg], "--events") == 0) {
            events = true;
        } else if (std::strcmp(argv[arg], "--digest") == 0) {
            digest = true;
        } else if (std::strcmp(argv[arg], "--yielding-waits") == 0) {
            yieldingWaits = true;
        } else if (std::strcmp(argv[arg], "--read-ahead") == 0 && arg + 1 < argc - 1) {
            readAhead.workers = static_cast<unsigned>(std::strtoul(argv[++arg], nullptr, 10));
        } else if (std::strcmp(argv[arg], "--cap") == 0 && arg + 1 < argc - 1) {
            readAhead.memoryCap = std::strtoull(argv[++arg], nullptr, 10) << 20;
        } else {
            break;
        }
    }
    if (arg != argc - 1 || argv[arg][0] == '-' || readAhead.workers > 64) {
        std::fprintf(stderr,
                     "usage: quorvel-bench-scanner [--events] [--read-ahead N] [--cap MIB] "
                     "[--yielding-waits] [--digest] FOLDER\n");
        return 2;
    }
    const char* folder = argv[arg];

    std::uint64_t checksum = 0;
    std::uint64_t eventCount = 0;
    std::uint64_t yieldCount = 0;
    quorvel::WithEvents<clsDirwalk, EntryFoundHandler> cDirwalk(
        &clsDirwalk::EntryFound,
        [&](std::string_view Name, std::string_view RelativePath, std::string_view FullPath,
            Flag IsFolder, Counter FileCount, Counter FolderCount) {
            ++eventCount;
            checksum += Touch(Name) + Touch(RelativePath) + Touch(FullPath) +
                        static_cast<std::uint64_t>(IsFolder & 1) +
                        static_cast<std::uint64_t>(FileCount) +
                        static_cast<std::uint64_t>(FolderCount);
        });
    cDirwalk = std::make_shared<clsDirwalk>();
    cDirwalk->ReadAhead(readAhead);
    if (yieldingWaits) cDirwalk->WaitForReads(quorvel::ReadWaits::kYieldAbandonOnAbort);
    if (events) {
        cDirwalk->Events(quorvel::kTrue);
        // The yields while the walk waits are not those after an entry.
        clsDirwalk& walker = *cDirwalk.get();
        cDirwalk->SetYieldHook([&yieldCount, &walker] {
            if (!walker.WaitingForRead()) ++yieldCount;
        });
    }

    const quorvel::bench::ThreadClock walkClock;
    const quorvel::bench::Moment start = walkClock.Now();
    cDirwalk->ScanFolder(folder);
    const quorvel::bench::Moment end = walkClock.Now();
    const double ms = quorvel::bench::MillisecondsBetween(start.wall, end.wall);

    const auto folders = static_cast<std::uint64_t>(cDirwalk->FolderCount());
    const auto files = static_cast<std::uint64_t>(cDirwalk->FileCount());
    // The lists must hold what the counters say, or the walk was wrong.
    if (cDirwalk->Folders()->size() != folders || cDirwalk->Files()->size() != files ||
        (events && (eventCount != folders + files || yieldCount != folders + files))) {
        std::fprintf(stderr, "quorvel-bench-scanner: lists, counters, events or yields disagree\n");
        return 1;
    }
    quorvel::bench::PrintWalkReport(folders, files, ms);
    // The walk's own thread, without the workers: what read-ahead cannot
    // take off it.
    std::printf(" walk_cpu_ms=%.3f", quorvel::bench::MillisecondsBetween(start.cpu, end.cpu));
    if (events) {
        std::printf(" events=%llu checksum=%llu", static_cast<unsigned long long>(eventCount),
                    static_cast<unsigned long long>(checksum));
    }
    if (digest) {
        quorvel::bench::PrintDigest(quorvel::bench::ListDigest(*cDirwalk->Folders()),
                                    quorvel::bench::ListDigest(*cDirwalk->Files()));
    }
    std::printf("\n");
    return 0;
}
