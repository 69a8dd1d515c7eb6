// SPDX-License-Identifier: MIT
#pragma once
// The one definition of the scanner's test accessor (clsDirwalk befriends it).
// Every test file that needs it includes this header: a second, different
// definition in another file of the same test program would break the
// one-definition rule silently.

#include <quorvel/clsDirwalk.h>

namespace quorvel {

struct DirwalkTestAccess {
    static void SetFileCount(clsDirwalk& walker, Counter n) { walker.nFileCount = n; }
    static void SetFolderCount(clsDirwalk& walker, Counter n) { walker.nFolderCount = n; }
    static const std::string& RootPath(const clsDirwalk& walker) { return walker.sRootPath; }
    static Flag AbortFlag(const clsDirwalk& walker) { return walker.bAbort; }
};

}  // namespace quorvel
