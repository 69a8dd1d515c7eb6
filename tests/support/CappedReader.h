// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <system_error>

#include <quorvel/DirectoryReader.h>

namespace quorvel::testing {

// Wraps a reader and refuses (ELOOP) every open after the first `cap`, the
// root's included: a walk that enters a loop again and again then ends with
// Exceeded() set, instead of hanging. Read-ahead workers open roots through
// it concurrently, so the count is atomic.
class CappedReader final : public DirectoryReader {
  public:
    CappedReader(std::shared_ptr<DirectoryReader> inner, int cap);

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override;
    bool Exceeded() const { return opened_ > cap_; }

  private:
    class Listing;
    // Counts an open about to be made; false when it is one too many.
    bool Admit(std::error_code& error);
    std::unique_ptr<FolderListing> Wrap(std::unique_ptr<FolderListing> listing);

    std::shared_ptr<DirectoryReader> inner_;
    int cap_;
    std::atomic<int> opened_ = 0;
};

}  // namespace quorvel::testing
