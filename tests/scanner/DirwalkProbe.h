#pragma once
// Runs clsDirwalk the way its owner does (through a WithEvents variable) and
// captures everything it reports as plain values that tests compare exactly.

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "clsDirwalk.h"

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

struct ScanOptions {
    Flag events = kTrue;
    Flag subFolders = kTrue;
    Flag fullPath = kFalse;
    // A walk opening more folders or meeting more entries than this is a
    // runaway (a loop entered again and again): it is cut short and the test
    // fails instead of hanging. Folders are opened on the way down, before
    // any entry is reported, so only the first cap catches an endless descent.
    int openCap = 5'000;
    int entryCap = 200'000;
};

// A handler that appends every event it receives to `into`.
EntryFoundHandler RecordInto(std::vector<Event>& into);

std::vector<std::string> Items(const Collection& list);

// A fresh scanner, connected through a WithEvents variable, run to its end
// (or to the entry cap).
ScanResult Scan(const std::string& root, ScanOptions options = {});

// The names of `folder` (without "." and "..") in the order the system's
// reader returns them: what a test needs to predict the walk's order.
std::vector<std::string> ListedOrder(const std::string& folder);

// The system's reader with every folder's entries sorted by their bytes and
// "." and ".." put last, where they can hide the least: for tests whose
// expectations need one fixed order.
std::shared_ptr<DirectoryReader> SortedSystemReader();

// Open descriptors of this process, to show a scan leaks none.
int OpenDescriptorCount();

// The bytes of `text`, with anything unprintable as \xNN.
std::string Escaped(std::string_view text);

}  // namespace quorvel::testing
