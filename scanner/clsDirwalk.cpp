// SPDX-License-Identifier: MIT
#include <quorvel/clsDirwalk.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <quorvel/PathSeparator.h>

#include "OffThreadReader.h"
#include "ReadAheadReader.h"
#include "ReadWaiter.h"
#include "ThreadTally.h"

namespace quorvel {

namespace {
std::error_code GivenUp() {
    return std::make_error_code(std::errc::operation_canceled);
}
}  // namespace

// One open folder of the walk. Its path is the first `pathLen` bytes of the
// path buffer, its separator included; below the root, the path without its
// separator is that of the folder entry the walk completes (counts and
// reports) once it leaves the level, so that numbers run in post-order.
struct clsDirwalk::Level {
    std::unique_ptr<FolderListing> listing;
    std::size_t pathLen = 0;
    // This folder's index in the folder list (kRoot for the root).
    std::size_t folder = Collection::kRoot;
};

// The walk's side of a wait for a read made on another thread: the owner's
// turns between the slices, and an Abort gives the read up.
class clsDirwalk::Waiter final : public ReadWaiter {
  public:
    explicit Waiter(clsDirwalk& walk) : walk_(walk) {}

    bool StillWaiting(Clock::time_point since) override {
        if (!walk_.bWaitingForRead) {
            walk_.bWaitingForRead = true;
            walk_.waitSince = since;
        }
        walk_.CallYieldHook();
        if (walk_.bAbort != kTrue) return true;
        walk_.bGaveUpRead = true;
        if (walk_.colFailures) {
            std::string folder = walk_.sPathBuffer.substr(0, walk_.readFolderLen);
            if (folder.empty() || folder.back() != kPathSeparator) folder.push_back(kPathSeparator);
            walk_.colFailures->push_back(ReadFailure{std::move(folder), GivenUp()});
        }
        return false;
    }
    void WaitEnded() override { walk_.bWaitingForRead = false; }
    bool GaveUp() const override { return walk_.bGaveUpRead; }

