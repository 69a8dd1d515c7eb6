// SPDX-License-Identifier: MIT
#pragma once
// clsDirwalk: walks one folder and, by default, every folder below it.
//
// It reports what it finds three ways: two ordered lists of paths (Folders,
// Files), two counters, and, when Events is set, one EntryFound event per
// entry other than "." and "..", raised synchronously during the walk.
//
// Orders: the folder list is in pre-order (a folder before everything below
// it); folder numbers and folder events are in post-order (a folder is counted
// and reported after its whole subtree). Within a folder, entries come in the
// file system's order, unsorted.
//
// Paths: the separator is the platform's, kPathSeparator ('/', or '\\' on
// Windows), and the root always ends in it. Folder-list items are paths
// relative to the root (no trailing separator), or, with FullPath set, full
// paths ending in one. File-list items are always full paths. The root's text
// is kept as given; only a separator is added at its end.
//
// Reading the lists: each keeps a path as its folder and its name, and builds
// it when read, so an item is not a std::string_view. All of a list, in
// order: Files()->ForEach([](std::string_view path) { ... }), the view valid
// during the call; one item: (*Files())[i].String(). Collection.h has the
// rest (PartOf: an item's folder and name).
//
// Names: on Linux, raw bytes throughout: nothing is decoded or dropped. On
// Windows, names are UTF-16 and become UTF-8, an unpaired surrogate kept as
// its own three bytes (WTF-8), so that no name is lost or altered; the root's
// path is taken in the same encoding. An empty root is the file system's root
// on Linux, the current drive's root on Windows.
//
// Links: a link that leads to a folder is walked like any folder, except one
// that leads back to a folder already on the current path (the same folder:
// device and inode, or on Windows volume serial number and file index), or to
// a folder this scan has already entered through a link: that one is listed,
// counted and reported but not entered. The first rule stops loops; the second
// stops link graphs such as /sys (or a link to "/" in a home folder), whose
// paths multiply without ever looping, from exhausting memory: without it,
// /sys alone yields tens of millions of paths a minute. On Windows the links
// are junctions and symbolic links to folders (reparse points marked as
// folders). LinksNotEntered() records each such link with the rule, so that
// it need not pass for an empty folder.
//
// Read-ahead follows the reader interface (DirectoryReader.h), whatever the
// platform.
//
// Re-entry: after every entry the walk calls the yield hook (if one is set),
// during which the owner's event loop may run anything, including Abort, the
// setters, the readers, or dropping the owner's reference (a running
// ScanFolder keeps its own object alive). Calling ScanFolder on an object
// whose walk is still running throws std::logic_error and changes nothing:
// the running walk's lists, counters and root stay as they are.
//
// Read-ahead: off by default. ReadAhead(ReadAheadSettings{}) turns it on
// for the following scans: worker threads list folders ahead of the walk
// (ReadAheadReader wraps the scanner's reader for each scan), and the walk
// takes their listings in its own order. Lists, counts, events and their
// order, read failures and link decisions stay exactly those of the serial
// walk on a tree that does not change meanwhile; only the time differs.
// Events, yields, flags and Abort stay on the caller's thread. Workers read
// only for a scan that starts with SubFolders set; Abort, or SubFolders
// cleared during the walk, ends the read-ahead (what was read is dropped),
// and ScanFolder returns only when no worker is left (but see
// kYieldAbandonOnAbort below). The reader must allow concurrent OpenRoot
// calls (the system reader does); a test that changes the tree during the
// walk keeps read-ahead off. On Windows the scanner
// always walks serially: its workers build paths the POSIX way, so there
// ReadAhead() is kept but not used (kReadAheadAvailable is false).
//
// Waiting for the file system: by default (ReadWaits::kBlock) the walk
// reads on the caller's thread (and its read-ahead workers), and a read that
// never returns, on a dead network share or a stalled FUSE mount, holds
// ScanFolder, and the caller's thread, until it does. Where the caller's
// thread must not wait so (a user interface), WaitForReads(kYield...) makes
// every read of a scan on worker threads, the root's included: while the
// walk waits for one, it calls the yield hook every few milliseconds, and
// WaitingForRead() tells which folder it waits for and since when. An Abort
// during such a wait gives the read up: the walk ends as after any Abort,
// and the folder is recorded in ReadFailures() with
// std::errc::operation_canceled (ECANCELED). What happens to the thread in
// that read is the caller's choice:
//  - kYield: ScanFolder still returns only once no thread of the scan is
//    left, yielding while it waits: the guarantee of kBlock, with a caller
//    that stays responsive and is told what it waits for.
//  - kYieldAbandonOnAbort: ScanFolder returns at once. The thread is left to
//    finish its read on its own; it owns what it holds and frees it when the
//    read returns, and nothing it reads reaches this scanner or a later scan.
//    A process may end with such a thread still in its read.
// Either way the walk, its lists, counts, events and their order are those
// of kBlock on a tree that does not change meanwhile; only the walk's waits
// differ (entries are handed over a batch at a time, so a folder that
// changes while it is listed may show as it was a moment earlier).
//
// Errors: a count that would pass 2147483647 throws OverflowError at that
// step; the walk ends on every level, every handle is released, and the
// counter keeps 2147483647. A folder that cannot be read is not an error: its
// contents are missing, and ReadFailures() records it with the reason.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "BasicTypes.h"
#include "Collection.h"
#include "DirectoryReader.h"
#include "EventSource.h"
#include "PathSeparator.h"
#include "ReadAheadSettings.h"

