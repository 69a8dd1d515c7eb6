// SPDX-License-Identifier: MIT
#pragma once
// Times one folder read on the calling thread and tells whether it waited
// for the device the folder is on: the one part of read-ahead that asks the
// system about threads (getrusage and /proc on Linux; elsewhere a slow read
// counts as one that waited).
//
// A read is slow when it takes longer than a read from memory takes. A slow
// read waited when its thread gave up its core meanwhile and, on a file
// system on a block device, read blocks from it: a passing stall of the host
// or a lock held by another thread gives up the core too, and one that only
// lost its core to other programs does not give it up at all. On a network
// or FUSE file system, whose reads no block device of ours makes, a slow read
// that gave up its core counts as waited.

#include <chrono>
#include <cstdint>

#include <quorvel/DirectoryReader.h>

#include "WorkerPacer.h"

namespace quorvel {

// What the system tells of a thread's waits: how often it has given up its
// core, and how many blocks it has read from storage.
struct ThreadWaits {
    std::uint64_t switches = 0;
    std::uint64_t blocksRead = 0;
};

// A thread's waits as last asked, kept from one read to the next. Asking
// costs a system call, as much as a small folder's read: a thread asks after
// a slow read only, and again every so many reads. A quick read leaves the
// counts unchanged unless it waited, and then the next slow read counts as
// waited too, as a read from a device should. A thread that slept for
// anything but a read (for work, for the queue's lock) asks again, so that
// an old count adds no worker.
class WaitCount {
  public:
    ThreadWaits Before();
    void Asked(ThreadWaits waits);
    // The thread is about to sleep for something other than a read.
    void Forget() { readsLeft_ = 0; }

  private:
    ThreadWaits waits_;
    std::uint64_t lockSleeps_ = 0;
    unsigned readsLeft_ = 0;
};

// Times one read from construction to End.
class ReadClock {
  public:
    // Reads faster than this are quick: low enough that a fast SSD's reads
    // reach it, since the sooner a cold walk has its workers, the sooner it
    // is done.
    static constexpr std::chrono::microseconds kSlowRead{300};

    // Without `count`, the system is asked before and after.
    explicit ReadClock(WaitCount* count = nullptr);
    // `folder`: the folder read, asked for its device only when a slow read
    // gave up its core and read nothing from storage; null when it could not
    // be read.
    ReadResult End(FolderListing* folder) const;

  private:
    std::chrono::steady_clock::time_point start_;
    WaitCount* count_;
    ThreadWaits before_;
};

}  // namespace quorvel
