#pragma once
// An independent model of what a scan must report, written differently from
// the scanner on purpose: recursive, over opendir/readdir, telling folders
// from files with lstat/stat on full paths, and keeping the folders on the
// current path as a plain list of (device, inode). Its only shared rule is the
// loop rule: a link that leads to a folder on the current path is listed,
// counted and reported, but not entered.
//
// Full paths are used as they are, so it is meant for trees well below
// PATH_MAX; it gives up (throws) past `entryCap` entries.

#include <string>

#include "DirwalkProbe.h"

namespace quorvel::testing {

ScanResult ReferenceWalk(const std::string& root, const ScanOptions& options);

}  // namespace quorvel::testing
