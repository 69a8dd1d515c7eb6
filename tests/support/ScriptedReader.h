// SPDX-License-Identifier: MIT
#pragma once
// A directory reader over a tree held in memory, for the faults a real tree
// cannot produce when the tests run as root: a folder that refuses to open
// with any errno, a read error after the k-th entry, an entry that vanishes
// between being listed and being opened, names of any bytes, links with
// chosen targets, loops included.
//
// A listing takes a snapshot of its folder's entries when it is opened (as a
// real listing reads them in one batch), so a handler may change the tree
// during a walk: later opens see the change, listings already open do not.
// The reader counts its open listings, so a test can prove that every one is
// closed on every exit path.
//
// OpenRoot opens a root, or a path below one (a name at a time, through
// folders and links), as read-ahead's workers open folders; opens may come
// from several threads at once, as long as nothing changes the tree
// meanwhile.

#include <cerrno>
#include <cstddef>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <quorvel/DirectoryReader.h>

namespace quorvel::testing {

class ScriptedReader final : public DirectoryReader {
  public:
    using FolderRef = std::size_t;
    static constexpr FolderRef kNoFolder = std::numeric_limits<FolderRef>::max();
    static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

    enum class Kind { File, Folder, Link };

    struct Entry {
        std::string name;  // raw bytes
        Kind kind = Kind::File;
        // Folder: the folder itself. Link: the folder it leads to, or
        // kNoFolder for a broken link or one to a file (listed as a file).
        FolderRef target = kNoFolder;
        // Opening this entry fails with this errno (0: it opens): for
        // example ENOENT for a folder deleted after its parent was listed.
        int openError = 0;
    };

    struct Folder {
        std::vector<Entry> entries;
        // Lists "." and ".." before the entries, as Linux does.
        bool dots = true;
        // Every open of this folder fails with this errno (0: it opens).
        int openError = 0;
        // After this many entries ("." and ".." included) the listing fails
        // with `readError` instead of returning the next entry or its end.
        std::size_t readErrorAfter = kNever;
        int readError = EIO;
    };

    ScriptedReader() = default;

    // A folder that no entry names yet (a root, or the target of links).
    FolderRef NewFolder();
    // A new folder listed as `name` in `parent`.
    FolderRef AddFolder(FolderRef parent, std::string name);
    void AddFile(FolderRef parent, std::string name);
    // A link named `name` in `parent` to `target` (kNoFolder: a broken link).
    void AddLink(FolderRef parent, std::string name, FolderRef target);
    // OpenRoot(path) opens `folder`; any other path fails with ENOENT.
    void SetRoot(std::string path, FolderRef folder);

    Folder& At(FolderRef folder) { return folders_.at(folder); }
    const Folder& At(FolderRef folder) const { return folders_.at(folder); }
    std::size_t FolderTotal() const { return folders_.size(); }
    static FolderId IdentityOf(FolderRef folder) { return {1, folder + 1}; }

    int OpenListings() const;
    int MostOpenListings() const;
    // Opens beyond `n` open listings fail with EMFILE, as at a process's
    // descriptor limit; a walk that descends without end then stops.
    void LimitOpenListings(int n) { openLimit_ = n; }

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override;

  private:
    class Listing;
    // The folder that the entry `name` of `parent` leads to, or kNoFolder
    // and the errno its open fails with in `refused`.
    FolderRef Resolve(FolderRef parent, std::string_view name, int& refused) const;
    // Opens the entry `name` of `parent`, by the parent's present entries.
    std::unique_ptr<FolderListing> OpenEntry(FolderRef parent, std::string_view name,
                                             std::error_code& error);
    // With the lock held.
    std::unique_ptr<FolderListing> Open(FolderRef folder, std::error_code& error);

    mutable std::mutex mutex_;

    std::vector<Folder> folders_;
    std::map<std::string, FolderRef> roots_;
    int open_ = 0;
    int mostOpen_ = 0;
    int openLimit_ = std::numeric_limits<int>::max();
};

}  // namespace quorvel::testing
