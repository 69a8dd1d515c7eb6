// SPDX-License-Identifier: MIT
#pragma once
// The walk's side of read-ahead: one folder as the walk lists it.
//
// Its entries come from memory: a listing a worker read ahead, or one this
// listing read itself when it was opened (the inner reader's own listing,
// read to its end, or as far as the memory cap allows and streamed from there
// on). Either way its subfolders are handed to the workers before the walk
// gets its first entry.
//
// A folder a worker did not read, or read and then dropped, is opened here:
// by path when a worker read its parent (which then holds no descriptor),
// and otherwise, or when that fails, through the inner reader's listing of
// its parent, as the serial walk opens it: what fails, fails the same way.
// A folder a worker read holds no descriptor; when one of its children must
// be opened here after all, the folders above it are opened again, one name
// at a time from the nearest one still open, and each must list exactly what
// the worker listed there (a folder changed, renamed or replaced since is
// taken for gone).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <quorvel/DirectoryReader.h>

#include "ListingSnapshot.h"
#include "ReadAheadQueue.h"

namespace quorvel {

class ReadAheadListing final : public FolderListing {
  public:
    // Opens the root at `path` through the queue's inner reader. `fullPath`
    // is the same folder as an absolute path ending in '/', for the workers'
    // opens; empty: nothing below it is read ahead.
    static std::unique_ptr<FolderListing> OpenRoot(const std::shared_ptr<ReadAheadQueue>& queue,
                                                   const std::string& path, std::string fullPath,
                                                   std::error_code& error);
    ~ReadAheadListing() override;

    bool Next(DirEntry& entry) override;
    std::error_code Error() const override;
    FolderId Identity() override;
    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override;

    // A folder of the walk, and the inner listing open on it, if any.
    struct Place;

    ReadAheadListing(std::shared_ptr<ReadAheadQueue> queue, std::shared_ptr<Place> place,
                     std::string key, std::string fullPath,
                     std::unique_ptr<ListingSnapshot> snapshot);

  private:
    // A listing over `place`'s inner listing, read into memory first.
    static std::unique_ptr<FolderListing> ReadHere(const std::shared_ptr<ReadAheadQueue>& queue,
                                                   std::shared_ptr<Place> place, std::string key,
                                                   std::string fullPath);
    // The ways OpenChild opens a child, in the order it tries them: the
    // listing a worker read (`key` is moved from when there is one), by
    // path, through this folder's inner listing, and that again once the
    // workers have let go of their descriptors.
    std::unique_ptr<FolderListing> TakeReadAhead(std::string& key, std::string_view name);
    std::unique_ptr<FolderListing> OpenByPath(const std::string& fullPath);
    std::unique_ptr<FolderListing> OpenThroughParent(std::string_view name, std::error_code& error);
    std::unique_ptr<FolderListing> OpenAfterShortage(std::string_view name, std::error_code& error);
    // This folder's inner listing, opened again if need be; null on failure.
    FolderListing* Reach(std::error_code& error);

    std::shared_ptr<ReadAheadQueue> queue_;
    std::shared_ptr<Place> place_;
    std::string key_;
    std::string fullPath_;
    std::unique_ptr<ListingSnapshot> snapshot_;
    std::size_t charged_ = 0;
    std::size_t offset_ = 0;
    std::uint32_t index_ = 0;  // entries returned so far
    // The entry the memory cap did not let into the snapshot; it comes
    // between the snapshot's last entry and the rest of the inner listing.
    std::string heldOverName_;
    DirEntry heldOver_;
    bool heldOverPending_ = false;
};

}  // namespace quorvel
