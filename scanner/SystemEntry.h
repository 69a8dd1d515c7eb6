// SPDX-License-Identifier: MIT
#pragma once
// The Linux system calls the system reader makes on one folder entry:
// opening a folder relative to its parent's descriptor, and telling a
// getdents64 record's kind (asking the file system only when the record does
// not tell, or for a link). Inline: the reader calls them for every entry.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>

#include <quorvel/DirectoryReader.h>

#include "BatchBuffer.h"
#include "UniqueFd.h"

namespace quorvel::system_entry {

inline constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
inline constexpr std::size_t kBufferSize = BatchBuffer::kSize;

// The fixed head of the record getdents64 fills (glibc 2.36 does not declare
// it); the NUL-terminated name follows at offsetof(..., d_name).
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

inline FolderId IdOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

inline std::error_code Errno(int error) {
    return {error, std::generic_category()};
}

inline std::optional<FolderId> IdentityOfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return IdOf(st);
}

// Every code this reader makes is an errno value, so the value alone tells.
// Comparing codes would call into their category just when no descriptor is
// left, and the sanitizers' check of that call needs descriptors itself.
inline bool IsDescriptorShortage(std::error_code error) {
    return error.value() == EMFILE || error.value() == ENFILE;
}

inline UniqueFd OpenFolderAt(int dirFd, const char* name, std::error_code& error) {
    int fd;
    do {
        fd = ::openat(dirFd, name, kOpenFlags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) error = Errno(errno);
    return UniqueFd(fd);
}

// A link counts as a folder when it leads to one; a broken link, or one that
// leads to anything else, counts as a file.
inline void DescribeLink(int dirFd, const char* name, DirEntry& entry) {
    entry.isLink = true;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
        entry.isFolder = true;
        entry.linkTarget = IdOf(st);
    }
}

// Fills everything but the name.
inline void Describe(int dirFd, const LinuxDirent64& d, DirEntry& entry) {
    entry.isLink = false;
    entry.isFolder = false;
    entry.linkTarget = {};
    switch (d.d_type) {
        case DT_DIR:
            entry.isFolder = true;
            break;
        case DT_LNK:
            DescribeLink(dirFd, d.d_name, entry);
            break;
        case DT_UNKNOWN: {
            struct stat st {};
            if (::fstatat(dirFd, d.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) break;
            if (S_ISDIR(st.st_mode)) {
                entry.isFolder = true;
            } else if (S_ISLNK(st.st_mode)) {
                DescribeLink(dirFd, d.d_name, entry);
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace quorvel::system_entry
