#pragma once
// The directory-reading layer: lists the entries of one folder at a time.
// The scanner walks through this interface only, so that tests can replace
// the file system by a scripted one and produce faults (a read error in the
// middle of a folder, a folder that refuses to open) that a real tree cannot
// produce when the tests run as root.

#include <sys/types.h>

#include <compare>
#include <memory>
#include <string>
#include <string_view>

namespace quorvel {

// Identifies a folder on the system: the same device and inode is the same
// folder, whatever path or link led to it.
struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FolderId&) const = default;
};

struct DirEntry {
    // Raw bytes of the name, never decoded. Valid until the next call of
    // Next() on the listing that produced it.
    std::string_view name;
    // A folder, or a link that leads to one.
    bool isFolder = false;
    // The entry is a symbolic link; when it leads to a folder, `linkTarget`
    // identifies that folder.
    bool isLink = false;
    FolderId linkTarget;
};

// One open folder being listed. Closing (destruction) releases every handle.
class FolderListing {
  public:
    virtual ~FolderListing() = default;
    // Moves to the next entry. Returns false at the end of the listing or on a
    // read error; Error() then tells which (0 at a normal end, else an errno).
    virtual bool Next(DirEntry& entry) = 0;
    virtual int Error() const = 0;
    // The folder's own identity; asked only when a link needs the ancestor
    // check, so an implementation may compute it lazily.
    virtual FolderId Identity() = 0;
};

class DirectoryReader {
  public:
    virtual ~DirectoryReader() = default;
    // Opens the folder at `path` (absolute, or relative to the current
    // directory). Returns null and sets `error` when it cannot be listed.
    virtual std::unique_ptr<FolderListing> OpenRoot(const std::string& path, int& error) = 0;
    // Opens the entry `name` of `parent`, whose full path is `fullPath`.
    // Implementations open relative to the parent's handle, so no limit on
    // path length applies; `fullPath` is there for implementations that must
    // reopen from scratch. Returns null and sets `error` on failure.
    virtual std::unique_ptr<FolderListing> OpenChild(FolderListing& parent, std::string_view name,
                                                     std::string_view fullPath, int& error) = 0;
};

// The reader over the real file system (openat + getdents64).
std::shared_ptr<DirectoryReader> SystemDirectoryReader();

}  // namespace quorvel
