// SPDX-License-Identifier: MIT
#include "CappedReader.h"

#include <utility>

namespace quorvel::testing {

// Derived from FolderListing with no class between, like every test listing.
// Walks under a low descriptor limit destroy it when no descriptor is free;
// an intermediate base's destructor would then make a call that UBSan checks
// for the first time, and that check needs a descriptor of its own (without
// one, it reports an invalid vptr).
class CappedReader::Listing final : public FolderListing {
  public:
    Listing(CappedReader& reader, std::unique_ptr<FolderListing> inner)
        : reader_(reader), inner_(std::move(inner)) {}

    bool Next(DirEntry& entry) override { return inner_->Next(entry); }
    std::error_code Error() const override { return inner_->Error(); }
    FolderId Identity() override { return inner_->Identity(); }
    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override {
        if (!reader_.Admit(error)) return nullptr;
        return reader_.Wrap(inner_->OpenChild(name, error));
    }

  private:
    CappedReader& reader_;
    std::unique_ptr<FolderListing> inner_;
};

CappedReader::CappedReader(std::shared_ptr<DirectoryReader> inner, int cap)
    : inner_(std::move(inner)), cap_(cap) {}

std::unique_ptr<FolderListing> CappedReader::OpenRoot(const std::string& path,
                                                      std::error_code& error) {
    if (!Admit(error)) return nullptr;
    return Wrap(inner_->OpenRoot(path, error));
}

bool CappedReader::Admit(std::error_code& error) {
    if (++opened_ <= cap_) return true;
    error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return false;
}

std::unique_ptr<FolderListing> CappedReader::Wrap(std::unique_ptr<FolderListing> listing) {
    if (!listing) return nullptr;
    return std::make_unique<Listing>(*this, std::move(listing));
}

}  // namespace quorvel::testing
