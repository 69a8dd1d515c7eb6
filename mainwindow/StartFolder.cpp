// SPDX-License-Identifier: MIT
#include "StartFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
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

// The system's answers are waited for this long at most.
constexpr std::chrono::milliseconds kAnswerTime{500};

// What is known without asking the system.
std::string FromEnvironment() {
    for (const char* name : {"PWD", "HOME"}) {
        if (const char* folder = std::getenv(name); IsAbsolute(folder)) return folder;
    }
    return "/";
}

std::string AskTheSystem() {
    if (std::string current = CurrentDirectory(); !current.empty()) return current;
    // The shell keeps the name of the folder it is in after that folder has
    // been removed; so does the user.
    if (const char* shell = std::getenv("PWD"); IsAbsolute(shell)) return shell;
    if (std::string home = HomeFolder(); !home.empty()) return home;
    return "/";
}

}  // namespace

std::string CurrentDirectory() {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string() : current.native();
}

// Asked on a thread of its own: the name of a current directory deeper
// than the system's path limit is found by reading the folders above it,
// one of which may be on a mount that hangs, and the password database may
// be a network service. A thread that does not answer in time is left to
// end on its own.
std::string StartFolder() {
    struct Answer {
        std::mutex mutex;
        std::condition_variable given;
        std::optional<std::string> folder;
    };
    const auto answer = std::make_shared<Answer>();
    const auto ask = [answer] {
        std::string folder = AskTheSystem();
        const std::lock_guard lock(answer->mutex);
        answer->folder = std::move(folder);
        answer->given.notify_all();
    };
    try {
        std::thread(ask).detach();
    } catch (const std::system_error&) {
        return AskTheSystem();
    }
    std::unique_lock lock(answer->mutex);
    if (answer->given.wait_for(lock, kAnswerTime,
                               [&answer] { return answer->folder.has_value(); })) {
        return *answer->folder;
    }
    return FromEnvironment();
}

}  // namespace quorvel
