// SPDX-License-Identifier: MIT
// What a walk of a real tree must report, by the reference walk (POSIX only).

#include "DirwalkProbe.h"

namespace quorvel::testing {

ScanResult ReferenceScan(const std::string& root, const ScanOptions& options,
                         std::set<std::string> unreadable) {
    ScanResult result;
    const bool report = options.events == kTrue;
    for (const ReferenceStep& step : ReferenceWalk(root, {.enter = options.subFolders == kTrue,
                                                         .unreadable = std::move(unreadable),
                                                         .entryCap = options.entryCap})) {
        switch (step.kind) {
            case ReferenceStep::Kind::File:
                result.files.push_back(step.folder + step.name);
                ++result.fileCount;
                if (report) {
                    result.events.push_back(FileEvent(step.name, step.relative, step.folder,
                                                      result.fileCount, result.folderCount));
                }
                break;
            case ReferenceStep::Kind::Folder:
                result.folders.push_back(options.fullPath != kFalse ? step.folder + step.name + "/"
                                                                    : step.relative);
                break;
            case ReferenceStep::Kind::FolderDone:
                ++result.folderCount;
                if (report) {
                    result.events.push_back(FolderEvent(step.name, step.relative,
                                                        step.folder + step.name, result.fileCount,
                                                        result.folderCount));
                }
                break;
        }
    }
    return result;
}

}  // namespace quorvel::testing
