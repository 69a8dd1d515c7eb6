// SPDX-License-Identifier: MIT
#include "TempTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "UniqueFd.h"

namespace quorvel::testing {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

[[noreturn]] void Fail(std::string_view what, std::string_view rel, int error) {
    throw std::runtime_error("TempTree: " + std::string(what) + " '" + std::string(rel) +
                             "': " + std::strerror(error));
}

std::vector<std::string> Components(std::string_view rel) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= rel.size()) {
        std::size_t slash = rel.find('/', start);
        if (slash == std::string_view::npos) slash = rel.size();
        if (slash > start) parts.emplace_back(rel.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

// Opens (creating where missing) the folders named by `parts` below `root`.
UniqueFd OpenFolders(const std::string& root, const std::vector<std::string>& parts,
                     std::string_view rel) {
    UniqueFd fd(::open(root.c_str(), kDirFlags));
    if (!fd) Fail("open root of", rel, errno);
    for (const std::string& part : parts) {
        if (::mkdirat(fd.get(), part.c_str(), 0755) != 0 && errno != EEXIST) {
            Fail("mkdir", rel, errno);
        }
        UniqueFd child(::openat(fd.get(), part.c_str(), kDirFlags));
        if (!child) Fail("open", rel, errno);
        fd = std::move(child);
    }
    return fd;
}

// Splits `rel` into its parent's descriptor and its last component.
std::pair<UniqueFd, std::string> OpenParent(const std::string& root, std::string_view rel) {
    std::vector<std::string> parts = Components(rel);
    if (parts.empty()) Fail("empty name for", rel, EINVAL);
    std::string last = std::move(parts.back());
    parts.pop_back();
    return {OpenFolders(root, parts, rel), std::move(last)};
}

bool IsRealFolder(int dirFd, const char* name) {
    struct stat st {};
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Removes everything in the folder of `dirFd` but its real subfolders, whose
// names it returns. Links are removed, never followed.
std::vector<std::string> RemoveAllButFolders(int dirFd) {
    std::vector<std::string> folders;
    // A descriptor of its own for the listing: closedir closes it.
    const int listFd = ::openat(dirFd, ".", kDirFlags);
    if (listFd < 0) return folders;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return folders;
    }
    while (const dirent* d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        if (IsRealFolder(dirFd, d->d_name)) {
            folders.emplace_back(d->d_name);
        } else {
            ::unlinkat(dirFd, d->d_name, 0);
        }
    }
    ::closedir(dir);
    return folders;
}

// Depth-first removal holding one folder descriptor at a time: the way back
// up is "..", and the stacks hold only names, so depth is limited neither by
// PATH_MAX nor by the descriptor limit, and every folder is listed once.
// Whatever cannot be removed is left behind rather than retried.
void RemoveTree(const std::string& root) {
    UniqueFd current(::open(root.c_str(), kDirFlags | O_NOFOLLOW));
    if (!current) return;
    std::vector<std::string> path;                  // names from the root down to `current`
    std::vector<std::vector<std::string>> pending;  // subfolders still to remove, per level
    pending.push_back(RemoveAllButFolders(current.get()));
    while (!pending.empty()) {
        if (!pending.back().empty()) {
            const std::string& child = pending.back().back();
            // A folder the test made unreadable; if this fails, the open
            // below fails too and the folder is left behind.
            (void)!::fchmodat(current.get(), child.c_str(), 0700, 0);
            UniqueFd down(::openat(current.get(), child.c_str(), kDirFlags | O_NOFOLLOW));
            if (!down) {
                pending.back().pop_back();
                continue;
            }
            path.push_back(child);
            current = std::move(down);
            pending.push_back(RemoveAllButFolders(current.get()));
            continue;
        }
        pending.pop_back();
        if (path.empty()) break;
        UniqueFd up(::openat(current.get(), "..", kDirFlags));
        if (!up) return;
        ::unlinkat(up.get(), path.back().c_str(), AT_REMOVEDIR);
        path.pop_back();
        pending.back().pop_back();
        current = std::move(up);
    }
    current.Reset();
    ::rmdir(root.c_str());
}

}  // namespace

TempTree::TempTree() {
    std::string base = "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env) base = env;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string pattern = base + "/quorvel-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("mkdtemp", pattern, errno);
    // The scanner reports paths as it was given them; a resolved root keeps
    // expected paths exact even when the temporary folder is behind a link.
    char* resolved = ::realpath(pattern.c_str(), nullptr);
    if (!resolved) Fail("realpath", pattern, errno);
    root_ = resolved;
    std::free(resolved);
}

TempTree::~TempTree() {
    RemoveTree(root_);
}

std::string TempTree::Path(std::string_view rel) const {
    std::string path = root_;
    path += '/';
    path += rel;
    return path;
}

void TempTree::Folder(std::string_view rel) const {
    OpenFolders(root_, Components(rel), rel);
}

void TempTree::File(std::string_view rel, std::string_view content) const {
    auto [parent, name] = OpenParent(root_, rel);
    UniqueFd fd(
        ::openat(parent.get(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) Fail("create", rel, errno);
    while (!content.empty()) {
        const ssize_t n = ::write(fd.get(), content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", rel, errno);
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TempTree::Link(std::string_view rel, std::string_view target) const {
    auto [parent, name] = OpenParent(root_, rel);
    const std::string targetText(target);
    if (::symlinkat(targetText.c_str(), parent.get(), name.c_str()) != 0)
        Fail("symlink", rel, errno);
}

}  // namespace quorvel::testing
