// The directory-reading layer over Linux system calls: every folder is opened
// relative to its parent's descriptor (so paths of any length work) and read
// with getdents64 in large batches. The entry type comes from the listing;
// the file system is asked (fstatat) only when the type is unknown or a link.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "DirectoryReader.h"
#include "UniqueFd.h"

namespace quorvel {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
// Big enough that a typical folder is read in one call; small enough that a
// chain thousands of folders deep (one open listing per level) stays cheap.
constexpr std::size_t kBufferSize = 16 * 1024;

// The fixed head of the record getdents64 fills (glibc 2.36 does not declare
// it); the NUL-terminated name follows at offsetof(..., d_name).
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

FolderId IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

class SystemFolderListing final : public FolderListing {
public:
    explicit SystemFolderListing(UniqueFd fd)
        : fd_(std::move(fd)), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

    int Descriptor() const { return fd_.get(); }

    bool Next(DirEntry& entry) override {
        while (pos_ >= length_) {
            if (!Refill()) return false;
        }
        const auto* d = reinterpret_cast<const LinuxDirent64*>(buffer_.get() + pos_);
        pos_ += d->d_reclen;
        entry.name = std::string_view(d->d_name, std::strlen(d->d_name));
        entry.isLink = false;
        entry.isFolder = false;
        switch (d->d_type) {
            case DT_DIR:
                entry.isFolder = true;
                break;
            case DT_LNK:
                ResolveLink(d->d_name, entry);
                break;
            case DT_UNKNOWN:
                ResolveUnknown(d->d_name, entry);
                break;
            default:
                break;
        }
        return true;
    }

    int Error() const override { return error_; }

    FolderId Identity() override {
        if (!identity_) {
            struct stat st {};
            identity_ = ::fstat(fd_.get(), &st) == 0 ? IdOf(st) : FolderId{};
        }
        return *identity_;
    }

private:
    bool Refill() {
        if (ended_) return false;
        for (;;) {
            const long n = ::syscall(SYS_getdents64, fd_.get(), buffer_.get(), kBufferSize);
            if (n > 0) {
                length_ = static_cast<std::size_t>(n);
                pos_ = 0;
                return true;
            }
            if (n < 0 && errno == EINTR) continue;
            error_ = n < 0 ? errno : 0;
            ended_ = true;
            return false;
        }
    }

    // A link counts as a folder when it leads to one; a broken link, or one
    // that leads to anything else, counts as a file.
    void ResolveLink(const char* name, DirEntry& entry) {
        entry.isLink = true;
        struct stat st {};
        if (::fstatat(fd_.get(), name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
            entry.isFolder = true;
            entry.linkTarget = IdOf(st);
        }
    }

    void ResolveUnknown(const char* name, DirEntry& entry) {
        struct stat st {};
        if (::fstatat(fd_.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
        if (S_ISDIR(st.st_mode)) {
            entry.isFolder = true;
        } else if (S_ISLNK(st.st_mode)) {
            ResolveLink(name, entry);
        }
    }

    UniqueFd fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0;
    std::size_t length_ = 0;
    bool ended_ = false;
    int error_ = 0;
    std::optional<FolderId> identity_;
};

class SystemReader final : public DirectoryReader {
public:
    std::unique_ptr<FolderListing> OpenRoot(const std::string& path, int& error) override {
        return Open(AT_FDCWD, path.c_str(), error);
    }

    std::unique_ptr<FolderListing> OpenChild(FolderListing& parent, std::string_view name,
                                             std::string_view /*fullPath*/, int& error) override {
        // The view need not be NUL-terminated; a name longer than NAME_MAX
        // cannot exist, and openat reports that itself.
        char z[NAME_MAX + 2];
        const std::size_t n = std::min(name.size(), sizeof z - 1);
        std::memcpy(z, name.data(), n);
        z[n] = '\0';
        return Open(static_cast<SystemFolderListing&>(parent).Descriptor(), z, error);
    }

private:
    static std::unique_ptr<FolderListing> Open(int dirFd, const char* name, int& error) {
        int fd;
        do {
            fd = ::openat(dirFd, name, kOpenFlags);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            error = errno;
            return nullptr;
        }
        return std::make_unique<SystemFolderListing>(UniqueFd(fd));
    }
};

}  // namespace

std::shared_ptr<DirectoryReader> SystemDirectoryReader() {
    static const auto reader = std::make_shared<SystemReader>();
    return reader;
}

}  // namespace quorvel
