// SPDX-License-Identifier: MIT
#include <quorvel/Collection.h>

#include <quorvel/PathSeparator.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "CollectionStore.h"
#include "PathChain.h"

namespace quorvel {

using collection::FileTable;
using collection::FolderTable;
using collection::PathChain;

struct Collection::Impl {
    std::shared_ptr<FolderTable> folders;
    // Only in a file list.
    std::unique_ptr<FileTable> files;
};

Collection::Collection(Key, std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Collection::~Collection() = default;

std::shared_ptr<Collection> Collection::NewFolderList(std::string root, bool hugePages) {
    auto impl = std::make_unique<Impl>();
    impl->folders = std::make_shared<FolderTable>(std::move(root), hugePages);
    return std::make_shared<Collection>(Key{}, std::move(impl));
}

std::shared_ptr<Collection> Collection::NewFileList(const Collection& folders, bool hugePages) {
    if (!folders.IsFolderList()) throw std::logic_error("Collection: files need a folder list");
    auto impl = std::make_unique<Impl>();
    impl->folders = folders.impl_->folders;
    impl->files = std::make_unique<FileTable>(hugePages);
    return std::make_shared<Collection>(Key{}, std::move(impl));
}

std::size_t Collection::AddFolder(std::size_t folder, std::string_view name, bool fullPath) {
    if (!IsFolderList()) throw std::logic_error("Collection: a folder added to a file list");
    FolderTable& table = *impl_->folders;
    if (folder != kRoot && folder >= table.Count())
        throw std::out_of_range("Collection: no such parent folder");
    return table.Add(folder, name, fullPath);
}

void Collection::AddFile(std::size_t folder, std::string_view name) {
    if (IsFolderList()) throw std::logic_error("Collection: a file added to a folder list");
    if (folder != kRoot && folder >= impl_->folders->Count())
        throw std::out_of_range("Collection: no such folder");
    impl_->files->Add(folder, name);
}

bool Collection::IsFolderList() const {
    return impl_->files == nullptr;
}

std::size_t Collection::size() const {
    return IsFolderList() ? impl_->folders->Count() : impl_->files->Count();
}

std::string_view Collection::Root() const {
    return impl_->folders->Root();
}

Collection::Part Collection::PartOf(std::size_t i) const {
    if (i >= size()) throw std::out_of_range("Collection: no such item");
    if (IsFolderList()) {
        const collection::FolderRecord record = impl_->folders->At(i);
        return Part{record.parent, record.name, record.fullPath};
    }
    const collection::FileRecord record = impl_->files->At(i);
    return Part{record.folder, record.name, true};
}

std::size_t Collection::Size(std::size_t i) const {
    const Part part = PartOf(i);
    const FolderTable& folders = *impl_->folders;
    std::size_t bytes = part.fromRoot ? folders.Root().size() : 0;
    if (IsFolderList()) {
        bytes += folders.RelativeSize(i) + (part.fromRoot ? 1 : 0);
    } else {
        if (part.folder != kRoot) bytes += folders.RelativeSize(part.folder) + 1;
        bytes += part.name.size();
    }
    return bytes;
}

void Collection::AppendTo(std::size_t i, std::string& out) const {
    const Part part = PartOf(i);
    const FolderTable& folders = *impl_->folders;
    if (part.fromRoot) out.append(folders.Root());
    if (IsFolderList()) {
        folders.AppendRelative(i, out);
        if (part.fromRoot) out.push_back(kPathSeparator);
        return;
    }
    if (part.folder != kRoot) {
        folders.AppendRelative(part.folder, out);
        out.push_back(kPathSeparator);
    }
    out.append(part.name);
}

std::string Collection::String(std::size_t i) const {
    std::string path;
    AppendTo(i, path);
    return path;
}

bool Collection::Equals(std::size_t i, std::string_view text) const {
    return Size(i) == text.size() && String(i) == text;
}

void Collection::VisitParts(std::size_t first, std::size_t last, PartCall call, void* visit) const {
    last = std::min(last, size());
    if (first >= last) return;
    if (last - first == 1) {
        call(visit, first, PartOf(first));  // the latest item without its neighbours
        return;
    }
    if (IsFolderList()) {
        for (std::size_t i = first; i < last; ++i) {
            const collection::FolderRecord record = impl_->folders->At(i);
            call(visit, i, Part{record.parent, record.name, record.fullPath});
        }
        return;
    }
    impl_->files->ForEach(first, last, [&](std::size_t i, const collection::FileRecord& record) {
        call(visit, i, Part{record.folder, record.name, true});
    });
}

void Collection::VisitItems(std::size_t first, std::size_t last, ItemCall call, void* visit) const {
    PathChain chain(*impl_->folders);
    const std::size_t rootSize = Root().size();
    if (IsFolderList()) {
        PartsOf(first, last, [&](std::size_t i, const Part& part) {
            // The chain holds the root, the folder's relative path and a
            // separator.
            const std::string_view path = chain.To(i);
            call(visit, part.fromRoot ? path : path.substr(rootSize, path.size() - rootSize - 1));
        });
        return;
    }
    PartsOf(first, last, [&](std::size_t, const Part& part) {
        call(visit, chain.WithName(part.folder, part.name));
    });
}

std::size_t Collection::MemoryBytes() const {
    return impl_->folders->MemoryBytes() + (impl_->files ? impl_->files->MemoryBytes() : 0);
}

}  // namespace quorvel
