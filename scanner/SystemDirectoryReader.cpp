// SPDX-License-Identifier: MIT
// The directory-reading layer over Linux system calls: every folder is opened
// relative to its parent's descriptor (so paths of any length work) and read
// with getdents64 in large batches. The entry type comes from the listing;
// the file system is asked (fstatat) only when the type is unknown or a link.
//
// Descriptors: a walk holds one per open level, so a chain deeper than the
// open-file limit would run out of them. When an open fails for want of a
// descriptor, the reader frees the descriptor of the listing that has held
// one longest (in a depth-first walk, the shallowest level still open) and
// tries again. Such a listing first reads the rest of its entries into memory,
// so it goes on returning exactly what it would have returned. When a child of
// a closed listing is wanted, the reader walks down to that listing's folder
// again, one name at a time from the nearest ancestor still open (never by a
// long path), and checks at every step that it reached the very folder it had
// listed (device and inode). A folder renamed or replaced in the meantime is
// therefore reported as gone (ENOENT) instead of silently swapped for
// whatever now has its name.
//
// The bookkeeping of open listings is per thread: a listing is used on the
// thread that opened it, like the walk that reads it.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <quorvel/DirectoryReader.h>

#include "BatchBuffer.h"
#include "SystemEntry.h"
#include "UniqueFd.h"

namespace quorvel {
namespace {

using namespace system_entry;

class SystemFolderListing;

// How to reach a listed folder again: by its name in its parent's folder or,
// for a root, by the path it was opened with. Children hold their parent's
// location, so the way up outlives any listing on it.
struct Location {
    std::shared_ptr<Location> parent;
    std::string name;
    // Known once the listing has been asked for it or has closed its
    // descriptor; a folder reached again must have this identity.
    std::optional<FolderId> identity;
    SystemFolderListing* listing = nullptr;  // while that listing exists
};

// The listings of one thread that hold a descriptor, in the order they got
// it: the first has held its descriptor longest.
class DescriptorHolders {
  public:
    void Append(SystemFolderListing& listing);
    void Remove(SystemFolderListing& listing);
    SystemFolderListing* Oldest(const SystemFolderListing* spare1,
                                const SystemFolderListing* spare2) const;

  private:
    SystemFolderListing* first_ = nullptr;
    SystemFolderListing* last_ = nullptr;
};

// Trivially destructible, so it needs no teardown at thread exit.
thread_local DescriptorHolders tHolders;

class SystemFolderListing final : public FolderListing {
  public:
    SystemFolderListing(UniqueFd fd, std::shared_ptr<Location> location)
        : fd_(std::move(fd)), location_(std::move(location)), holders_(tHolders) {
        location_->listing = this;
        holders_.Append(*this);
    }
    SystemFolderListing(const SystemFolderListing&) = delete;
    SystemFolderListing& operator=(const SystemFolderListing&) = delete;

    ~SystemFolderListing() override {
        if (fd_) {
            // A child's location may still need this folder's identity to be
            // reached again.
            if (!location_->identity && location_.use_count() > 1) {
                location_->identity = IdentityOfDescriptor(fd_.get());
            }
            HandDescriptorToParent();
            holders_.Remove(*this);
        }
        location_->listing = nullptr;
    }

    bool Next(DirEntry& entry) override {
        if (inMemory_) return NextInMemory(entry);
        while (pos_ >= length_) {
            if (!Refill()) return false;
        }
        const auto* d = reinterpret_cast<const LinuxDirent64*>(buffer_.get() + pos_);
        pos_ += d->d_reclen;
        entry.name = std::string_view(d->d_name, std::strlen(d->d_name));
        Describe(fd_.get(), *d, entry);
        return true;
    }

    std::error_code Error() const override { return error_; }

    FolderId Identity() override {
        if (!location_->identity && fd_) location_->identity = IdentityOfDescriptor(fd_.get());
        return location_->identity.value_or(FolderId{});
    }

    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override;

    bool HoldsDescriptor() const { return static_cast<bool>(fd_); }
    int Descriptor() const { return fd_.get(); }
    const std::shared_ptr<Location>& Where() const { return location_; }

