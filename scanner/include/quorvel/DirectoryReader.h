// SPDX-License-Identifier: MIT
#pragma once
// The directory-reading layer: lists the entries of one folder at a time.
// The scanner walks through this interface only, so that tests can replace
// the file system by a scripted one and produce faults (a read error in the
// middle of a folder, a folder that refuses to open) that a real tree cannot
// produce when the tests run as root.
//
// A listing opens its own children, so a reader that wraps another one wraps
// its listings too and passes each call on to the listing it wraps: no layer
// ever needs to know the concrete type of another layer's listing.

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

// Identifies a folder on the system: the same device and file number is the
// same folder, whatever path or link led to it. On Windows, `device` holds
// the volume's serial number and `inode` the file index.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FolderId&) const = default;
};

struct DirEntry {
    // The name's bytes, never decoded (on Windows, its UTF-16 as WTF-8).
    // Valid until the next call of Next() on the listing that produced it.
    std::string_view name;
    // A folder, or a link that leads to one.
    bool isFolder = false;
    // The entry is a symbolic link; when it leads to a folder, `linkTarget`
    // identifies that folder.
    bool isLink = false;
    FolderId linkTarget;
};

// One folder being listed. It need not hold anything of the system's: one
// read into memory beforehand serves as well, as long as it can still open
// its children. Closing (destruction) releases whatever it holds.
class FolderListing {
  public:
    virtual ~FolderListing() = default;
    // Moves to the next entry. Returns false at the end of the listing or on a
    // read error; Error() then tells which (empty at a normal end).
    virtual bool Next(DirEntry& entry) = 0;
    virtual std::error_code Error() const = 0;
    // The folder's own identity; asked only when a link needs the ancestor
    // check, so an implementation may compute it lazily.
    virtual FolderId Identity() = 0;
    // Opens this folder's entry `name` (a folder, or a link to one) for
    // listing, while this listing goes on. Returns null and sets `error` when
    // it cannot be listed.
    virtual std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                                     std::error_code& error) = 0;
};

class DirectoryReader {
  public:
    virtual ~DirectoryReader() = default;
    // Opens the folder at `path` (absolute, or relative to the current
    // directory). Returns null and sets `error` when it cannot be listed.
    virtual std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                                    std::error_code& error) = 0;
};

// The reader over the real file system: openat + getdents64 on Linux,
// FindFirstFileExW + FindNextFileW on Windows. Its errors are errno values in
// the generic category on both.
std::shared_ptr<DirectoryReader> SystemDirectoryReader();

}  // namespace quorvel
