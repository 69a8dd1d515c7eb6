// SPDX-License-Identifier: MIT
#include "TreeWriter.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "NameMaker.h"
#include "UniqueFd.h"

namespace quorvel::bench {
namespace {

[[noreturn]] void Fail(const char* step, const std::string& name) {
    throw std::system_error(errno, std::generic_category(), std::string(step) + " " + name);
}

UniqueFd OpenFolder(int parentFd, const char* name) {
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Fail("openat", name);
    return UniqueFd(fd);
}

}  // namespace

void TreeWriter::Write(const std::string& rootFolder) {
    NameMaker names(seed_ ^ 0x6E616D6573ULL);
    const UniqueFd root = OpenFolder(AT_FDCWD, rootFolder.c_str());
    WriteFolder(root.get(), 0, names);
}

void WriteFlatFolder(const std::string& rootFolder, std::uint32_t folders, std::uint64_t seed) {
    NameMaker names(seed ^ 0x666C6174ULL);
    const UniqueFd root = OpenFolder(AT_FDCWD, rootFolder.c_str());
    for (std::uint32_t f = 0; f < folders; ++f) {
        const std::string name = names.Make(f, false);
        if (::mkdirat(root.get(), name.c_str(), 0755) != 0) Fail("mkdirat", name);
    }
}

// Recursion depth is the tree's depth (a few hundred at most), and each level
// holds one descriptor: far below the default limit of 1024.
void TreeWriter::WriteFolder(int folderFd, std::uint32_t folder, NameMaker& names) {
    const FolderPlan& plan = plan_.Folders()[folder];
    std::uint32_t index = 0;
    for (std::uint32_t f = 0; f < plan.fileCount; ++f) {
        const std::string name = names.Make(index++, true);
        if (::mknodat(folderFd, name.c_str(), S_IFREG | 0644, 0) != 0) Fail("mknodat", name);
    }
    for (std::uint32_t c = 0; c < plan.childCount; ++c) {
        const std::string name = names.Make(index++, false);
        if (::mkdirat(folderFd, name.c_str(), 0755) != 0) Fail("mkdirat", name);
        const UniqueFd child = OpenFolder(folderFd, name.c_str());
        WriteFolder(child.get(), plan.firstChild + c, names);
    }
}

}  // namespace quorvel::bench
