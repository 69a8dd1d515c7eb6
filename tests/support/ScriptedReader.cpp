// SPDX-License-Identifier: MIT
#include "ScriptedReader.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>

namespace quorvel::testing {

class ScriptedReader::Listing final : public FolderListing {
  public:
    // Made with the reader's lock held, which has counted it.
    Listing(ScriptedReader& reader, FolderRef folder)
        : reader_(reader), folder_(folder), snapshot_(reader.At(folder)) {}
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing() override {
        const std::lock_guard lock(reader_.mutex_);
        --reader_.open_;
    }

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
#if !defined(_WIN32)
    // A relative root is also reached by the absolute paths read-ahead's
    // workers build from it.
    if (!path.starts_with('/')) {
        std::string absolute = std::filesystem::current_path().string();
        if (absolute.back() != '/') absolute.push_back('/');
        roots_[absolute + path] = folder;
    }
#endif
    roots_[std::move(path)] = folder;
}

int ScriptedReader::OpenListings() const {
    const std::lock_guard lock(mutex_);
    return open_;
}

int ScriptedReader::MostOpenListings() const {
    const std::lock_guard lock(mutex_);
    return mostOpen_;
}

namespace {

std::unique_ptr<FolderListing> Refuse(int errnoValue, std::error_code& error) {
    error = std::error_code(errnoValue, std::generic_category());
    return nullptr;
}

}  // namespace

std::unique_ptr<FolderListing> ScriptedReader::OpenRoot(const std::string& path,
                                                        std::error_code& error) {
    const std::lock_guard lock(mutex_);
    if (const auto root = roots_.find(path); root != roots_.end()) return Open(root->second, error);
    // Below a root: the longest one the path starts with, then a name at a
    // time, through folders and links, as the system resolves a path.
    std::size_t rootLength = 0;
    FolderRef folder = kNoFolder;
    for (const auto& [rootPath, ref] : roots_) {
        if (path.starts_with(rootPath) && rootPath.size() > rootLength) {
            rootLength = rootPath.size();
            folder = ref;
        }
    }
    if (folder == kNoFolder) return Refuse(ENOENT, error);
    std::string_view rest = std::string_view(path).substr(rootLength);
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view name = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (name.empty()) continue;
        int refused = 0;
        folder = Resolve(folder, name, refused);
        if (refused == 0 && !rest.empty()) refused = At(folder).openError;
        if (refused != 0) return Refuse(refused, error);
    }
    return Open(folder, error);
}

ScriptedReader::FolderRef ScriptedReader::Resolve(FolderRef parent, std::string_view name,
                                                  int& refused) const {
    // One removed since the parent's listing was opened has vanished.
    const Folder& folder = At(parent);
    const auto entry = std::find_if(folder.entries.begin(), folder.entries.end(),
                                    [name](const Entry& e) { return e.name == name; });
    if (entry == folder.entries.end()) {
        refused = ENOENT;
    } else if (entry->openError != 0) {
        refused = entry->openError;
    } else if (entry->target == kNoFolder) {
        refused = entry->kind == Kind::File ? ENOTDIR : ENOENT;
    } else {
        return entry->target;
    }
    return kNoFolder;
}

std::unique_ptr<FolderListing> ScriptedReader::OpenEntry(FolderRef parent, std::string_view name,
                                                         std::error_code& error) {
    const std::lock_guard lock(mutex_);
    int refused = 0;
    const FolderRef folder = Resolve(parent, name, refused);
    if (refused != 0) return Refuse(refused, error);
    return Open(folder, error);
}

std::unique_ptr<FolderListing> ScriptedReader::Open(FolderRef folder, std::error_code& error) {
    if (const int e = At(folder).openError) return Refuse(e, error);
    if (open_ >= openLimit_) return Refuse(EMFILE, error);
    auto listing = std::make_unique<Listing>(*this, folder);
    mostOpen_ = std::max(mostOpen_, ++open_);
    return listing;
}

}  // namespace quorvel::testing
