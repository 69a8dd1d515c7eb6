// SPDX-License-Identifier: MIT
// quorvel-test-fusefs: serves a tree held in memory (FuseTree.h) over FUSE,
// with folders whose listing hangs, fails part-way, is slow or changes while
// it is read. Tests drive it through FuseMount; the benchmark from a shell.
//
// Commands come on standard input, one a line (FuseWire.h); before mounting:
//   folder PATH | file PATH           an entry, and the folders on its way
//   mirror DIR                        the folders and files of a real folder
//                                     (the files empty), in its own order
//   hang PATH AFTER                   see Faults in FuseTree.h
//   fail PATH AFTER ERRNO
//   latency PATH MICROSECONDS         PATH and the folders below it
//   change PATH AFTER OP NAME [NEW]   OP: add-file add-folder remove rename
//   mount MOUNTPOINT                  answered "ready", or "error TEXT"
// once mounted, each answered "done" once in force:
//   hang PATH AFTER | release PATH    a released folder's held calls go on
// It reports "hanging PATH" each time it holds a call.
//
// It ends when standard input ends, that is when the test process is gone,
// however it ended (the pipe's end closes with the process's last thread;
// PR_SET_PDEATHSIG would fire with the thread that started the server), or
// on SIGTERM, SIGINT or SIGHUP. Held and delayed calls then fail with EIO, the
// mount is detached and the mount point removed. Mounted with auto_unmount,
// fusermount3 detaches the mount even if this process is killed outright.
//
// One thread, and no call handler waits: a held or delayed call is answered
// later from the loop, so slow calls overlap as they do on a server, and the
// loop still reads the kernel's interrupts. A process blocked in a held call
// cannot be killed until the call is answered (the kernel has handed it to
// the server); the signal reaches the server as an interrupt, and the call
// is answered EINTR, so that a test timing out still ends.

#define FUSE_USE_VERSION 35
#include <dirent.h>
#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FuseServerSetup.h"
#include "FuseTree.h"
#include "FuseWire.h"

namespace {

using namespace quorvel::testing;
using fusefs::NodeId;
using fusefs::Report;
using fusewire::Escape;
using fusewire::Unescape;
using Clock = std::chrono::steady_clock;

// One open listing: the offsets of the entries other than "." and ".." that
// it returned, so that a call knows how far its listing has got.
struct Handle {
    NodeId folder = 0;
    std::vector<std::uint64_t> sent;
};

struct Call {
    fuse_req_t req = nullptr;
    std::uint64_t handle = 0;
    std::size_t size = 0;
    std::uint64_t offset = 0;
    Clock::time_point due;
};

class Server {
  public:
    fusefs::Tree tree;

    void Lookup(fuse_req_t req, NodeId parent, const char* name) {
        const NodeId id = tree.Valid(parent) ? tree.Lookup(parent, name) : 0;
        if (id == 0) {
            fuse_reply_err(req, ENOENT);
            return;
        }
        // Nothing cached: a change is seen by the next lookup.
        fuse_entry_param entry{};
        entry.ino = id;
        entry.generation = 1;
        entry.attr = Attributes(id);
        fuse_reply_entry(req, &entry);
    }

    void GetAttr(fuse_req_t req, NodeId id) {
        if (!tree.Valid(id)) {
            fuse_reply_err(req, ENOENT);
            return;
        }
        const struct stat attributes = Attributes(id);
        fuse_reply_attr(req, &attributes, 0.0);
    }

    void OpenDir(fuse_req_t req, NodeId id, fuse_file_info* info) {
        if (!tree.Valid(id) || tree.At(id).removed) {
            fuse_reply_err(req, ENOENT);
        } else if (!tree.At(id).folder) {
            fuse_reply_err(req, ENOTDIR);
        } else {
            info->fh = nextHandle_++;
            handles_[info->fh] = Handle{id, {}};
            fuse_reply_open(req, info);
        }
    }

    void ReleaseDir(fuse_req_t req, const fuse_file_info* info) {
        handles_.erase(info->fh);
        fuse_reply_err(req, 0);
    }

    void ReadDir(fuse_req_t req, std::size_t size, off_t offset, const fuse_file_info* info) {
        const auto handle = handles_.find(info->fh);
        if (handle == handles_.end()) {
            fuse_reply_err(req, EBADF);
            return;
        }
        if (offset == 0) handle->second.sent.clear();
        Call call{req, info->fh, size, static_cast<std::uint64_t>(offset), {}};
        const NodeId folder = handle->second.folder;
        const fusefs::Faults& faults = tree.At(folder).faults;
        if (faults.hangAfter && Listed(handle->second, call.offset) >= *faults.hangAfter) {
            fuse_req_interrupt_func(req, &Server::Interrupted, this);
            held_.push_back(call);
            Report("hanging " + Escape(tree.PathOf(folder)));
            return;
        }
        const std::chrono::microseconds latency = tree.LatencyOf(folder);
        if (latency.count() > 0 && tree.HasEntriesAfter(folder, call.offset)) {
            call.due = Clock::now() + latency;
            fuse_req_interrupt_func(req, &Server::Interrupted, this);
            delayed_.push_back(call);
            return;
        }
        Answer(call);
    }

