#pragma once
// A reader over the real file system that fails chosen folders the way a
// real system can but a test running as root cannot make it: refusing to
// open (EACCES, ENOENT, ...) or failing part-way through a listing; or whose
// listing throws, as a handler's error escaping the walk would.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "DirectoryReader.h"

namespace quorvel::testing {

class FaultyReader final : public DirectoryReader {
  public:
    // `path` is absolute; a trailing '/' is ignored.
    void FailOpen(std::string_view path, int error);
    // The listing returns `entries` entries ("." and ".." included), then
    // fails with `error`.
    void FailReadAfter(std::string_view path, int entries, int error);
    // Reading the first entry of a folder opened by exactly `path` calls
    // `thrower`. The scanner asks for its root with a trailing '/', the folder
    // list without: "<folder>/" poisons the scan of the folder only.
    void ThrowWhenListed(std::string path, std::function<void()> thrower);

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path, int& error) override;
    std::unique_ptr<FolderListing> OpenChild(FolderListing& parent, std::string_view name,
                                             std::string_view fullPath, int& error) override;

  private:
    struct Fault {
        int openError = 0;
        int readAfter = -1;
        int readError = 0;
    };
    std::unique_ptr<FolderListing> Apply(std::string_view path,
                                         std::unique_ptr<FolderListing> listing, int& error);

    std::shared_ptr<DirectoryReader> real_ = SystemDirectoryReader();
    std::map<std::string, Fault, std::less<>> faults_;
    std::map<std::string, std::function<void()>, std::less<>> throwers_;
};

}  // namespace quorvel::testing