namespace quorvel {

class ReadAheadReader;

// Parameters of EntryFound. The views are valid only during the call.
using EntryFoundHandler = std::function<void(std::string_view Name, std::string_view RelativePath,
                                             std::string_view FullPath, Flag IsFolder,
                                             Counter FileCount, Counter FolderCount)>;

// A folder whose listing failed, and why, as its reader reported it.
struct ReadFailure {
    std::string path;
    std::error_code error;
};

// A link to a folder that the walk listed, counted and reported but did not
// enter, because of one of the link rules.
struct LinkNotEntered {
    enum class Rule {
        // It leads back to a folder on its own path: entering it would loop.
        LeadsToOwnPath,
        // This scan already entered its folder through an earlier link.
        AlreadyEntered,
    };
    // The link, as a full path ending in the separator.
    std::string path;
    Rule rule;
    // Also a full path ending in the separator. LeadsToOwnPath: the folder
    // on the path that it leads to. AlreadyEntered: the earlier link, under
    // which the folder's contents are listed.
    std::string target;
    bool operator==(const LinkNotEntered&) const = default;
};

// How a scan waits for the file system; see the top of this file.
enum class ReadWaits {
    kBlock,
    kYield,
    kYieldAbandonOnAbort,
};

// The read a walk waits for (ReadWaits other than kBlock).
struct ReadWait {
    // The folder, as a full path ending in the separator.
    std::string folder;
    std::chrono::steady_clock::time_point since;
};

class clsDirwalk : public std::enable_shared_from_this<clsDirwalk> {
  public:
    explicit clsDirwalk(std::shared_ptr<DirectoryReader> directoryReader = SystemDirectoryReader());
    clsDirwalk(const clsDirwalk&) = delete;
    clsDirwalk& operator=(const clsDirwalk&) = delete;

    // The lists themselves, shared, not copies; null before the first scan.
    // Every ScanFolder makes a new pair: a caller holding the old pair keeps
    // it unchanged. How to read them: Collection.h.
    std::shared_ptr<const Collection> Folders() const { return colFolders; }
    std::shared_ptr<const Collection> Files() const { return colFiles; }
    // Folder numbers: the folder counted as number n is item
    // (*FoldersByNumber())[n - 1] of Folders(). Folders are counted after
    // their subtree, so this lists them in EntryFound's order. It holds
    // FolderCount() entries; null before the first scan, a new one every scan.
    std::shared_ptr<const std::vector<std::uint32_t>> FoldersByNumber() const {
        return colFoldersByNumber;
    }
    Counter FolderCount() const { return nFolderCount; }
    Counter FileCount() const { return nFileCount; }

    // Events and SubFolders count as set only at exactly -1; FullPath at any
    // non-zero value. The setters store what they are given. They take a
    // Flag, not a bool: `true` would become 1, which Events and SubFolders
    // take for false, so a bool argument does not compile (pass kTrue).
    Flag Events() const { return bEvents; }
    void Events(Flag bStatus) { bEvents = bStatus; }
    void Events(BoolArgument auto) = delete;
    Flag SubFolders() const { return bSubFolders; }
    void SubFolders(Flag bStatus) { bSubFolders = bStatus; }
    void SubFolders(BoolArgument auto) = delete;
    Flag FullPath() const { return bFullPath; }
    void FullPath(Flag bStatus) { bFullPath = bStatus; }
    void FullPath(BoolArgument auto) = delete;

    // Asks a running walk to stop: the current entry is finished, then each
    // open folder level is completed (counted, reported) on the way back.
    // Safe to call from any thread, say a user interface's while the walk
    // runs on a worker of its own; a request made before ScanFolder starts
    // is cleared by it, as every scan starts anew.
    void Abort() { bAbort.store(kTrue, std::memory_order_relaxed); }

    void ScanFolder(std::string sFolderPath);

    // The only event. Connect through a WithEvents<clsDirwalk> variable.
    EventSource<EntryFoundHandler> EntryFound;

    // Called after every entry other than "." and ".."; none by default. The
    // owner binds it to its event loop.
    void SetYieldHook(std::function<void()> hook);

    // Folders of the latest scan that could not be listed (the root included),
    // in the order met, each by its full path ending in the separator, the
    // reason an errno value on every platform. Null before the first scan; a
    // new list every scan.
    std::shared_ptr<const std::vector<ReadFailure>> ReadFailures() const { return colFailures; }