    // Reads what is left of the listing into memory and closes the
    // descriptor. The entry returned last stays valid: its bytes are in
    // `buffer_`, which is not written again.
    void CloseDescriptor() {
        if (!fd_) return;
        if (!location_->identity) location_->identity = IdentityOfDescriptor(fd_.get());
        if (!inMemory_) {
            inMemory_ = true;
            KeepRecords(buffer_.get() + pos_, length_ - pos_);
            pos_ = length_;
            if (!ended_) {
                const BatchBuffer scratch;
                for (;;) {
                    const long n = ReadBatch(scratch.get());
                    if (n <= 0) break;
                    KeepRecords(scratch.get(), static_cast<std::size_t>(n));
                }
            }
        }
        holders_.Remove(*this);
        fd_.Reset();
    }

    // Gives a closed listing a descriptor of its folder again, for opening
    // the folder's children; its entries stay in memory.
    void Reattach(UniqueFd fd) {
        fd_ = std::move(fd);
        holders_.Append(*this);
    }

  private:
    friend class DescriptorHolders;

    // A walk goes on in the parent when a listing ends. If the parent gave
    // up its descriptor, reopening it through ".." here costs one step,
    // where reopening it later would walk down from the nearest open
    // ancestor: on the way back up a chain far deeper than the descriptor
    // limit, that keeps the walk linear instead of quadratic. Through a link
    // ".." leads elsewhere; the identity check sees that, and the parent is
    // then reopened by name if it is needed at all.
    void HandDescriptorToParent() noexcept {
        const Location* parent = location_->parent.get();
        if (!parent || !parent->listing || parent->listing->HoldsDescriptor() ||
            !parent->identity) {
            return;
        }
        std::error_code error;
        UniqueFd up = OpenFolderAt(fd_.get(), "..", error);
        if (up && IdentityOfDescriptor(up.get()) == parent->identity) {
            parent->listing->Reattach(std::move(up));
        }
    }

    struct KeptEntry {
        std::size_t nameStart = 0;
        std::size_t nameLength = 0;
        bool isFolder = false;
        bool isLink = false;
        FolderId linkTarget;
    };

    // One getdents64 call; at the end or on an error the listing has ended.
    long ReadBatch(char* into) {
        if (ended_) return 0;
        long n;
        do {
            n = ::syscall(SYS_getdents64, fd_.get(), into, kBufferSize);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            if (n < 0) error_ = Errno(errno);
            ended_ = true;
        }
        return n;
    }

    bool Refill() {
        const long n = ReadBatch(buffer_.get());
        if (n <= 0) return false;
        length_ = static_cast<std::size_t>(n);
        pos_ = 0;
        return true;
    }

    void KeepRecords(const char* records, std::size_t size) {
        DirEntry described;
        for (std::size_t at = 0; at < size;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(records + at);
            at += d->d_reclen;
            Describe(fd_.get(), *d, described);
            const std::size_t length = std::strlen(d->d_name);
            kept_.push_back(KeptEntry{keptNames_.size(), length, described.isFolder,
                                      described.isLink, described.linkTarget});
            keptNames_.append(d->d_name, length);
        }
    }

    bool NextInMemory(DirEntry& entry) {
        buffer_.Reset();  // the previous entry's bytes are no longer needed
        if (nextKept_ >= kept_.size()) return false;
        const KeptEntry& k = kept_[nextKept_++];
        entry.name = std::string_view(keptNames_).substr(k.nameStart, k.nameLength);
        entry.isFolder = k.isFolder;
        entry.isLink = k.isLink;
        entry.linkTarget = k.linkTarget;
        return true;
    }

    UniqueFd fd_;
    std::shared_ptr<Location> location_;
    DescriptorHolders& holders_;
    SystemFolderListing* previousHolder_ = nullptr;
    SystemFolderListing* nextHolder_ = nullptr;

    BatchBuffer buffer_;
    std::size_t pos_ = 0;
    std::size_t length_ = 0;
    bool ended_ = false;
    // Set when a read fails; a listing read into memory reports it after its
    // last kept entry, just where the system would have.
    std::error_code error_;

