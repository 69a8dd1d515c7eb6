#pragma once
// What lblFolderCount shows once a scan has ended.
//
// A folder that could not be read is still listed and counted, but its
// contents are missing: a bare count would make it look like an empty
// folder. So the count carries a mark when the scan met such folders, and the
// details (which folders, and why) go where they do not move any control:
// the label's tooltip and its accessible description.

#include <QString>
#include <cstddef>
#include <string_view>
#include <vector>

#include "BasicTypes.h"
#include "clsDirwalk.h"

namespace quorvel {

struct FolderCountText {
    // "12", "12 (3 unreadable)", or "0 (could not read)" when the chosen
    // folder itself gave nothing.
    QString caption;
    // Plain text, one folder per line after a heading; empty when every
    // folder could be read.
    QString details;
};

// Folders named in the details; the rest are summed up in one line.
inline constexpr std::size_t kListedReadFailures = 20;

// `sRootPath` is the scanned folder as handed to ScanFolder (a trailing '/'
// or not); `failures` is the scanner's ReadFailures(), null before a scan.
FolderCountText DescribeFolderCount(Counter nFolderCount, Counter nFileCount,
                                    std::string_view sRootPath,
                                    const std::vector<ReadFailure>* failures);

}  // namespace quorvel
