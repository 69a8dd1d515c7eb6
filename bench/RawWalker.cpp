// SPDX-License-Identifier: MIT
#include "RawWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "UniqueFd.h"

namespace quorvel::bench {
namespace {

constexpr std::size_t kBufferSize = 32 * 1024;
constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// The head of a getdents64 record; glibc 2.36 does not declare it.
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

bool IsFolder(int folderFd, const LinuxDirent64& d) {
    if (d.d_type == DT_DIR) return true;
    if (d.d_type != DT_UNKNOWN && d.d_type != DT_LNK) return false;
    struct stat st {};
    return ::fstatat(folderFd, d.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

RawWalker::RawWalker(std::string root) : path_(std::move(root)) {
    if (path_.empty() || path_.back() != '/') path_.push_back('/');
    folders_ = Collection::NewFolderList(path_);
    files_ = Collection::NewFileList(*folders_);
}

void RawWalker::Walk() {
    const int fd = ::openat(AT_FDCWD, path_.c_str(), kOpenFlags);
    if (fd < 0) return;
    const UniqueFd root(fd);
    WalkFolder(root.get(), 0, Collection::kRoot);
}

void RawWalker::WalkFolder(int folderFd, std::size_t depth, std::size_t folder) {
    if (buffers_.size() <= depth)
        buffers_.push_back(std::make_unique_for_overwrite<char[]>(kBufferSize));
    char* const buffer = buffers_[depth].get();

    for (;;) {
        const long n = ::syscall(SYS_getdents64, folderFd, buffer, kBufferSize);
        if (n <= 0) return;
        for (long pos = 0; pos < n;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(buffer + pos);
            pos += d->d_reclen;
            const std::string_view name(d->d_name);
            if (name == "." || name == "..") continue;
            if (!IsFolder(folderFd, *d)) {
                files_->AddFile(folder, name);
                continue;
            }
            const std::size_t added = folders_->AddFolder(folder, name, false);
            const int child = ::openat(folderFd, d->d_name, kOpenFlags);
            if (child >= 0) {
                const UniqueFd childFd(child);
                WalkFolder(childFd.get(), depth + 1, added);
            }
        }
    }
}

}  // namespace quorvel::bench
