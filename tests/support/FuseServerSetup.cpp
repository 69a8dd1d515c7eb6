// SPDX-License-Identifier: MIT
#include "FuseServerSetup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

#include "FuseWire.h"

namespace quorvel::testing::fusefs {

void Report(const std::string& line) {
    const std::string out = line + '\n';
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, out.data(), out.size());
}

bool LineReader::Read(std::vector<std::string>& lines) {
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    pending_.append(chunk, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        lines.push_back(pending_.substr(0, end));
        pending_.erase(0, end + 1);
    }
    return true;
}

namespace {

// Copies the folder open at `fd` (which it closes) into `folder`.
bool Mirror(Tree& tree, NodeId folder, int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (const dirent* d = ::readdir(dir)) {
        const std::string_view name = d->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = d->d_type == DT_DIR;
        if (d->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(st.st_mode);
        }
        const NodeId child = tree.Add(folder, name, isFolder);
        if (!isFolder) continue;
        const int childFd =
            ::openat(::dirfd(dir), d->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ok = childFd >= 0 && Mirror(tree, child, childFd) && ok;
    }
    ::closedir(dir);
    return ok;
}

std::size_t Count(std::string_view word) {
    return std::strtoull(std::string(word).c_str(), nullptr, 10);
}

const std::map<std::string_view, Change::Kind> kChangeKinds = {
    {"add-file", Change::Kind::AddFile},
    {"add-folder", Change::Kind::AddFolder},
    {"remove", Change::Kind::Remove},
    {"rename", Change::Kind::Rename},
};

// One command; false when it is not one or cannot be carried out.
bool Describe(Tree& tree, const std::vector<std::string_view>& words) {
    if (words.size() < 2) return false;
    const std::string path = fusewire::Unescape(words[1]);
    const std::string_view what = words[0];
    if (what == "folder" && words.size() == 2) return tree.Folder(path) != 0;
    if (what == "file" && words.size() == 2) return tree.File(path) != 0;
    if (what == "mirror" && words.size() == 2) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return fd >= 0 && Mirror(tree, kRootId, fd);
    }
    const NodeId folder = tree.Folder(path);
    if (folder == 0 || words.size() < 3) return false;
    Faults& faults = tree.At(folder).faults;
    if (what == "hang" && words.size() == 3) {
        faults.hangAfter = Count(words[2]);
    } else if (what == "fail" && words.size() == 4) {
        faults.failAfter = Count(words[2]);
        faults.failError = static_cast<int>(Count(words[3]));
    } else if (what == "latency" && words.size() == 3) {
        faults.latency = std::chrono::microseconds(Count(words[2]));
    } else if (what == "change" && (words.size() == 5 || words.size() == 6)) {
        const auto kind = kChangeKinds.find(words[3]);
        if (kind == kChangeKinds.end()) return false;
        if (faults.changeAfter && *faults.changeAfter != Count(words[2])) return false;
        faults.changeAfter = Count(words[2]);
        faults.changes.push_back(
            Change{kind->second, fusewire::Unescape(words[4]),
                   words.size() == 6 ? fusewire::Unescape(words[5]) : std::string()});
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool Setup(Tree& tree, LineReader& input, std::string& mountPoint) {
    std::vector<std::string> lines;
    for (std::size_t next = 0;; ++next) {
        while (next == lines.size()) {
            if (!input.Read(lines)) {
                Report("error the commands ended before \"mount\"");
                return false;
            }
        }
        const std::vector<std::string_view> words = fusewire::Words(lines[next]);
        if (words.size() == 2 && words[0] == "mount") {
            mountPoint = fusewire::Unescape(words[1]);
            return true;
        }
        if (!Describe(tree, words)) {
            Report("error cannot carry out: " + lines[next]);
            return false;
        }
    }
}

}  // namespace quorvel::testing::fusefs
