// SPDX-License-Identifier: MIT
#include "DirwalkProbe.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include <quorvel/WithEvents.h>

#include "CappedReader.h"

namespace quorvel::testing {

std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    return out;
}

void PrintTo(const Event& event, std::ostream* out) {
    *out << "(" << Escaped(event.name) << ", \"" << Escaped(event.relativePath) << "\", \""
         << Escaped(event.fullPath) << "\", " << (event.isFolder == kTrue ? "folder" : "file")
         << ", " << event.fileCount << ", " << event.folderCount << ")";
}

void PrintTo(const Failure& failure, std::ostream* out) {
    *out << "(" << Escaped(failure.path) << ", " << failure.error << " "
         << std::strerror(failure.error) << ")";
}

namespace {
void PrintList(const char* title, const std::vector<std::string>& items, std::ostream* out) {
    *out << "\n  " << title << " (" << items.size() << "):";
    for (const std::string& item : items) *out << "\n    " << Escaped(item);
}
}  // namespace

void PrintTo(const ScanResult& result, std::ostream* out) {
    *out << "counts: " << result.folderCount << " folders, " << result.fileCount << " files";
    PrintList("folders", result.folders, out);
    PrintList("files", result.files, out);
    *out << "\n  events (" << result.events.size() << "):";
    for (const Event& event : result.events) {
        *out << "\n    ";
        PrintTo(event, out);
    }
}

Event FileEvent(std::string name, std::string relativePath, std::string fullPath, Counter files,
                Counter folders) {
    return {std::move(name), std::move(relativePath), std::move(fullPath), kFalse, files, folders};
}

Event FolderEvent(std::string name, std::string relativePath, std::string fullPath, Counter files,
                  Counter folders) {
    return {std::move(name), std::move(relativePath), std::move(fullPath), kTrue, files, folders};
}

EntryFoundHandler RecordInto(std::vector<Event>& into) {
    return [&into](std::string_view name, std::string_view relativePath, std::string_view fullPath,
                   Flag isFolder, Counter files, Counter folders) {
        into.push_back(Event{std::string(name), std::string(relativePath), std::string(fullPath),
                             isFolder, files, folders});
    };
}

std::vector<std::string> Items(const Collection& list) {
    std::vector<std::string> items;
    list.ForEach([&items](std::string_view item) { items.emplace_back(item); });
    return items;
}

// Read one by one, and rebuilt from their parts as Collection.h describes
// them, the items must be the ones read in order; the folder numbers must
// name the folders of the folder events.
void ExpectListsReadAlike(const clsDirwalk& walker, const ScanResult& scan) {
    const Collection& folders = *walker.Folders();
    const std::string root(folders.Root());
    const auto relative = [&](std::size_t folder) {
        const std::string& item = scan.folders[folder];
        return folders.PartOf(folder).fromRoot
                   ? item.substr(root.size(), item.size() - root.size() - 1)
                   : item;
    };
    for (const Collection* list : {&folders, walker.Files().get()}) {
        const std::vector<std::string>& inOrder = list == &folders ? scan.folders : scan.files;
        ASSERT_EQ(list->size(), inOrder.size());
        for (std::size_t i = 0; i < inOrder.size(); ++i) {
            EXPECT_EQ((*list)[i].String(), inOrder[i]) << "item " << i;
            EXPECT_EQ((*list)[i].size(), inOrder[i].size()) << "item " << i;
            const Collection::Part part = list->PartOf(i);
            std::string rebuilt = part.fromRoot ? root : std::string();
            if (part.folder != Collection::kRoot) rebuilt += relative(part.folder) + kPathSeparator;
            rebuilt += part.name;
            if (list == &folders && part.fromRoot) rebuilt += kPathSeparator;
            EXPECT_EQ(rebuilt, inOrder[i]) << "item " << i << " from its parts";
        }
        // In ranges of one to five items: a range may start inside a run of
        // files that share a folder recorded only before it.
        std::vector<std::string> ranges;
        for (std::size_t first = 0, length = 1; first < inOrder.size();
             first += length, length = length % 5 + 1) {
            list->ForEach(first, first + length,
                          [&ranges](std::string_view item) { ranges.emplace_back(item); });
        }
        EXPECT_EQ(ranges, inOrder) << "read in ranges";
    }
    const std::vector<std::uint32_t>& byNumber = *walker.FoldersByNumber();
    ASSERT_EQ(byNumber.size(), static_cast<std::size_t>(walker.FolderCount()));
    for (const Event& event : scan.events) {
        if (event.isFolder != kTrue) continue;
        ASSERT_LE(event.folderCount, walker.FolderCount());
        EXPECT_EQ(relative(byNumber[static_cast<std::size_t>(event.folderCount) - 1]),
                  event.relativePath);
    }
}

ScanResult Results(const clsDirwalk& walker, std::vector<Event> events) {
    return {Items(*walker.Folders()), Items(*walker.Files()), walker.FolderCount(),
            walker.FileCount(), std::move(events)};
}

