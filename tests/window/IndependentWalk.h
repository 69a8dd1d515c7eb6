#pragma once
// What a scan of a real folder must find, worked out with plain recursive
// opendir/readdir and nothing of the scanner: names as bytes, entries in the
// order the file system lists them, a folder entered as soon as it is met.
// Links are not followed (the trees it is used on hold none).

#include <set>
#include <string>
#include <vector>

namespace quorvel::testing {

struct IndependentWalk {
    // Relative paths ("a", "a/b"), parents before their subfolders.
    std::vector<std::string> foldersPreOrder;
    // The same folders, each after everything below it: the order in which
    // a walk completes and numbers them.
    std::vector<std::string> foldersPostOrder;
    // Full paths, in the order met.
    std::vector<std::string> files;
    // Every entry in the order met: true for a folder, false for a file.
    std::vector<bool> folderAt;
};

// `root` is absolute, without a trailing '/'. `recursive` false: only the
// root's own entries. Folders in `unreadable` (absolute paths) are listed
// but not entered, as a walk must treat a folder it cannot open.
IndependentWalk WalkIndependently(const std::string& root, bool recursive,
                                  const std::set<std::string>& unreadable = {});

}  // namespace quorvel::testing
