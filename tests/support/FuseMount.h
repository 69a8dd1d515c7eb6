// SPDX-License-Identifier: MIT
#pragma once
// A FUSE file system of the test's own, whose folders fail the ways a real
// one does when its disk or its server is in trouble, which neither a tree
// on the machine's disks nor a test running as root can make happen: a
// listing that never returns until the test releases it, one that fails with
// EIO part-way, one that takes a set time per read, one that changes while
// it is read. The tree is described in code, then mounted in a temporary
// folder, served by quorvel-test-fusefs in a process of its own.
//
//   FuseMount fs;
//   fs.File("dead/x");
//   fs.HangListing("dead");
//   if (!fs.Mount()) GTEST_SKIP() << fs.WhyNotMounted();
//   ... a walk of fs.Root() on another thread ...
//   ASSERT_TRUE(fs.WaitUntilHanging("dead", std::chrono::seconds(10)));
//   fs.Release("dead");
//
// Paths are relative to the mount's root ("" is the root), '/'-separated,
// any bytes but NUL. Entries are listed in the order they were described,
// after "." and "..". Fault counts (`after`) are entries other than "." and
// "..": with `after` 2, a listing returns two entries, and the next read
// meets the fault.
//
// Always unmounted: by the destructor; by the server when this process ends
// in any way (a crash included); by fusermount3 when the server itself is
// killed. A read held by HangListing fails with EIO when the mount goes, so
// a thread still blocked in it comes back. Not thread-safe: one thread
// describes, mounts and drives it.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

class FuseMount {
  public:
    struct Change {
        enum class Kind { AddFile, AddFolder, Remove, Rename };
        Kind kind;
        std::string name;
        std::string newName = {};  // Rename only
    };

    FuseMount() = default;
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    // The tree, before Mount. Folders on the way are made.
    void Folder(std::string_view path);
    void File(std::string_view path);
    // Reads of the folder's listing from `after` entries on are held until
    // Release; WaitUntilHanging tells when one is. Also while mounted: the
    // next reads that get that far are held.
    void HangListing(std::string_view folder, std::size_t after = 0);
    // Every listing of the folder fails with `error` after `after` entries.
    void FailListing(std::string_view folder, std::size_t after, int error);
    // Each read of a listing, of the folder and of every folder below it
    // that sets none of its own, takes `perRead` before it returns entries.
    void Latency(std::string_view folder, std::chrono::microseconds perRead);
    // The first listing of the folder that has returned `after` entries
    // makes `changes`, in order, before its next read is answered.
    void ChangeWhileListed(std::string_view folder, std::size_t after,
                           const std::vector<Change>& changes);

    // Mounts the tree in a new temporary folder. False when FUSE is missing
    // or cannot be mounted here; WhyNotMounted() then says why, for a skip.
    bool Mount();
    const std::string& WhyNotMounted() const { return whyNot_; }

    const std::string& Root() const { return root_; }  // absolute, no trailing '/'
    std::string Path(std::string_view relative) const;

    // Whether a read of `folder` is held, or becomes held within `timeout`,
    // since the mount or the last Release of that folder.
    bool WaitUntilHanging(std::string_view folder, std::chrono::milliseconds timeout);
    // The folder's held reads go on, and later ones are not held.
    void Release(std::string_view folder);

  private:
    // Sends a command while mounted and waits until it is in force.
    void Command(const std::string& line);
    // Reads the server's reports for up to `timeout`, or until `until` holds.
    template <typename Done>
    bool ReadReports(std::chrono::milliseconds timeout, const Done& until);
    bool Spawn();
    void Unmount();

    std::string setup_;
    std::string root_;
    std::string whyNot_;
    pid_t server_ = -1;
    int toServer_ = -1;
    int fromServer_ = -1;
    std::string reportBuffer_;
    std::vector<std::string> replies_;    // "ready", "done" and "error ..."
    std::map<std::string, int> hanging_;  // wire path: reads held
};

}  // namespace quorvel::testing
