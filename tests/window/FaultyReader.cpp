#include "FaultyReader.h"

#include <utility>

namespace quorvel::testing {
namespace {

std::string_view WithoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

class FailingListing final : public FolderListing {
  public:
    FailingListing(std::unique_ptr<FolderListing> real, int entries, int error)
        : real_(std::move(real)), left_(entries), error_(error) {}
    bool Next(DirEntry& entry) override {
        if (left_ == 0) {
            failed_ = true;
            return false;
        }
        --left_;
        return real_->Next(entry);
    }
    int Error() const override { return failed_ ? error_ : real_->Error(); }
    FolderId Identity() override { return real_->Identity(); }

  private:
    std::unique_ptr<FolderListing> real_;
    int left_;
    int error_;
    bool failed_ = false;
};

class ThrowingListing final : public FolderListing {
  public:
    explicit ThrowingListing(std::function<void()> thrower) : thrower_(std::move(thrower)) {}
    bool Next(DirEntry&) override {
        thrower_();
        return false;
    }
    int Error() const override { return 0; }
    FolderId Identity() override { return {}; }

  private:
    std::function<void()> thrower_;
};

}  // namespace

void FaultyReader::FailOpen(std::string_view path, int error) {
    faults_[std::string(WithoutTrailingSlash(path))].openError = error;
}

void FaultyReader::FailReadAfter(std::string_view path, int entries, int error) {
    Fault& fault = faults_[std::string(WithoutTrailingSlash(path))];
    fault.readAfter = entries;
    fault.readError = error;
}

void FaultyReader::ThrowWhenListed(std::string path, std::function<void()> thrower) {
    throwers_[std::move(path)] = std::move(thrower);
}

std::unique_ptr<FolderListing> FaultyReader::Apply(std::string_view path,
                                                   std::unique_ptr<FolderListing> listing,
                                                   int& error) {
    if (const auto thrower = throwers_.find(path); thrower != throwers_.end() && listing) {
        return std::make_unique<ThrowingListing>(thrower->second);
    }
    const auto fault = faults_.find(WithoutTrailingSlash(path));
    if (fault == faults_.end() || !listing) return listing;
    if (fault->second.openError != 0) {
        error = fault->second.openError;
        return nullptr;
    }
    if (fault->second.readAfter >= 0) {
        return std::make_unique<FailingListing>(std::move(listing), fault->second.readAfter,
                                                fault->second.readError);
    }
    return listing;
}

std::unique_ptr<FolderListing> FaultyReader::OpenRoot(const std::string& path, int& error) {
    return Apply(path, real_->OpenRoot(path, error), error);
}

std::unique_ptr<FolderListing> FaultyReader::OpenChild(FolderListing& parent, std::string_view name,
                                                       std::string_view fullPath, int& error) {
    return Apply(fullPath, real_->OpenChild(parent, name, fullPath, error), error);
}

}  // namespace quorvel::testing
