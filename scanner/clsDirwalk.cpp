// SPDX-License-Identifier: MIT
#include <quorvel/clsDirwalk.h>

#include <stdexcept>
#include <utility>

#include <quorvel/PathSeparator.h>

#include "ReadAheadReader.h"

namespace quorvel {

namespace {
constexpr std::string_view kSeparator(&kPathSeparator, 1);
}  // namespace

// One open folder of the walk. Its path is the first `pathLen` bytes of the
// path buffer, its separator included.
struct clsDirwalk::Level {
    std::unique_ptr<FolderListing> listing;
    std::size_t pathLen = 0;
    // Non-zero while a folder entry of this level (the buffer's first
    // `pendingEnd` bytes) waits to be counted and reported: a folder is
    // completed only after its own walk, so numbers run in post-order.
    std::size_t pendingEnd = 0;
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
    const auto growth =
        bHugePageLists ? BlockStore::Growth::kHugeWhenLarge : BlockStore::Growth::kFixed;
    colFolders = std::make_shared<Collection>(growth);
    colFiles = std::make_shared<Collection>(growth);
    colFailures = std::make_shared<std::vector<ReadFailure>>();
    colLinksNotEntered = std::make_shared<std::vector<LinkNotEntered>>();
    linkTargetsEntered.clear();
    bAbort = kFalse;
    nFolderCount = 0;
    nFileCount = 0;

    struct ScanningMark {
        bool& flag;
        explicit ScanningMark(bool& f) : flag(f) { flag = true; }
        ~ScanningMark() { flag = false; }
    } mark(bScanning);
    // Dropped after the walk has closed every listing, however it ends: its
    // workers are joined before ScanFolder returns.
    struct ReadAheadScope {
        std::shared_ptr<ReadAheadReader>& layer;
        ~ReadAheadScope() { layer.reset(); }
    } scope{readAhead};
    if (kReadAheadAvailable && readAheadSettings.workers > 0 && bSubFolders == kTrue) {
        readAhead = std::make_shared<ReadAheadReader>(reader, readAheadSettings);
    }
    WalkFolder(std::move(sFolderPath));
}

void clsDirwalk::WalkFolder(std::string sPath) {
    if (sPath.empty() || sPath.back() != kPathSeparator) sPath.push_back(kPathSeparator);
    std::error_code error;
    DirectoryReader& source = readAhead ? *readAhead : *reader;
    std::unique_ptr<FolderListing> root = source.OpenRoot(sPath, error);
    if (!root) {
        RecordFailure(sPath, error);
        return;
    }
    // Iterative rather than recursive: a chain tens of thousands of folders
    // deep must not exhaust the stack. Handles close as levels are popped, on
    // every exit, the exceptional ones included.
    std::vector<Level> levels;
    levels.push_back(Level{std::move(root), sPath.size(), 0});
    sPathBuffer = std::move(sPath);
    const std::size_t rootLen = sRootPath.size();
    DirEntry entry;

    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.pendingEnd != 0) {
            const std::size_t end = std::exchange(level.pendingEnd, 0);
            CompleteFolder(level.pathLen, end);
            if (bAbort == kTrue) {
                levels.pop_back();
                continue;
            }
        }
        if (!level.listing->Next(entry)) {
            if (const std::error_code e = level.listing->Error()) {
                RecordFailure(std::string_view(sPathBuffer).substr(0, level.pathLen), e);
            }
            levels.pop_back();
            continue;
        }
        sPathBuffer.resize(level.pathLen);

        if (entry.isFolder) {
            if (entry.name == "." || entry.name == "..") {
                if (bAbort == kTrue) levels.pop_back();
                continue;
            }
            sPathBuffer.append(entry.name);
            const std::size_t end = sPathBuffer.size();
            if (bFullPath != kFalse) {
                colFolders->Add(sPathBuffer, kSeparator);
            } else {
                // Only the leading root text is removed: an absolute root can
                // recur further down a path (/a/b/a/c under root /a/).
                colFolders->Add(std::string_view(sPathBuffer).substr(rootLen));
            }
            level.pendingEnd = end;
            if (bSubFolders == kTrue && (!entry.isLink || EntersLink(entry, levels))) {
                std::error_code childError;
                std::unique_ptr<FolderListing> child =
                    level.listing->OpenChild(entry.name, childError);
                if (child) {
                    sPathBuffer.push_back(kPathSeparator);
                    if (entry.isLink) linkTargetsEntered.emplace(entry.linkTarget, sPathBuffer);
                    levels.push_back(Level{std::move(child), end + 1, 0});  // `level` now dangles
                } else {
                    // Recorded with its trailing separator, like the root
                    // and a folder whose read fails part-way.
                    sPathBuffer.push_back(kPathSeparator);
                    RecordFailure(sPathBuffer, childError);
                    sPathBuffer.pop_back();
                }
            }
            continue;
        }

        Increment(nFileCount);
        colFiles->Add(sPathBuffer, entry.name);
        if (bEvents == kTrue) {
            const std::string_view folder(sPathBuffer);
            EntryFound.Raise(entry.name, folder.substr(rootLen), folder, kFalse, nFileCount,
                             nFolderCount);
        }
        YieldToOwner();
        if (bAbort == kTrue) levels.pop_back();
    }
}

void clsDirwalk::CompleteFolder(std::size_t nameStart, std::size_t nameEnd) {
    sPathBuffer.resize(nameEnd);
    Increment(nFolderCount);
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
        if (l.listing->Identity() == entry.linkTarget) {
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
    if (colFailures) colFailures->push_back(ReadFailure{std::string(path), error});
}

}  // namespace quorvel
