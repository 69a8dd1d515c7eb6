// SPDX-License-Identifier: MIT
#include "StartFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace quorvel {
namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); IsAbsolute(home)) return home;
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        IsAbsolute(found->pw_dir)) {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

std::string CurrentDirectory() {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string() : current.native();
}

std::string StartFolder() {
    if (std::string current = CurrentDirectory(); !current.empty()) return current;
    // The shell keeps the name of the folder it is in after that folder has
    // been removed; so does the user.
    if (const char* shell = std::getenv("PWD"); IsAbsolute(shell)) return shell;
    if (std::string home = HomeFolder(); !home.empty()) return home;
    return "/";
}

}  // namespace quorvel
