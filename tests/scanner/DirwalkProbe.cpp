#include "DirwalkProbe.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <utility>

#include "WithEvents.h"

namespace quorvel::testing {

std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    return out;
}

void PrintTo(const Event& event, std::ostream* out) {
    *out << "(" << Escaped(event.name) << ", \"" << Escaped(event.relativePath) << "\", \""
         << Escaped(event.fullPath) << "\", " << (event.isFolder == kTrue ? "folder" : "file")
         << ", " << event.fileCount << ", " << event.folderCount << ")";
}

namespace {
void PrintList(const char* title, const std::vector<std::string>& items, std::ostream* out) {
    *out << "\n  " << title << " (" << items.size() << "):";
    for (const std::string& item : items) *out << "\n    " << Escaped(item);
}
}  // namespace

void PrintTo(const ScanResult& result, std::ostream* out) {
    *out << "counts: " << result.folderCount << " folders, " << result.fileCount << " files";
    PrintList("folders", result.folders, out);
    PrintList("files", result.files, out);
    *out << "\n  events (" << result.events.size() << "):";
    for (const Event& event : result.events) {
        *out << "\n    ";
        PrintTo(event, out);
    }
}

Event FileEvent(std::string name, std::string relativePath, std::string fullPath, Counter files,
                Counter folders) {
    return {std::move(name), std::move(relativePath), std::move(fullPath), kFalse, files, folders};
}

Event FolderEvent(std::string name, std::string relativePath, std::string fullPath, Counter files,
                  Counter folders) {
    return {std::move(name), std::move(relativePath), std::move(fullPath), kTrue, files, folders};
}

EntryFoundHandler RecordInto(std::vector<Event>& into) {
    return [&into](std::string_view name, std::string_view relativePath, std::string_view fullPath,
                   Flag isFolder, Counter files, Counter folders) {
        into.push_back(Event{std::string(name), std::string(relativePath), std::string(fullPath),
                             isFolder, files, folders});
    };
}

std::vector<std::string> Items(const Collection& list) {
    return std::vector<std::string>(list.begin(), list.end());
}

namespace {

// The system's reader, refusing to open more than `cap` folders in one scan.
class CappedReader final : public DirectoryReader {
  public:
    explicit CappedReader(int cap) : cap_(cap) {}

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path, int& error) override {
        if (!Allow(error)) return nullptr;
        return inner_->OpenRoot(path, error);
    }
    std::unique_ptr<FolderListing> OpenChild(FolderListing& parent, std::string_view name,
                                             std::string_view fullPath, int& error) override {
        if (!Allow(error)) return nullptr;
        return inner_->OpenChild(parent, name, fullPath, error);
    }

  private:
    bool Allow(int& error) {
        if (++opened_ <= cap_) return true;
        if (opened_ == cap_ + 1)
            ADD_FAILURE() << "the walk opened more than " << cap_ << " folders";
        error = ELOOP;
        return false;
    }

    std::shared_ptr<DirectoryReader> inner_ = SystemDirectoryReader();
    int cap_;
    int opened_ = 0;
};

// Reads the whole listing up front and hands it out in sorted order.
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
    int Error() const override { return inner_->Error(); }
    FolderId Identity() override { return inner_->Identity(); }
    FolderListing& Inner() { return *inner_; }

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

class SortedReader final : public DirectoryReader {
  public:
    std::unique_ptr<FolderListing> OpenRoot(const std::string& path, int& error) override {
        return Wrap(inner_->OpenRoot(path, error));
    }
    std::unique_ptr<FolderListing> OpenChild(FolderListing& parent, std::string_view name,
                                             std::string_view fullPath, int& error) override {
        auto& sorted = static_cast<SortedListing&>(parent);
        return Wrap(inner_->OpenChild(sorted.Inner(), name, fullPath, error));
    }

  private:
    static std::unique_ptr<FolderListing> Wrap(std::unique_ptr<FolderListing> inner) {
        if (!inner) return nullptr;
        return std::make_unique<SortedListing>(std::move(inner));
    }
    std::shared_ptr<DirectoryReader> inner_ = SystemDirectoryReader();
};

}  // namespace

std::shared_ptr<DirectoryReader> SortedSystemReader() {
    return std::make_shared<SortedReader>();
}

ScanResult Scan(const std::string& root, ScanOptions options) {
    ScanResult result;
    WithEvents<clsDirwalk, EntryFoundHandler> walker{&clsDirwalk::EntryFound,
                                                     RecordInto(result.events)};
    walker = std::make_shared<clsDirwalk>(std::make_shared<CappedReader>(options.openCap));
    walker->Events(options.events);
    walker->SubFolders(options.subFolders);
    walker->FullPath(options.fullPath);
    int entries = 0;
    clsDirwalk* raw = walker.get().get();
    walker->SetYieldHook([&entries, raw, cap = options.entryCap] {
        if (++entries == cap) {
            ADD_FAILURE() << "the walk met " << cap << " entries and was aborted";
            raw->Abort();
        }
    });
    walker->ScanFolder(root);
    result.folders = Items(*walker->Folders());
    result.files = Items(*walker->Files());
    result.folderCount = walker->FolderCount();
    result.fileCount = walker->FileCount();
    return result;
}

std::vector<std::string> ListedOrder(const std::string& folder) {
    int error = 0;
    const std::unique_ptr<FolderListing> listing = SystemDirectoryReader()->OpenRoot(folder, error);
    if (!listing) throw std::runtime_error("ListedOrder: cannot list " + folder);
    std::vector<std::string> names;
    DirEntry entry;
    while (listing->Next(entry)) {
        if (entry.name != "." && entry.name != "..") names.emplace_back(entry.name);
    }
    return names;
}

int OpenDescriptorCount() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (const dirent* d = ::readdir(dir)) {
        if (d->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
    return count - 1;  // the descriptor of this listing itself
}

}  // namespace quorvel::testing