    // Links of the latest scan that were not entered, in the order met. A
    // list of their own beside ReadFailures(), as nothing failed: null before
    // the first scan; a new list every scan. Links are only entered with
    // SubFolders set, so without it this stays empty.
    std::shared_ptr<const std::vector<LinkNotEntered>> LinksNotEntered() const {
        return colLinksNotEntered;
    }

    bool IsScanning() const { return bScanning; }

    // Read-ahead for the scans that follow; workers 0 (the default) walks
    // serially. See the top of this file.
    void ReadAhead(ReadAheadSettings settings) { readAheadSettings = settings; }
    ReadAheadSettings ReadAhead() const { return readAheadSettings; }

    // Lists of the scans that follow kept, once large, in 2 MiB blocks that
    // Linux may back with huge pages: a program that fills long lists pays
    // far fewer page faults (transparent huge pages in "madvise" or "always"
    // mode), for at most 2 MiB more left unused at the end of each list's
    // storage and of its index. Off by default: how a program's memory is
    // paged is its own choice.
    void HugePageLists(bool on) { bHugePageLists = on; }
    bool HugePageLists() const { return bHugePageLists; }

    // How the scans that follow wait for reads; kBlock by default.
    void WaitForReads(ReadWaits how) { readWaits = how; }
    ReadWaits WaitForReads() const { return readWaits; }
    // While the walk waits for a read that has not answered within a few
    // milliseconds (not with kBlock): which, and since when. Cheap when it
    // does not wait, so a yield hook may ask every time.
    std::optional<ReadWait> WaitingForRead() const;

  private:
    friend struct DirwalkTestAccess;

    struct Level;
    class Waiter;
    void WalkFolder(DirectoryReader& source, std::string sPath);
    // The steps of the walk, one for each kind of entry and one for leaving
    // a level. The entry's name is not yet in the path buffer.
    void FoundFile(const DirEntry& entry, std::size_t folder);
    // Lists the folder `entry` of the innermost level (its index in the
    // folder list goes to `folder`), and opens it if the walk enters it:
    // then the path buffer holds its path with its separator.
    std::unique_ptr<FolderListing> FoundFolder(const DirEntry& entry, std::vector<Level>& levels,
                                               std::size_t& folder);
    // Pops the innermost level and completes its folder.
    void LeaveLevel(std::vector<Level>& levels);
    // Counts and reports the folder `folder` of the folder list.
    void CompleteFolder(std::size_t nameStart, std::size_t nameEnd, std::size_t folder);
    // Not Yield: <windows.h> makes that name a macro.
    void YieldToOwner();
    // The yield hook's call, also between the slices of a wait.
    void CallYieldHook();
    // Whether the walk enters the link `entry`, whose path is in the path
    // buffer; records it when not.
    bool EntersLink(const DirEntry& entry, std::vector<Level>& levels);
    void RecordFailure(std::string_view path, std::error_code error);

    std::shared_ptr<DirectoryReader> reader;
    ReadAheadSettings readAheadSettings{.workers = 0};
    // The current scan's read-ahead layer over `reader`, if it has one.
    std::shared_ptr<ReadAheadReader> readAhead;
    std::shared_ptr<Collection> colFolders;
    std::shared_ptr<Collection> colFiles;
    std::shared_ptr<std::vector<std::uint32_t>> colFoldersByNumber;
    std::shared_ptr<std::vector<ReadFailure>> colFailures;
    std::shared_ptr<std::vector<LinkNotEntered>> colLinksNotEntered;
    std::string sRootPath;
    // Written by Abort from any thread; nothing else is shared with it, so
    // the walk needs no ordering beyond seeing the value.
    std::atomic<Flag> bAbort = kFalse;
    Flag bEvents = kFalse;
    Flag bFullPath = kFalse;
    Flag bSubFolders = kTrue;
    Counter nFolderCount = 0;
    Counter nFileCount = 0;
    bool bScanning = false;
    bool bHugePageLists = false;
    ReadWaits readWaits = ReadWaits::kBlock;
    // The folder the walk is reading: the first readFolderLen bytes of the
    // path buffer (a separator may be missing at their end).
    std::size_t readFolderLen = 0;
    bool bWaitingForRead = false;
    std::chrono::steady_clock::time_point waitSince;
    // This scan gave up a read: nothing more is read, and the reading
    // layers' own ECANCELED failures are not recorded again.
    bool bGaveUpRead = false;
    // Link targets entered during the current scan, each with the path of the
    // link it was entered through; only links land here, so an ordinary tree
    // never pays for it.
    std::map<FolderId, std::string> linkTargetsEntered;
    std::function<void()> yieldHook;
    std::function<void()> pendingYieldHook;
    bool bInYield = false;
    bool bYieldHookPending = false;
    // The full path of the entry in hand; each open level owns a prefix of it.
    std::string sPathBuffer;
};

}  // namespace quorvel
