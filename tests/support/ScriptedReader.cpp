// SPDX-License-Identifier: MIT
#include "ScriptedReader.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace quorvel::testing {

class ScriptedReader::Listing final : public FolderListing {
  public:
    Listing(ScriptedReader& reader, FolderRef folder)
        : reader_(reader), folder_(folder), snapshot_(reader.At(folder)) {
        reader_.mostOpen_ = std::max(reader_.mostOpen_, ++reader_.open_);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing() override { --reader_.open_; }

    bool Next(DirEntry& entry) override {
        if (error_ != 0) return false;
        const std::size_t dots = snapshot_.dots ? 2 : 0;
        if (returned_ == snapshot_.readErrorAfter) {
            error_ = snapshot_.readError;
            return false;
        }
        if (returned_ >= dots + snapshot_.entries.size()) return false;
        const std::size_t index = returned_++;
        entry.isLink = false;
        entry.linkTarget = {};
        if (index < dots) {
            entry.name = index == 0 ? std::string_view(".") : std::string_view("..");
            entry.isFolder = true;
            return true;
        }
        const Entry& e = snapshot_.entries[index - dots];
        entry.name = e.name;
        entry.isFolder = e.kind == Kind::Folder || (e.kind == Kind::Link && e.target != kNoFolder);
        if (e.kind == Kind::Link) {
            entry.isLink = true;
            if (e.target != kNoFolder) entry.linkTarget = IdentityOf(e.target);
        }
        return true;
    }

    std::error_code Error() const override {
        return error_ == 0 ? std::error_code() : std::error_code(error_, std::generic_category());
    }
    FolderId Identity() override { return IdentityOf(folder_); }
    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override {
        return reader_.OpenEntry(folder_, name, error);
    }

  private:
    ScriptedReader& reader_;
    FolderRef folder_;
    const Folder snapshot_;
    std::size_t returned_ = 0;
    int error_ = 0;
};

ScriptedReader::FolderRef ScriptedReader::NewFolder() {
    folders_.emplace_back();
    return folders_.size() - 1;
}

ScriptedReader::FolderRef ScriptedReader::AddFolder(FolderRef parent, std::string name) {
    const FolderRef folder = NewFolder();
    At(parent).entries.push_back(Entry{std::move(name), Kind::Folder, folder, 0});
    return folder;
}

void ScriptedReader::AddFile(FolderRef parent, std::string name) {
    At(parent).entries.push_back(Entry{std::move(name), Kind::File, kNoFolder, 0});
}

void ScriptedReader::AddLink(FolderRef parent, std::string name, FolderRef target) {
    At(parent).entries.push_back(Entry{std::move(name), Kind::Link, target, 0});
}

void ScriptedReader::SetRoot(std::string path, FolderRef folder) {
    roots_[std::move(path)] = folder;
}

namespace {

std::unique_ptr<FolderListing> Refuse(int errnoValue, std::error_code& error) {
    error = std::error_code(errnoValue, std::generic_category());
    return nullptr;
}

}  // namespace

std::unique_ptr<FolderListing> ScriptedReader::OpenRoot(const std::string& path,
                                                        std::error_code& error) {
    const auto root = roots_.find(path);
    if (root == roots_.end()) return Refuse(ENOENT, error);
    return Open(root->second, error);
}

std::unique_ptr<FolderListing> ScriptedReader::OpenEntry(FolderRef parent, std::string_view name,
                                                         std::error_code& error) {
    // One removed since the parent's listing was opened has vanished.
    const Folder& folder = At(parent);
    const auto entry = std::find_if(folder.entries.begin(), folder.entries.end(),
                                    [name](const Entry& e) { return e.name == name; });
    if (entry == folder.entries.end()) return Refuse(ENOENT, error);
    if (entry->openError != 0) return Refuse(entry->openError, error);
    if (entry->target == kNoFolder)
        return Refuse(entry->kind == Kind::File ? ENOTDIR : ENOENT, error);
    return Open(entry->target, error);
}

std::unique_ptr<FolderListing> ScriptedReader::Open(FolderRef folder, std::error_code& error) {
    if (const int e = At(folder).openError) return Refuse(e, error);
    if (open_ >= openLimit_) return Refuse(EMFILE, error);
    return std::make_unique<Listing>(*this, folder);
}

}  // namespace quorvel::testing