  private:
    clsDirwalk& walk_;
};

clsDirwalk::clsDirwalk(std::shared_ptr<DirectoryReader> directoryReader)
    : reader(std::move(directoryReader)) {}

void clsDirwalk::SetYieldHook(std::function<void()> hook) {
    // Replacing the hook from inside itself would destroy the running
    // function object; defer that until it has returned.
    if (bInYield) {
        pendingYieldHook = std::move(hook);
        bYieldHookPending = true;
    } else {
        yieldHook = std::move(hook);
    }
}

void clsDirwalk::ScanFolder(std::string sFolderPath) {
    if (bScanning) {
        throw std::logic_error(
            "clsDirwalk::ScanFolder: this scanner is already walking; use a new clsDirwalk");
    }
    // The owner may drop its reference during a yield; the walk must not
    // lose its object under it.
    const std::shared_ptr<clsDirwalk> keepAlive = weak_from_this().lock();

    if (sFolderPath.empty() || sFolderPath.back() != kPathSeparator) {
        sFolderPath.push_back(kPathSeparator);
    }
    sRootPath = sFolderPath;
    colFolders = Collection::NewFolderList(sRootPath, bHugePageLists);
    colFiles = Collection::NewFileList(*colFolders, bHugePageLists);
    colFoldersByNumber = std::make_shared<std::vector<std::uint32_t>>();
    colFailures = std::make_shared<std::vector<ReadFailure>>();
    colLinksNotEntered = std::make_shared<std::vector<LinkNotEntered>>();
    linkTargetsEntered.clear();
    bAbort = kFalse;
    nFolderCount = 0;
    nFileCount = 0;
    bGaveUpRead = false;
    bWaitingForRead = false;
    readFolderLen = 0;

    struct ScanningMark {
        bool& flag;
        explicit ScanningMark(bool& f) : flag(f) { flag = true; }
        ~ScanningMark() { flag = false; }
    } mark(bScanning);
    Waiter waiter(*this);
    // As set when the scan starts: a hook may change the setting meanwhile.
    const ReadWaits waits = readWaits;
    const std::shared_ptr<ThreadTally> tally =
        waits != ReadWaits::kBlock ? std::make_shared<ThreadTally>() : nullptr;
    try {
        // Dropped after the walk has closed every listing, however it ends:
        // with kBlock, its workers are joined before ScanFolder returns.
        struct ReadAheadScope {
            std::shared_ptr<ReadAheadReader>& layer;
            ~ReadAheadScope() { layer.reset(); }
        } scope{readAhead};
        std::shared_ptr<DirectoryReader> offThread;
        if (tally) offThread = std::make_shared<OffThreadReader>(reader, waiter, tally);
        if (kReadAheadAvailable && readAheadSettings.workers > 0 && bSubFolders == kTrue) {
            readAhead = std::make_shared<ReadAheadReader>(
                reader, readAheadSettings,
                tally ? ReadAheadWalkSide{&waiter, offThread, tally} : ReadAheadWalkSide{});
        }
        DirectoryReader& source = readAhead ? *readAhead : offThread ? *offThread : *reader;
        WalkFolder(source, std::move(sFolderPath));
    } catch (...) {
        // No turns for the owner while an error is on its way out.
        if (waits == ReadWaits::kYield) {
            while (!tally->WaitUntilNone(std::chrono::hours(1))) {
            }
        }
        throw;
    }
    if (waits == ReadWaits::kYield) {
        while (!tally->WaitUntilNone(ReadWaiter::kSlice)) CallYieldHook();
    }
}

std::optional<ReadWait> clsDirwalk::WaitingForRead() const {
    if (!bWaitingForRead) return std::nullopt;
    std::string folder = sPathBuffer.substr(0, readFolderLen);
    if (folder.empty() || folder.back() != kPathSeparator) folder.push_back(kPathSeparator);
    return ReadWait{std::move(folder), waitSince};
}

void clsDirwalk::WalkFolder(DirectoryReader& source, std::string sPath) {
    if (sPath.empty() || sPath.back() != kPathSeparator) sPath.push_back(kPathSeparator);
    std::error_code error;
    sPathBuffer = std::move(sPath);
    readFolderLen = sPathBuffer.size();
    std::unique_ptr<FolderListing> root = source.OpenRoot(sPathBuffer, error);
    if (!root) {
        RecordFailure(sPathBuffer, error);
        return;
    }
    // Iterative rather than recursive: a chain tens of thousands of folders
    // deep must not exhaust the stack. Handles close as levels are popped, on
    // every exit, the exceptional ones included.
    std::vector<Level> levels;
    levels.push_back(Level{std::move(root), sPathBuffer.size(), Collection::kRoot});
    DirEntry entry;

    while (!levels.empty()) {
        // The one place Abort acts: the entry in hand is finished, and from
        // here on each open level is left, its folder completed on the way
        // back.
        if (bAbort == kTrue) {
            LeaveLevel(levels);
            continue;
        }
        Level& level = levels.back();
        readFolderLen = level.pathLen;
        if (!level.listing->Next(entry)) {
            if (const std::error_code e = level.listing->Error()) {
                RecordFailure(std::string_view(sPathBuffer).substr(0, level.pathLen), e);
            }
            LeaveLevel(levels);
            continue;
        }
        sPathBuffer.resize(level.pathLen);
        if (!entry.isFolder) {
            FoundFile(entry, level.folder);
        } else if (entry.name != "." && entry.name != "..") {
            std::size_t folder = Collection::kRoot;
            std::unique_ptr<FolderListing> child = FoundFolder(entry, levels, folder);
            if (child) {
                levels.push_back(Level{std::move(child), sPathBuffer.size(), folder});
            } else {
                CompleteFolder(level.pathLen, sPathBuffer.size(), folder);
            }
        }
    }
}

void clsDirwalk::FoundFile(const DirEntry& entry, std::size_t folder) {
    Increment(nFileCount);
    colFiles->AddFile(folder, entry.name);
    if (bEvents == kTrue) {
        const std::string_view folderPath(sPathBuffer);
        EntryFound.Raise(entry.name, folderPath.substr(sRootPath.size()), folderPath, kFalse,
                         nFileCount, nFolderCount);
    }
    YieldToOwner();
}

std::unique_ptr<FolderListing> clsDirwalk::FoundFolder(const DirEntry& entry,
                                                       std::vector<Level>& levels,
                                                       std::size_t& folder) {
    sPathBuffer.append(entry.name);
    // Kept as the parent and the name: the relative form holds only what
    // follows the root, even where the root's text recurs further down a
    // path (/a/b/a/c under root /a/).
    folder = colFolders->AddFolder(levels.back().folder, entry.name, bFullPath != kFalse);
    if (bSubFolders != kTrue || (entry.isLink && !EntersLink(entry, levels))) return nullptr;
    std::error_code childError;
    readFolderLen = sPathBuffer.size();
    std::unique_ptr<FolderListing> child = levels.back().listing->OpenChild(entry.name, childError);
    // Recorded with its trailing separator, like the root and a folder whose
    // read fails part-way.
    sPathBuffer.push_back(kPathSeparator);
    if (!child) {
        RecordFailure(sPathBuffer, childError);
        sPathBuffer.pop_back();
        return nullptr;
    }
    if (entry.isLink) linkTargetsEntered.emplace(entry.linkTarget, sPathBuffer);
    return child;
}

void clsDirwalk::LeaveLevel(std::vector<Level>& levels) {
    const std::size_t folderEnd = levels.back().pathLen - 1;
    const std::size_t folder = levels.back().folder;
    levels.pop_back();  // its listing closes before its folder is reported
    if (!levels.empty()) CompleteFolder(levels.back().pathLen, folderEnd, folder);
}

void clsDirwalk::CompleteFolder(std::size_t nameStart, std::size_t nameEnd, std::size_t folder) {
    sPathBuffer.resize(nameEnd);
    // Room first, so that a number is never counted without its entry here.
    std::vector<std::uint32_t>& byNumber = *colFoldersByNumber;
    if (byNumber.size() == byNumber.capacity())
        byNumber.reserve(std::max<std::size_t>(64, byNumber.size() * 2));
    Increment(nFolderCount);
    byNumber.push_back(static_cast<std::uint32_t>(folder));
    if (bEvents == kTrue) {
        const std::string_view full(sPathBuffer);
        EntryFound.Raise(full.substr(nameStart), full.substr(sRootPath.size()), full, kTrue,
                         nFileCount, nFolderCount);
    }
    YieldToOwner();
}

void clsDirwalk::YieldToOwner() {
    // Set by the event just raised or during the previous yield: from here on
    // the walk enters no folder that it has not entered yet.
    if (readAhead && (bAbort == kTrue || bSubFolders != kTrue)) readAhead->Stop();
    CallYieldHook();
}

void clsDirwalk::CallYieldHook() {
    if (!yieldHook) return;
    bInYield = true;
    struct Reset {
        clsDirwalk& self;
        ~Reset() {
            self.bInYield = false;
            if (self.bYieldHookPending) {
                self.bYieldHookPending = false;
                self.yieldHook = std::move(self.pendingYieldHook);
            }
        }
    } reset{*this};
    yieldHook();
}

bool clsDirwalk::EntersLink(const DirEntry& entry, std::vector<Level>& levels) {
    const auto refuse = [&](LinkNotEntered::Rule rule, std::string target) {
        colLinksNotEntered->push_back(
            LinkNotEntered{sPathBuffer + kPathSeparator, rule, std::move(target)});
        return false;
    };
    for (Level& l : levels) {
        readFolderLen = l.pathLen;
        const FolderId identity = l.listing->Identity();
        // Given up: the walk is ending, and enters nothing more.
        if (bGaveUpRead) return false;
        if (identity == entry.linkTarget) {
            return refuse(LinkNotEntered::Rule::LeadsToOwnPath, sPathBuffer.substr(0, l.pathLen));
        }
    }
    const auto entered = linkTargetsEntered.find(entry.linkTarget);
    if (entered != linkTargetsEntered.end()) {
        return refuse(LinkNotEntered::Rule::AlreadyEntered, entered->second);
    }
    return true;
}

void clsDirwalk::RecordFailure(std::string_view path, std::error_code error) {
    // The read given up was recorded when it was; what the layers refuse
    // after it is no failure of those folders.
    if (bGaveUpRead && error == std::errc::operation_canceled) return;
    if (colFailures) colFailures->push_back(ReadFailure{std::string(path), error});
}

}  // namespace quorvel
