#pragma once
// The base of a test reader's listing that wraps the listing of another
// reader: every call passes through to the wrapped listing unless the wrapper
// overrides it. A wrapper opens children through Inner() and wraps them in
// turn, so wrapping readers stack in any order without knowing each other's
// listing types.

#include <memory>
#include <system_error>
#include <utility>

#include "DirectoryReader.h"

namespace quorvel::testing {

class ForwardingListing : public FolderListing {
  public:
    explicit ForwardingListing(std::unique_ptr<FolderListing> inner) : inner_(std::move(inner)) {}

    bool Next(DirEntry& entry) override { return inner_->Next(entry); }
    std::error_code Error() const override { return inner_->Error(); }
    FolderId Identity() override { return inner_->Identity(); }

  protected:
    FolderListing& Inner() { return *inner_; }

  private:
    std::unique_ptr<FolderListing> inner_;
};

}  // namespace quorvel::testing
