// SPDX-License-Identifier: MIT
#pragma once
// An independent model of what a walk of a real folder meets, written
// differently from the scanner on purpose: recursive, over opendir/readdir,
// telling folders from files with lstat/stat on full paths, and keeping the
// folders on the current path as a plain list of (device, inode). Its only
// shared rule is the link rule: a link that leads to a folder on the current
// path, or to one an earlier link already led into, is met like any folder,
// but not entered.
//
// It records each step as it happens, entries in the order the file system
// lists them: an entry met, and a folder left after everything below it.
// The scanner's tests turn the steps into lists and events, the window's
// into pane lines. Full paths are used as they are, so it is meant for trees
// well below PATH_MAX; it gives up (throws) past `entryCap` entries.

#include <set>
#include <string>
#include <vector>

namespace quorvel::testing {

struct ReferenceStep {
    enum class Kind { File, Folder, FolderDone };
    Kind kind = Kind::File;
    std::string name;
    std::string folder;    // the containing folder's full path, with a trailing '/'
    std::string relative;  // File: its folder's relative path ("" or "a/b/");
                           // Folder and FolderDone: the folder's own ("a/b")
};

struct ReferenceOptions {
    bool enter = true;  // false: the root's own entries only
    // Full paths, without a trailing '/', of folders that cannot be opened:
    // met, but not entered.
    std::set<std::string> unreadable = {};
    int entryCap = 200'000;
};

std::vector<ReferenceStep> ReferenceWalk(const std::string& root,
                                         const ReferenceOptions& options = {});

}  // namespace quorvel::testing