    // Commands while mounted; false for one it does not know.
    bool Command(const std::vector<std::string_view>& words) {
        const NodeId folder = words.size() >= 2 ? tree.Find(Unescape(words[1])) : 0;
        if (folder == 0 || !tree.At(folder).folder) return false;
        if (words[0] == "hang" && words.size() == 3) {
            tree.At(folder).faults.hangAfter =
                std::strtoull(std::string(words[2]).c_str(), nullptr, 10);
            return true;
        }
        if (words[0] != "release" || words.size() != 2) return false;
        tree.At(folder).faults.hangAfter.reset();
        std::vector<Call> released;
        std::erase_if(held_, [&](const Call& call) {
            const auto handle = handles_.find(call.handle);
            if (handle == handles_.end() || handle->second.folder != folder) return false;
            released.push_back(call);
            return true;
        });
        for (const Call& call : released) Answer(call);
        return true;
    }

    // Calls whose time has come, and when the next one's will.
    std::optional<Clock::time_point> AnswerDue() {
        const Clock::time_point now = Clock::now();
        std::vector<Call> due;
        std::erase_if(delayed_, [&](const Call& call) {
            if (call.due > now) return false;
            due.push_back(call);
            return true;
        });
        for (const Call& call : due) Answer(call);
        std::optional<Clock::time_point> next;
        for (const Call& call : delayed_) next = next ? std::min(*next, call.due) : call.due;
        return next;
    }

    void AnswerInterrupted() {
        for (const fuse_req_t req : std::exchange(interrupted_, {})) {
            for (std::vector<Call>* calls : {&held_, &delayed_}) {
                const auto call = std::find_if(calls->begin(), calls->end(),
                                               [req](const Call& c) { return c.req == req; });
                if (call == calls->end()) continue;
                calls->erase(call);
                fuse_reply_err(req, EINTR);
            }
        }
    }

    void FailAll() {
        for (std::vector<Call>* calls : {&held_, &delayed_}) {
            for (const Call& call : *calls) fuse_reply_err(call.req, EIO);
            calls->clear();
        }
    }

  private:
    // Called from inside fuse_session_process_buf (or at once, when the
    // call was interrupted before it was held): answered from the loop.
    static void Interrupted(fuse_req_t req, void* self) {
        static_cast<Server*>(self)->interrupted_.push_back(req);
    }

    static std::size_t Listed(const Handle& handle, std::uint64_t offset) {
        return static_cast<std::size_t>(
            std::upper_bound(handle.sent.begin(), handle.sent.end(), offset) - handle.sent.begin());
    }

    struct stat Attributes(NodeId id) const {
        struct stat attributes {};
        attributes.st_ino = id;
        attributes.st_mode = tree.At(id).folder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
        attributes.st_nlink = tree.At(id).folder ? 2 : 1;
        attributes.st_uid = ::getuid();
        attributes.st_gid = ::getgid();
        return attributes;
    }

    void Answer(const Call& call) {
        const auto handle = handles_.find(call.handle);
        if (handle == handles_.end()) {
            fuse_reply_err(call.req, EBADF);
            return;
        }
        const NodeId folder = handle->second.folder;
        const std::size_t listed = Listed(handle->second, call.offset);
        fusefs::Faults& faults = tree.At(folder).faults;
        if (tree.At(folder).removed) {
            fuse_reply_err(call.req, ENOENT);  // as Linux answers for a deleted folder
            return;
        }
        if (faults.failAfter && listed >= *faults.failAfter) {
            fuse_reply_err(call.req, faults.failError);
            return;
        }
        if (faults.changeAfter && listed >= *faults.changeAfter) {
            faults.changeAfter.reset();
            for (const fusefs::Change& change : std::exchange(faults.changes, {})) {
                if (!tree.Apply(folder, change)) Report("error change of " + change.name);
            }
        }
        // No further than the next fault, so that the call after it meets it.
        std::size_t room = SIZE_MAX;
        const fusefs::Faults& now = tree.At(folder).faults;
        for (const std::optional<std::size_t>& after :
             {now.hangAfter, now.failAfter, now.changeAfter}) {
            if (after && *after > listed) room = std::min(room, *after - listed);
        }
        std::vector<char> reply(call.size);
        std::size_t used = 0;
        for (const fusefs::ListedEntry& entry : tree.EntriesAfter(folder, call.offset)) {
            if (!entry.dotOrDotDot && room == 0) break;
            struct stat type {};
            type.st_ino = entry.node;
            type.st_mode = entry.folder ? S_IFDIR : S_IFREG;
            const std::string name(entry.name);
            const std::size_t need =
                fuse_add_direntry(call.req, reply.data() + used, reply.size() - used, name.c_str(),
                                  &type, static_cast<off_t>(entry.offset));
            if (need > reply.size() - used) break;
            used += need;
            if (!entry.dotOrDotDot) {
                handle->second.sent.push_back(entry.offset);
                --room;
            }
        }
        fuse_reply_buf(call.req, reply.data(), used);
    }

