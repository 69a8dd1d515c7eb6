// SPDX-License-Identifier: MIT
#pragma once
// A reader that wraps another one (the system's, by default) and fails chosen
// folders the way a real system can but a test running as root cannot make
// it: refusing to open (EACCES, ENOENT, ...) or failing part-way through a
// listing; or whose listing throws, as a handler's error escaping the walk
// would. Folders are chosen by path: each listing knows its own, and works out
// its children's from their names.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include <quorvel/DirectoryReader.h>

namespace quorvel::testing {

class FaultyReader final : public DirectoryReader {
  public:
    explicit FaultyReader(std::shared_ptr<DirectoryReader> inner = SystemDirectoryReader());

    // `path` is absolute; a trailing '/' is ignored. Errors are errno values.
    void FailOpen(std::string_view path, int error);
    // The listing returns `entries` entries ("." and ".." included), then
    // fails with `error`.
    void FailReadAfter(std::string_view path, int entries, int error);
    // Reading the first entry of a folder opened by exactly `path` calls
    // `thrower`. The scanner asks for its root with a trailing '/', the folder
    // list without: "<folder>/" poisons the scan of the folder only.
    void ThrowWhenListed(std::string path, std::function<void()> thrower);
    // Every folder takes `delay` to open, sleeping. `overNetwork`: as one
    // across a network, on none of the machine's block devices (major number
    // 0); otherwise as one held up by a stall of the machine, on its own
    // device. The opens numbered from `quietFrom` to before `quietTo` (from
    // 0, in the order they happen) take no time. Set before the walk:
    // workers open concurrently.
    void DelayEveryOpen(std::chrono::microseconds delay, bool overNetwork = true,
                        std::size_t quietFrom = 0, std::size_t quietTo = 0) {
        openDelay_ = delay;
        overNetwork_ = overNetwork;
        quietFrom_ = quietFrom;
        quietTo_ = quietTo;
        opens_ = 0;
    }

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override;

  private:
    class Listing;
    struct Fault {
        int openError = 0;
        int readAfter = -1;
        int readError = 0;
    };
    // What the walk gets for `listing`, the inner reader's for `path`.
    std::unique_ptr<FolderListing> Apply(std::string path, std::unique_ptr<FolderListing> listing,
                                         std::error_code& error);

    std::shared_ptr<DirectoryReader> inner_;
    std::chrono::microseconds openDelay_{0};
    bool overNetwork_ = false;
    std::size_t quietFrom_ = 0;
    std::size_t quietTo_ = 0;
    std::atomic<std::size_t> opens_ = 0;
    std::map<std::string, Fault, std::less<>> faults_;
    std::map<std::string, std::function<void()>, std::less<>> throwers_;
};

}  // namespace quorvel::testing
