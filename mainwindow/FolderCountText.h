// SPDX-License-Identifier: MIT
#pragma once
// What lblFolderCount shows once a scan has ended.
//
// A folder that could not be read is still listed and counted, but its
// contents are missing; so are those of a folder that did not answer before
// the scan was stopped, and of a link that the walk did not enter
// (it leads back up its own path, or to a folder already listed through an
// earlier link). A bare count would make either look like an empty folder.
// So the count carries a mark when the scan met such folders, and the
// details (which folders, and why) go where they do not move any control:
// the label's tooltip and its accessible description.

#include <QString>
#include <cstddef>
#include <string_view>
#include <vector>

#include <quorvel/BasicTypes.h>
#include <quorvel/clsDirwalk.h>

namespace quorvel {

struct FolderCountText {
    // "12", "12 (3 unreadable)", "12 (5 not entered)" when links were not
    // entered (counted together with the unreadable folders), "12 (1 not
    // answered)" for a folder whose read had not returned when the scan was
    // stopped ("12 (3 unreadable, 1 not answered)" with both), or
    // "0 (could not read)" when the chosen folder itself gave nothing.
    QString caption;
    // The same numbers without the words ("12 (5)"), for a label too narrow
    // for the caption: the widest counts there can be need it at 8 pt.
    QString compactCaption;
    // Plain text: the folders that did not answer, the unreadable ones,
    // then the links not entered, each part after a heading, one folder a
    // line; empty when there are none.
    QString details;
};

// Folders named in the details, both kinds together; the rest are summed up.
inline constexpr std::size_t kListedFolders = 20;

// `sRootPath` is the scanned folder as handed to ScanFolder (a trailing '/'
// or not); `failures` and `links` are the scanner's ReadFailures() and
// LinksNotEntered(), null before a scan.
FolderCountText DescribeFolderCount(Counter nFolderCount, Counter nFileCount,
                                    std::string_view sRootPath,
                                    const std::vector<ReadFailure>* failures,
                                    const std::vector<LinkNotEntered>* links);

}  // namespace quorvel