    bool inMemory_ = false;
    std::vector<KeptEntry> kept_;
    std::string keptNames_;
    std::size_t nextKept_ = 0;
};

void DescriptorHolders::Append(SystemFolderListing& listing) {
    listing.previousHolder_ = last_;
    listing.nextHolder_ = nullptr;
    (last_ ? last_->nextHolder_ : first_) = &listing;
    last_ = &listing;
}

void DescriptorHolders::Remove(SystemFolderListing& listing) {
    (listing.previousHolder_ ? listing.previousHolder_->nextHolder_ : first_) = listing.nextHolder_;
    (listing.nextHolder_ ? listing.nextHolder_->previousHolder_ : last_) = listing.previousHolder_;
    listing.previousHolder_ = listing.nextHolder_ = nullptr;
}

SystemFolderListing* DescriptorHolders::Oldest(const SystemFolderListing* spare1,
                                               const SystemFolderListing* spare2) const {
    SystemFolderListing* l = first_;
    while (l && (l == spare1 || l == spare2)) l = l->nextHolder_;
    return l;
}

// openat; when the process is out of descriptors, frees the one held longest
// (never `spare1` or `spare2`, which the caller still needs) and tries again,
// until it succeeds or nothing is left to free.
UniqueFd OpenFreeingDescriptors(int dirFd, const char* name, std::error_code& error,
                                const SystemFolderListing* spare1,
                                const SystemFolderListing* spare2) {
    for (;;) {
        UniqueFd fd = OpenFolderAt(dirFd, name, error);
        if (fd || !IsDescriptorShortage(error)) return fd;
        SystemFolderListing* holder = tHolders.Oldest(spare1, spare2);
        if (!holder) return fd;
        holder->CloseDescriptor();
    }
}

// Opens `listing`'s folder again, name by name from the nearest ancestor that
// still holds a descriptor (or from the root's path when none does), checking
// each folder reached against the identity it had when listed.
bool Reopen(SystemFolderListing& listing, std::error_code& error) {
    std::vector<const Location*> way;  // from `listing` upwards
    const Location* at = listing.Where().get();
    while (at && !(at->listing && at->listing->HoldsDescriptor())) {
        way.push_back(at);
        at = at->parent.get();
    }
    const SystemFolderListing* anchor = at ? at->listing : nullptr;
    UniqueFd current;
    for (auto step = way.rbegin(); step != way.rend(); ++step) {
        const int from = current ? current.get() : (anchor ? anchor->Descriptor() : AT_FDCWD);
        UniqueFd next =
            OpenFreeingDescriptors(from, (*step)->name.c_str(), error, anchor, &listing);
        if (!next) return false;
        if ((*step)->identity && IdentityOfDescriptor(next.get()) != (*step)->identity) {
            error = Errno(ENOENT);
            return false;
        }
        current = std::move(next);
    }
    listing.Reattach(std::move(current));
    return true;
}

std::unique_ptr<FolderListing> SystemFolderListing::OpenChild(std::string_view name,
                                                              std::error_code& error) {
    if (name.size() > NAME_MAX) {
        error = Errno(ENAMETOOLONG);
        return nullptr;
    }
    // The view need not be NUL-terminated.
    char z[NAME_MAX + 1];
    std::memcpy(z, name.data(), name.size());
    z[name.size()] = '\0';
    if (!fd_ && !Reopen(*this, error)) return nullptr;
    UniqueFd fd = OpenFreeingDescriptors(fd_.get(), z, error, this, nullptr);
    if (!fd) return nullptr;
    auto location = std::make_shared<Location>();
    location->parent = location_;
    location->name.assign(name);
    return std::make_unique<SystemFolderListing>(std::move(fd), std::move(location));
}

class SystemReader final : public DirectoryReader {
  public:
    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override {
        // The system would stop reading the path at its first NUL and list
        // a different folder under the given path's name.
        if (path.find('\0') != std::string::npos) {
            error = Errno(EINVAL);
            return nullptr;
        }
        UniqueFd fd = OpenFreeingDescriptors(AT_FDCWD, path.c_str(), error, nullptr, nullptr);
        if (!fd) return nullptr;
        auto location = std::make_shared<Location>();
        location->name = path;
        return std::make_unique<SystemFolderListing>(std::move(fd), std::move(location));
    }
};

}  // namespace

std::shared_ptr<DirectoryReader> SystemDirectoryReader() {
    static const auto reader = std::make_shared<SystemReader>();
    return reader;
}

}  // namespace quorvel