WalkRun Walk(const std::string& root, ScanOptions options) {
    WalkRun run;
    std::vector<Event> events;
    clsDirwalk* raw = nullptr;
    const EntryFoundHandler record = RecordInto(events);
    WithEvents<clsDirwalk, EntryFoundHandler> walker{
        &clsDirwalk::EntryFound,
        [&](std::string_view name, std::string_view relativePath, std::string_view fullPath,
            Flag isFolder, Counter files, Counter folders) {
            record(name, relativePath, fullPath, isFolder, files, folders);
            if (options.onEvent) options.onEvent(events.back(), *raw);
        }};
    run.descriptorsBefore = OpenDescriptorCount();
    run.threadsBefore = ThreadCount();
    const auto capped = std::make_shared<CappedReader>(std::move(options.reader), options.openCap);
    walker = std::make_shared<clsDirwalk>(capped);
    raw = walker.get().get();
    walker->Events(options.events);
    walker->SubFolders(options.subFolders);
    walker->FullPath(options.fullPath);
    walker->ReadAhead(options.readAhead);
    walker->WaitForReads(options.readWaits);
    walker->SetYieldHook([&run, &options, raw] {
        if (raw->WaitingForRead()) {
            ++run.waitTurns;
            return;
        }
        if (++run.yields == options.entryCap) {
            ADD_FAILURE() << "the walk met " << options.entryCap << " entries and was aborted";
            raw->Abort();
        }
        if (options.onYield) options.onYield(run.yields, *raw);
    });
    walker->ScanFolder(root);
    EXPECT_FALSE(capped->Exceeded())
        << "the walk opened more than " << options.openCap << " folders";
    run.scan = Results(*raw, std::move(events));
    ExpectListsReadAlike(*raw, run.scan);
    for (const ReadFailure& f : *walker->ReadFailures()) {
        EXPECT_TRUE(f.error.category() == std::generic_category()) << f.error.category().name();
        run.failures.push_back(Failure{f.path, f.error.value()});
    }
    run.linksNotEntered = *walker->LinksNotEntered();
    walker = nullptr;
    // Threads not joined close what they held before they end.
    run.threadsAfter = ThreadCountAfter(run.threadsBefore);
    run.descriptorsAfter = OpenDescriptorCount();
    return run;
}

ScanResult Scan(const std::string& root, ScanOptions options) {
    return Walk(root, std::move(options)).scan;
}

void ExpectWalkInvariants(const WalkRun& run) {
    const ScanResult& scan = run.scan;
    EXPECT_EQ(static_cast<std::size_t>(scan.folderCount), scan.folders.size());
    EXPECT_EQ(static_cast<std::size_t>(scan.fileCount), scan.files.size());
    EXPECT_EQ(static_cast<std::size_t>(run.yields), scan.folders.size() + scan.files.size());
    Counter folderNumber = 0;
    Counter fileNumber = 0;
    // Every event's full path is one root text followed by its relative path;
    // a file's folder and name join to its list item.
    std::optional<std::string_view> rootText;
    for (const Event& event : scan.events) {
        const std::string_view full = event.fullPath;
        ASSERT_TRUE(full.ends_with(event.relativePath)) << Escaped(event.fullPath);
        const std::string_view root = full.substr(0, full.size() - event.relativePath.size());
        if (!rootText) rootText = root;
        EXPECT_EQ(root, *rootText) << Escaped(event.fullPath);
        if (event.isFolder == kTrue) {
            ASSERT_EQ(event.folderCount, ++folderNumber) << Escaped(event.fullPath);
            EXPECT_TRUE(event.relativePath.ends_with(event.name)) << Escaped(event.fullPath);
        } else {
            ASSERT_EQ(event.fileCount, ++fileNumber) << Escaped(event.fullPath);
            ASSERT_LE(static_cast<std::size_t>(fileNumber), scan.files.size());
            EXPECT_EQ(event.fullPath + event.name,
                      scan.files[static_cast<std::size_t>(fileNumber) - 1]);
        }
    }
    EXPECT_EQ(folderNumber, scan.folderCount);
    EXPECT_EQ(fileNumber, scan.fileCount);
    // Relative items: a folder's parent path is listed before it.
    std::set<std::string_view> seen;
    for (const std::string& folder : scan.folders) {
        const std::size_t slash = folder.rfind(kPathSeparator);
        if (slash != std::string::npos && !folder.empty() && folder.back() != kPathSeparator) {
            EXPECT_TRUE(seen.count(std::string_view(folder).substr(0, slash)))
                << Escaped(folder) << " is listed before its parent";
        }
        seen.insert(folder);
    }
    EXPECT_EQ(run.descriptorsAfter, run.descriptorsBefore);
    EXPECT_EQ(run.threadsAfter, run.threadsBefore);
}

namespace {
#ifndef _WIN32
int EntriesIn(const char* folder) {
    DIR* dir = ::opendir(folder);
    if (!dir) return -1;
    int count = 0;
    while (const dirent* d = ::readdir(dir)) {
        if (d->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
    return count;
}
#endif
}  // namespace

int OpenDescriptorCount() {
#ifdef _WIN32
    // Handles, which is what a walk holds there (wine always says 0).
    DWORD handles = 0;
    return ::GetProcessHandleCount(::GetCurrentProcess(), &handles) ? static_cast<int>(handles)
                                                                    : -1;
#else
    return EntriesIn("/proc/self/fd") - 1;  // the descriptor of this listing itself
#endif
}

int ThreadCount() {
#ifdef _WIN32
    return 0;  // not counted there; the Linux runs check it
#else
    // ThreadSanitizer starts a thread of its own with the process's second
    // one, and keeps it: have that happen before the first count. The helper
    // that starts it may still be listed for a moment after its join (the
    // system removes a thread after waking the joiner): counted then, it
    // would make the first walk of a process seem to end a thread that it
    // never started, so wait until it has gone.
    static const bool settled = [] {
        pid_t helper = 0;
        std::thread([&helper] { helper = ::gettid(); }).join();
        const std::string task = "/proc/self/task/" + std::to_string(helper);
        for (int wait = 0; wait < 1000 && ::access(task.c_str(), F_OK) == 0; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }();
    return settled ? EntriesIn("/proc/self/task") : -1;
#endif
}

int ThreadCountAfter(int before) {
    int count = ThreadCount();
    for (int wait = 0; wait < 200 && count > before; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        count = ThreadCount();
    }
    return count;
}

}  // namespace quorvel::testing
