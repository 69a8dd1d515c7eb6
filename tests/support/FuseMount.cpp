// SPDX-License-Identifier: MIT
#include "FuseMount.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "FuseWire.h"

extern char** environ;

namespace quorvel::testing {

namespace {

using fusewire::WirePath;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kAnswerTimeout{10};

const char* Word(FuseMount::Change::Kind kind) {
    switch (kind) {
        case FuseMount::Change::Kind::AddFile:
            return "add-file";
        case FuseMount::Change::Kind::AddFolder:
            return "add-folder";
        case FuseMount::Change::Kind::Remove:
            return "remove";
        case FuseMount::Change::Kind::Rename:
            return "rename";
    }
    return "?";
}

}  // namespace

FuseMount::~FuseMount() {
    Unmount();
}

void FuseMount::Folder(std::string_view path) {
    if (server_ >= 0) throw std::logic_error("FuseMount: the tree is described before Mount");
    setup_ += "folder " + WirePath(path) + "\n";
}

void FuseMount::File(std::string_view path) {
    if (server_ >= 0) throw std::logic_error("FuseMount: the tree is described before Mount");
    setup_ += "file " + WirePath(path) + "\n";
}

void FuseMount::HangListing(std::string_view folder, std::size_t after) {
    const std::string line = "hang " + WirePath(folder) + " " + std::to_string(after);
    if (server_ >= 0) {
        Command(line);
    } else {
        setup_ += line + "\n";
    }
}

void FuseMount::FailListing(std::string_view folder, std::size_t after, int error) {
    if (server_ >= 0) throw std::logic_error("FuseMount: faults other than hangs precede Mount");
    setup_ += "fail " + WirePath(folder) + " " + std::to_string(after) + " " +
              std::to_string(error) + "\n";
}

void FuseMount::Latency(std::string_view folder, std::chrono::microseconds perRead) {
    if (server_ >= 0) throw std::logic_error("FuseMount: faults other than hangs precede Mount");
    setup_ += "latency " + WirePath(folder) + " " + std::to_string(perRead.count()) + "\n";
}

void FuseMount::ChangeWhileListed(std::string_view folder, std::size_t after,
                                  const std::vector<Change>& changes) {
    if (server_ >= 0) throw std::logic_error("FuseMount: faults other than hangs precede Mount");
    for (const Change& change : changes) {
        setup_.append("change ").append(WirePath(folder)).append(" ");
        setup_.append(std::to_string(after)).append(" ").append(Word(change.kind)).append(" ");
        setup_.append(fusewire::Escape(change.name));
        if (change.kind == Change::Kind::Rename) {
            setup_.append(" ").append(fusewire::Escape(change.newName));
        }
        setup_.append("\n");
    }
}

std::string FuseMount::Path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ + "/" + std::string(relative);
}

bool FuseMount::Mount() {
    if (server_ >= 0) return true;
    if (std::string_view(QUORVEL_TEST_FUSEFS).empty()) {
        whyNot_ = "quorvel-test-fusefs was not built: libfuse3-dev was missing at configure time";
        return false;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        whyNot_ = std::string("FUSE is not available here: /dev/fuse: ") + std::strerror(errno);
        return false;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvel-fuse-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("FuseMount: mkdtemp: " + std::string(std::strerror(errno)));
    }
    root_ = pattern;
    if (!Spawn()) {
        ::rmdir(root_.c_str());
        throw std::runtime_error("FuseMount: cannot start " + std::string(QUORVEL_TEST_FUSEFS));
    }
    Command(setup_ + "mount " + fusewire::Escape(root_));
    return server_ >= 0;
}

bool FuseMount::Spawn() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(QUORVEL_TEST_FUSEFS), nullptr};
    const int spawned =
        ::posix_spawn(&server_, QUORVEL_TEST_FUSEFS, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        server_ = -1;
        return false;
    }
    toServer_ = fromServer_ = ends[0];
    return true;
}

template <typename Done>
bool FuseMount::ReadReports(std::chrono::milliseconds timeout, const Done& until) {
    const Clock::time_point end = Clock::now() + timeout;
    while (!until() && fromServer_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        pollfd fd{fromServer_, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(std::max<long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[4096];
        const ssize_t n = ::read(fromServer_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the server is gone
        reportBuffer_.append(chunk, static_cast<std::size_t>(n));
        for (std::size_t eol; (eol = reportBuffer_.find('\n')) != std::string::npos;) {
            const std::string line = reportBuffer_.substr(0, eol);
            reportBuffer_.erase(0, eol + 1);
            if (line.starts_with("hanging ")) {
                ++hanging_[line.substr(8)];
            } else {
                replies_.push_back(line);
            }
        }
    }
    return until();
}

void FuseMount::Command(const std::string& line) {
    const std::string out = line + "\n";
    for (std::size_t sent = 0; sent < out.size();) {
        const ssize_t n = ::send(toServer_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("FuseMount: the FUSE server is gone");
        sent += static_cast<std::size_t>(n);
    }
    if (!ReadReports(kAnswerTimeout, [this] { return !replies_.empty(); })) {
        throw std::runtime_error("FuseMount: the FUSE server did not answer: " + line);
    }
    const std::string reply = replies_.front();
    replies_.erase(replies_.begin());
    if (reply == "done" || reply == "ready") return;
    if (reply.starts_with("error FUSE could not be mounted")) {
        whyNot_ = "FUSE cannot be mounted here: " + reply.substr(6);
        Unmount();
        return;
    }
    throw std::runtime_error("FuseMount: the FUSE server refused it: " + reply);
}

bool FuseMount::WaitUntilHanging(std::string_view folder, std::chrono::milliseconds timeout) {
    const std::string key = WirePath(folder);
    return ReadReports(timeout, [&] { return hanging_.count(key) != 0; });
}

void FuseMount::Release(std::string_view folder) {
    Command("release " + WirePath(folder));
    hanging_.erase(WirePath(folder));
}

void FuseMount::Unmount() {
    if (server_ < 0) return;
    // The end of its input tells the server to answer what it holds, unmount
    // and go.
    ::close(toServer_);
    toServer_ = fromServer_ = -1;
    int status = 0;
    const Clock::time_point end = Clock::now() + kAnswerTimeout;
    while (::waitpid(server_, &status, WNOHANG) == 0) {
        if (Clock::now() > end) {
            ::kill(server_, SIGKILL);
            ::waitpid(server_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    server_ = -1;
    if (::rmdir(root_.c_str()) != 0 && errno == EBUSY) {
        ::umount2(root_.c_str(), MNT_DETACH);
        ::rmdir(root_.c_str());
    }
}

}  // namespace quorvel::testing
