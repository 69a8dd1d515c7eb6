#include "CappedReader.h"

#include <utility>

#include "ForwardingListing.h"

namespace quorvel::testing {

class CappedReader::Listing final : public ForwardingListing {
  public:
    Listing(CappedReader& reader, std::unique_ptr<FolderListing> inner)
        : ForwardingListing(std::move(inner)), reader_(reader) {}

    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override {
        if (!reader_.Admit(error)) return nullptr;
        return reader_.Wrap(Inner().OpenChild(name, error));
    }

  private:
    CappedReader& reader_;
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
