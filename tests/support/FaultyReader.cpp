// SPDX-License-Identifier: MIT
#include "FaultyReader.h"

#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

#include <thread>
#include <utility>

namespace quorvel::testing {
namespace {

std::string_view WithoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

}  // namespace

class FaultyReader::Listing final : public FolderListing {
  public:
    Listing(FaultyReader& reader, std::unique_ptr<FolderListing> inner, std::string path)
        : reader_(reader), inner_(std::move(inner)), path_(std::move(path)) {}

    void FailAfter(int entries, int error) {
        left_ = entries;
        readError_ = std::error_code(error, std::generic_category());
    }
    void ThrowWhenListed(std::function<void()> thrower) { thrower_ = std::move(thrower); }

    bool Next(DirEntry& entry) override {
        if (thrower_) {
            thrower_();
            return false;
        }
        if (left_ == 0) {
            failed_ = true;
            return false;
        }
        if (left_ > 0) --left_;
        if (!inner_->Next(entry)) return false;
        if (entry.isLink) entry.linkTarget = Seen(entry.linkTarget);
        return true;
    }
    std::error_code Error() const override { return failed_ ? readError_ : inner_->Error(); }
    FolderId Identity() override { return Seen(inner_->Identity()); }
    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override {
        std::string child = path_;
        if (child.empty() || child.back() != '/') child.push_back('/');
        child.append(name);
        return reader_.Apply(std::move(child), inner_->OpenChild(name, error), error);
    }

  private:
    FolderId Seen(FolderId id) const {
#if defined(__linux__)
        if (reader_.overNetwork_) id.device = makedev(0, minor(id.device));
#endif
        return id;
    }

    FaultyReader& reader_;
    std::unique_ptr<FolderListing> inner_;
    std::string path_;
    int left_ = -1;  // entries until the read error; -1: none
    std::error_code readError_;
    bool failed_ = false;
    std::function<void()> thrower_;
};

FaultyReader::FaultyReader(std::shared_ptr<DirectoryReader> inner) : inner_(std::move(inner)) {}

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

std::unique_ptr<FolderListing> FaultyReader::OpenRoot(const std::string& path,
                                                      std::error_code& error) {
    return Apply(path, inner_->OpenRoot(path, error), error);
}

std::unique_ptr<FolderListing> FaultyReader::Apply(std::string path,
                                                   std::unique_ptr<FolderListing> listing,
                                                   std::error_code& error) {
    if (!listing) return nullptr;
    if (const std::size_t open = opens_++;
        openDelay_.count() > 0 && (open < quietFrom_ || open >= quietTo_)) {
        std::this_thread::sleep_for(openDelay_);
    }
    const auto thrower = throwers_.find(path);
    const auto fault = faults_.find(WithoutTrailingSlash(path));
    if (thrower == throwers_.end() && fault != faults_.end() && fault->second.openError != 0) {
        error = std::error_code(fault->second.openError, std::generic_category());
        return nullptr;
    }
    auto faulty = std::make_unique<Listing>(*this, std::move(listing), std::move(path));
    if (thrower != throwers_.end()) {
        faulty->ThrowWhenListed(thrower->second);
    } else if (fault != faults_.end() && fault->second.readAfter >= 0) {
        faulty->FailAfter(fault->second.readAfter, fault->second.readError);
    }
    return faulty;
}

}  // namespace quorvel::testing