    std::map<std::uint64_t, Handle> handles_;
    std::uint64_t nextHandle_ = 1;
    std::vector<Call> held_;
    std::vector<Call> delayed_;
    std::vector<fuse_req_t> interrupted_;
};

Server& Of(fuse_req_t req) {
    return *static_cast<Server*>(fuse_req_userdata(req));
}

fuse_lowlevel_ops Operations() {
    fuse_lowlevel_ops ops{};
    ops.lookup = [](fuse_req_t req, fuse_ino_t parent, const char* name) {
        Of(req).Lookup(req, parent, name);
    };
    ops.getattr = [](fuse_req_t req, fuse_ino_t id, fuse_file_info*) { Of(req).GetAttr(req, id); };
    ops.opendir = [](fuse_req_t req, fuse_ino_t id, fuse_file_info* info) {
        Of(req).OpenDir(req, id, info);
    };
    ops.readdir = [](fuse_req_t req, fuse_ino_t, std::size_t size, off_t offset,
                     fuse_file_info* info) { Of(req).ReadDir(req, size, offset, info); };
    ops.releasedir = [](fuse_req_t req, fuse_ino_t, fuse_file_info* info) {
        Of(req).ReleaseDir(req, info);
    };
    return ops;
}

// Serves until standard input ends or a signal asks to stop.
void Serve(Server& server, fuse_session* session, fusefs::LineReader& input) {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    const int signals = ::signalfd(-1, &stops, SFD_CLOEXEC);
    fuse_buf buffer{};
    std::optional<Clock::time_point> next;
    for (bool serving = true; serving && !fuse_session_exited(session);) {
        pollfd fds[] = {
            {fuse_session_fd(session), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}, {signals, POLLIN, 0}};
        timespec wait{};
        if (next) {
            const auto left = std::max(Clock::duration{}, *next - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        }
        if (::ppoll(fds, 3, next ? &wait : nullptr, nullptr) < 0 && errno != EINTR) break;
        if (fds[2].revents != 0) break;
        if (fds[1].revents != 0) {
            std::vector<std::string> lines;
            serving = input.Read(lines);
            for (const std::string& line : lines) {
                Report(server.Command(fusewire::Words(line)) ? "done" : "error " + line);
            }
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const int got = fuse_session_receive_buf(session, &buffer);
            if (got < 0 && got != -EINTR) break;
            if (got > 0) fuse_session_process_buf(session, &buffer);
        } else if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) {
            break;
        }
        server.AnswerInterrupted();
        next = server.AnswerDue();
    }
    std::free(buffer.mem);
    server.FailAll();
    if (signals >= 0) ::close(signals);
}

}  // namespace

int main() {
    ::signal(SIGPIPE, SIG_IGN);
    Server server;
    fusefs::LineReader input;
    std::string mountPoint;
    if (!fusefs::Setup(server.tree, input, mountPoint)) return 2;

    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    for (const char* arg :
         {"quorvel-test-fusefs", "-o", "fsname=quorvel-test,subtype=quorvel-test,auto_unmount"}) {
        fuse_opt_add_arg(&args, arg);
    }
    const fuse_lowlevel_ops ops = Operations();
    fuse_session* session = fuse_session_new(&args, &ops, sizeof ops, &server);
    fuse_opt_free_args(&args);
    if (!session || fuse_session_mount(session, mountPoint.c_str()) != 0) {
        Report("error FUSE could not be mounted at " + Escape(mountPoint) +
               " (the server's standard error tells why)");
        if (session) fuse_session_destroy(session);
        return 3;
    }
    Report("ready");
    Serve(server, session, input);
    fuse_session_unmount(session);
    fuse_session_destroy(session);
    ::rmdir(mountPoint.c_str());
    return 0;
}
