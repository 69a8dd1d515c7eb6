#include "HostileScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

#include "WithEvents.h"

namespace quorvel::testing {

void PrintTo(const Failure& failure, std::ostream* out) {
    *out << "(" << Escaped(failure.path) << ", " << failure.error << " "
         << std::strerror(failure.error) << ")";
}

HostileScanResult HostileScan(const std::string& root, HostileScanOptions options) {
    HostileScanResult result;
    std::vector<Event>& events = result.scan.events;
    clsDirwalk* raw = nullptr;
    WithEvents<clsDirwalk, EntryFoundHandler> walker{
        &clsDirwalk::EntryFound,
        [&events, &raw, &options](std::string_view name, std::string_view relativePath,
                                  std::string_view fullPath, Flag isFolder, Counter files,
                                  Counter folders) {
            events.push_back(Event{std::string(name), std::string(relativePath),
                                   std::string(fullPath), isFolder, files, folders});
            if (options.onEvent) options.onEvent(events.back(), *raw);
        }};
    result.descriptorsBefore = OpenDescriptorCount();
    {
        walker = std::make_shared<clsDirwalk>(options.reader);
        raw = walker.get().get();
        walker->Events(kTrue);
        walker->SubFolders(options.subFolders);
        walker->FullPath(options.fullPath);
        walker->SetYieldHook([&result, raw, cap = options.yieldCap] {
            if (++result.yields == cap) {
                ADD_FAILURE() << "the walk yielded " << cap << " times and was aborted";
                raw->Abort();
            }
        });
        walker->ScanFolder(root);
        result.scan.folders = Items(*walker->Folders());
        result.scan.files = Items(*walker->Files());
        result.scan.folderCount = walker->FolderCount();
        result.scan.fileCount = walker->FileCount();
        for (const ReadFailure& f : *walker->ReadFailures()) {
            result.failures.push_back(Failure{f.path, f.error});
        }
        walker = nullptr;
    }
    result.descriptorsAfter = OpenDescriptorCount();
    return result;
}

void ExpectWalkInvariants(const HostileScanResult& result) {
    const ScanResult& scan = result.scan;
    EXPECT_EQ(static_cast<std::size_t>(scan.folderCount), scan.folders.size());
    EXPECT_EQ(static_cast<std::size_t>(scan.fileCount), scan.files.size());
    EXPECT_EQ(static_cast<std::size_t>(result.yields), scan.folders.size() + scan.files.size());
    Counter folderNumber = 0;
    Counter fileNumber = 0;
    for (const Event& event : scan.events) {
        if (event.isFolder == kTrue) {
            ASSERT_EQ(event.folderCount, ++folderNumber) << Escaped(event.fullPath);
        } else {
            ASSERT_EQ(event.fileCount, ++fileNumber) << Escaped(event.fullPath);
        }
    }
    EXPECT_EQ(folderNumber, scan.folderCount);
    EXPECT_EQ(fileNumber, scan.fileCount);
    // Relative items: a folder's parent path is listed before it.
    std::set<std::string_view> seen;
    for (const std::string& folder : scan.folders) {
        const std::size_t slash = folder.rfind('/');
        if (slash != std::string::npos && !folder.empty() && folder.back() != '/') {
            EXPECT_TRUE(seen.count(std::string_view(folder).substr(0, slash)))
                << Escaped(folder) << " is listed before its parent";
        }
        seen.insert(folder);
    }
    EXPECT_EQ(result.descriptorsAfter, result.descriptorsBefore);
}

}  // namespace quorvel::testing
