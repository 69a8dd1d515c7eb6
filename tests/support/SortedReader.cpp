// SPDX-License-Identifier: MIT
#include "SortedReader.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::testing {
namespace {

std::unique_ptr<FolderListing> Sorted(std::unique_ptr<FolderListing> listing);

// Reads the whole listing up front and hands it out in sorted order; a read
// error still comes after the last entry.
class SortedListing final : public FolderListing {
  public:
    explicit SortedListing(std::unique_ptr<FolderListing> inner) : inner_(std::move(inner)) {
        DirEntry entry;
        while (inner_->Next(entry)) {
            entries_.push_back(
                {std::string(entry.name), entry.isFolder, entry.isLink, entry.linkTarget});
        }
        std::sort(entries_.begin(), entries_.end(), [](const Stored& a, const Stored& b) {
            const bool aDots = a.name == "." || a.name == "..";
            const bool bDots = b.name == "." || b.name == "..";
            return aDots != bDots ? bDots : a.name < b.name;
        });
    }

    bool Next(DirEntry& entry) override {
        if (next_ == entries_.size()) return false;
        const Stored& s = entries_[next_++];
        entry = DirEntry{s.name, s.isFolder, s.isLink, s.linkTarget};
        return true;
    }
    std::error_code Error() const override { return inner_->Error(); }
    FolderId Identity() override { return inner_->Identity(); }
    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override {
        return Sorted(inner_->OpenChild(name, error));
    }

  private:
    struct Stored {
        std::string name;
        bool isFolder;
        bool isLink;
        FolderId linkTarget;
    };
    std::unique_ptr<FolderListing> inner_;
    std::vector<Stored> entries_;
    std::size_t next_ = 0;
};

std::unique_ptr<FolderListing> Sorted(std::unique_ptr<FolderListing> listing) {
    if (!listing) return nullptr;
    return std::make_unique<SortedListing>(std::move(listing));
}

class SortedReader final : public DirectoryReader {
  public:
    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override {
        return Sorted(inner_->OpenRoot(path, error));
    }

  private:
    std::shared_ptr<DirectoryReader> inner_ = SystemDirectoryReader();
};

}  // namespace

std::shared_ptr<DirectoryReader> SortedSystemReader() {
    return std::make_shared<SortedReader>();
}

}  // namespace quorvel::testing
