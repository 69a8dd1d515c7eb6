// SPDX-License-Identifier: MIT
#pragma once
// Runs clsDirwalk the way its owner does (through a WithEvents variable) and
// captures everything it reports as plain values that tests compare exactly:
// its lists, counts and events, the folders it could not read, how often it
// yielded, and whether it left a descriptor open.

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <quorvel/clsDirwalk.h>

#include "ListedOrder.h"
#include "ReferenceWalk.h"

namespace quorvel::testing {

// One EntryFound call, its views copied.
struct Event {
    std::string name;
    std::string relativePath;
    std::string fullPath;
    Flag isFolder = kFalse;
    Counter fileCount = 0;
    Counter folderCount = 0;
    bool operator==(const Event&) const = default;
};
void PrintTo(const Event& event, std::ostream* out);

// Shorthands that keep expected-event tables readable.
Event FileEvent(std::string name, std::string relativePath, std::string fullPath, Counter files,
                Counter folders);
Event FolderEvent(std::string name, std::string relativePath, std::string fullPath, Counter files,
                  Counter folders);

// Everything a finished scan reports.
struct ScanResult {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    Counter folderCount = 0;
    Counter fileCount = 0;
    std::vector<Event> events;
    bool operator==(const ScanResult&) const = default;
};
void PrintTo(const ScanResult& result, std::ostream* out);

// One ReadFailures() item as a comparable value, its error as the errno value
// it holds (Walk checks that each is one).
struct Failure {
    std::string path;
    int error = 0;
    bool operator==(const Failure&) const = default;
};
void PrintTo(const Failure& failure, std::ostream* out);

struct ScanOptions {
    Flag events = kTrue;
    Flag subFolders = kTrue;
    Flag fullPath = kFalse;
    std::shared_ptr<DirectoryReader> reader = SystemDirectoryReader();
    ReadAheadSettings readAhead{.workers = 0};
    ReadWaits readWaits = ReadWaits::kBlock;
    // A walk opening more folders or meeting more entries than this is a
    // runaway (a loop entered again and again): it is cut short and the test
    // fails instead of hanging. Folders are opened on the way down, before
    // any entry is reported, so only the first cap catches an endless descent.
    int openCap = 5'000;
    int entryCap = 200'000;
    // Run inside the walk, as the owner's code would: after each event was
    // recorded, and at each yield with the number of yields so far.
    std::function<void(const Event&, clsDirwalk&)> onEvent = nullptr;
    std::function<void(int yields, clsDirwalk&)> onYield = nullptr;
};

// A finished walk: what it reported, and what it cost.
struct WalkRun {
    ScanResult scan;
    std::vector<Failure> failures;
    std::vector<LinkNotEntered> linksNotEntered;
    int yields = 0;  // after entries; not those while the walk waited
    int waitTurns = 0;
    int descriptorsBefore = 0;
    int descriptorsAfter = 0;  // after the scanner was destroyed, and its threads ended
    int threadsBefore = 0;
    int threadsAfter = 0;  // read-ahead workers and the walk's reading thread included
};

// A handler that appends every event it receives to `into`.
EntryFoundHandler RecordInto(std::vector<Event>& into);

std::vector<std::string> Items(const Collection& list);

// The lists and counts `walker` holds now, with the events recorded so far.
ScanResult Results(const clsDirwalk& walker, std::vector<Event> events);

// A fresh scanner, connected through a WithEvents variable, run to its end
// (or to a cap) and destroyed. Scan keeps only what it reported.
WalkRun Walk(const std::string& root, ScanOptions options = {});
ScanResult Scan(const std::string& root, ScanOptions options = {});

// What a scan with `options` must report, by the reference walk (no reader,
// hooks or open cap: it walks the real tree), when the folders `unreadable`
// (full paths, no trailing '/') cannot be opened. Not on Windows.
ScanResult ReferenceScan(const std::string& root, const ScanOptions& options,
                         std::set<std::string> unreadable = {});

// The invariants every walk keeps, whatever the tree: counts equal list
// sizes and event counts, folder numbers run 1, 2, ... in event order, event
// paths agree with each other and with the file list, the folder list is in
// pre-order (each folder after its parent), and no descriptor is left open
// and no thread left running.
void ExpectWalkInvariants(const WalkRun& run);

// Open descriptors and running threads of this process, to show a scan
// leaks none.
int OpenDescriptorCount();
int ThreadCount();
// The thread count once threads that were joined have left: the system
// removes a thread a moment after a join returns, so a count taken at once
// may still see it. Waits while the count exceeds `before`, up to a second;
// a thread still running stays counted.
int ThreadCountAfter(int before);

// The bytes of `text`, with anything unprintable as \xNN.
std::string Escaped(std::string_view text);

}  // namespace quorvel::testing
