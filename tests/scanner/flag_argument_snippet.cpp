// SPDX-License-Identifier: MIT
// Compiled by CompileFails.cmake: as it stands it must compile; with one of
// the PASS_BOOL_* macros defined it must not, as `true` would become 1, which
// Events and SubFolders take for false.
#include <quorvel/clsDirwalk.h>

void Configure(quorvel::clsDirwalk& walk) {
    walk.Events(quorvel::kTrue);
    walk.SubFolders(quorvel::kFalse);
    walk.FullPath(-1);
    walk.Events(5);
#if defined(PASS_BOOL_TO_EVENTS)
    walk.Events(true);
#elif defined(PASS_BOOL_TO_SUBFOLDERS)
    walk.SubFolders(false);
#elif defined(PASS_BOOL_TO_FULLPATH)
    walk.FullPath(true);
#endif
}
