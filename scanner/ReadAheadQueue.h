// SPDX-License-Identifier: MIT
#pragma once
// The shared half of one read-ahead walk: the folders waiting to be read,
// the worker threads that read them, the listings they have read, and the
// memory those hold.
//
// Order: every folder has a key, the index of its entry in each folder on
// the way down from the root (1, 2 or 5 bytes a level: encodings that sort
// as the indexes do, none the start of another), so that comparing keys as
// byte strings is comparing positions in the walk's pre-order. Workers
// take the waiting folder with the smallest key, the one the walk will need
// first (or, while the walk keeps up with them on folders in memory, the one
// after it, leaving that one to the walk); memory goes the same way (a worker
// that needs room takes it from listings that the walk will need later, which
// then wait to be read again), and workers pause while the listings ready
// ahead of the walk exceed a few megabytes.
// When the walk asks for key K, every folder before K is behind it: whatever
// is held or waiting for those is dropped.
//
// Threads: the walk calls everything but Work from its own thread. A worker
// opens its folder through the inner reader, reads it to its end, and only
// then publishes it. It opens a folder by name from its parent when it still
// holds the parent's listing, by path otherwise; it keeps a folder it has
// read open while the folders below it come next, up to a few levels, so
// that it holds a few listings (and descriptors) at a time, and none while
// it waits. It never waits for the walk, and the walk waits only for a
// folder a worker is reading; while reads are quick, it reads the next
// waiting folder meanwhile, as a worker would (on two cores, the walk and
// one worker then share the reading as it comes, instead of the walk
// spinning for a folder a read's length at a time).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <quorvel/DirectoryReader.h>

#include "ListingSnapshot.h"

namespace quorvel {

class ReadAheadQueue {
  public:
    ReadAheadQueue(std::shared_ptr<DirectoryReader> inner, unsigned workers, std::size_t memoryCap);
    ~ReadAheadQueue();
    ReadAheadQueue(const ReadAheadQueue&) = delete;
    ReadAheadQueue& operator=(const ReadAheadQueue&) = delete;

    DirectoryReader& Inner() const { return *inner_; }
    // False once stopped: nothing is read ahead any more.
    bool Active() const { return !stopped_; }

    // The listing of folder `key`, entry `name`, if a worker has read it,
    // and its path (moved into `path`); waits while a worker is reading it.
    // Null: the walk reads it itself. Its memory stays charged until the walk
    // calls Release.
    std::unique_ptr<ListingSnapshot> Take(const std::string& key, std::string_view name,
                                          std::string& path);
    // Queues the subfolders of a listing the walk is about to walk: `key` and
    // `path` (ending in '/') are the listing's own. Links are left to the walk.
    void Publish(const std::string& key, const std::string& path, const ListingSnapshot& snapshot);
    // Charges `bytes` for a listing of folder `key`, making room from
    // listings the walk needs after it; false when there is none to make.
    bool Reserve(std::size_t bytes, const std::string& key);
    // The walk has left a listing: `bytes` were charged for it, and its
    // snapshot's buffer serves a later folder. Settled at the walk's next
    // call that takes the lock anyway, so that leaving a folder takes none.
    void Release(std::unique_ptr<ListingSnapshot> snapshot, std::size_t bytes);
    // An empty snapshot for a folder the walk reads itself; its capacity,
    // if any, is charged already.
    std::unique_ptr<ListingSnapshot> Spare();

    // Ends the read-ahead: drops everything waiting or held, and workers end
    // after the entry they are reading.
    void Stop();
    // Stop, and return once no worker runs (none holds a descriptor).
    void Quiesce();
    // What the system tells of a thread's waits, as last asked: how often
    // it has given up its core, and how many blocks it has read from
    // storage. Asking costs a system call, as much as a small folder's
    // read: a worker asks after a slow read only, and keeps the counts from
    // one read to the next. A quick read leaves them unchanged unless it
    // waited, and then the next slow read counts as waited too, as a worker
    // reading from a device should. A thread that slept for anything but a
    // read (for work, for the lock) asks again, as it does every so many
    // reads, so that an old count adds no worker.
    struct ThreadWaits {
        std::uint64_t switches = 0;
        std::uint64_t blocksRead = 0;
    };
    class WaitCount {
      public:
        ThreadWaits Before();
        void Asked(ThreadWaits waits);
        void Forget() { readsLeft_ = 0; }

      private:
        ThreadWaits waits_;
        std::uint64_t otherSleeps_ = 0;
        unsigned readsLeft_ = 0;
    };
    // Times one folder read on the calling thread, from construction to
    // End: slow (longer than a read from memory takes), and whether the
    // thread waited meanwhile for the device the folder is on. A read that
    // gave up its core without reading from its block device (the host
    // stalled it, another thread held a lock) did not wait for it; one that
    // only lost its core to other programs did not either. On a network or
    // FUSE file system, and where the system tells nothing, a slow read that
    // gave up its core counts as waited.
    class ReadClock {
      public:
        struct Result {
            bool slow = false;
            bool waited = false;
        };
        // Without `count`, the system is asked before and after.
        explicit ReadClock(WaitCount* count = nullptr);
        // `folder`: the folder read, asked for its device only when a slow
        // read gave up its core and read nothing from storage; null when
        // it could not be read.
        Result End(FolderListing* folder) const;

      private:
        std::chrono::steady_clock::time_point start_;
        WaitCount* count_;
        ThreadWaits before_;
    };
    // The walk read a folder itself: a slow read ends its catching up, and
    // one that waited adds a worker, up to the number allowed.
    void NoteRead(ReadClock::Result read);

    // The key of entry `index` of the folder whose key is `key`.
    static std::string ChildKey(const std::string& key, std::uint32_t index);
    // Whether `child` is the key of an entry of the folder keyed `parent`.
    static bool IsChildKey(std::string_view child, std::string_view parent);
    // Times a folder the walk reads itself.
    ReadClock WalkReadClock() { return ReadClock(&walkWaits_); }
    // Only a name that a path carries unchanged is read ahead by path.
    static bool NameFitsInPath(std::string_view name);

  private:
    struct Task;
    // Keyed by a view of the task's own key: a task moves between the maps
    // without copying it.
    using Tasks = std::map<std::string_view, std::shared_ptr<Task>, std::less<>>;
    // Snapshots to free once the lock is released.
    using Snapshots = std::vector<std::unique_ptr<ListingSnapshot>>;

    // Worker `index` reads while fewer than `activeWorkers_` come before it.
    void Work(const std::stop_token& stop, std::size_t index);
    struct Held;
    // A folder taken from `waiting_` to be read, and what it is read into.
    struct Claim {
        std::shared_ptr<Task> task;
        std::unique_ptr<ListingSnapshot> snapshot;
        bool read = false;
    };
    Claim ClaimLocked(Tasks::iterator next);
    // Reads a claimed folder without the lock, as ReadFolder does; whatever
    // goes wrong leaves it unread.
    ReadClock::Result ReadClaimed(Claim& claim, std::vector<Held>& held,
                                  std::vector<std::shared_ptr<Task>>& children, WaitCount& waits,
                                  const std::stop_token& stop);
    // Publishes a claimed folder as read, or gives it up.
    void FinishLocked(Claim& claim, ReadClock::Result timing,
                      std::vector<std::shared_ptr<Task>>& children, Snapshots& dropped);
    class SpinningMutex;
    // The walk waits for `awaited`, which a worker is reading: while reads
    // are quick, it reads the next waiting folders meanwhile. Called and
    // returns with `lock` held; true if one of its reads waited for a device.
    bool HelpWhileWaitingLocked(std::unique_lock<SpinningMutex>& lock, const Task& awaited,
                                Snapshots& dropped);
    // Reads `folder` into `snapshot` and makes the tasks of its subfolders:
    // opened by name from the last of `held` if that is its parent, and
    // kept there if it has subfolders. `clock` ends into `timing` once the
    // folder is read, while its listing can still tell its device.
    bool ReadFolder(const std::shared_ptr<Task>& folder, ListingSnapshot& snapshot,
                    std::vector<Held>& held, std::vector<std::shared_ptr<Task>>& children,
                    const ReadClock& clock, ReadClock::Result& timing, const std::stop_token& stop);
    // The tasks of a listing's subfolders, made before taking the lock,
    // appended to `children`.
    static void ChildTasks(const std::string& key, std::string_view folder,
                           const ListingSnapshot& snapshot,
                           std::vector<std::shared_ptr<Task>>& children);
    // Queues what fits of `tasks`; `again`: some may have been queued before.
    std::size_t QueueLocked(std::vector<std::shared_ptr<Task>>& tasks, bool again);
    bool CanStartLocked() const;
    // The workers a walk starts with.
    std::size_t FirstWorkerCount() const;
    bool ReserveLocked(std::size_t bytes, std::string_view key, Snapshots& dropped);
    void DropBeforeLocked(std::string_view key, Snapshots& dropped);
    // Keeps `snapshot`, whose capacity is charged, as a spare, or uncharges
    // it for `dropped`.
    void RecycleLocked(std::unique_ptr<ListingSnapshot> snapshot, Snapshots& dropped);
    // The first of `tasks` if it is `key`'s, else end.
    static Tasks::iterator FindFirst(Tasks& tasks, std::string_view key);
    // Leaves a task the walk has taken for a worker to free, or, if the
    // walk made it, in `freedHere` for the walk to free after the lock.
    void BuryLocked(Tasks::node_type task, Tasks::node_type& freedHere);
    // Applies the walk's releases; true if there were any.
    bool SettleReleasesLocked(Snapshots& dropped);
    // Starts a worker, or lets the one paused last go on.
    bool AddWorker();

    const std::shared_ptr<DirectoryReader> inner_;
    const unsigned workerCount_;
    const std::size_t memoryCap_;

    // Held for a few microseconds at a time, by the walk and the workers
    // once a folder each: a thread that finds it taken spins a moment
    // before it sleeps, as putting a thread to sleep and waking it costs
    // several times that on a virtual machine.
    class SpinningMutex {
      public:
        void lock();
        void unlock() {
            held_.store(false, std::memory_order_relaxed);
            mutex_.unlock();
        }
        bool try_lock() {
            if (!mutex_.try_lock()) return false;
            held_.store(true, std::memory_order_relaxed);
            return true;
        }

      private:
        std::mutex mutex_;
        // A hint for spinners, who read it instead of trying the mutex: a
        // failed try takes the mutex's cache line from the holder's core.
        std::atomic<bool> held_ = false;
    };

    SpinningMutex mutex_;
    std::condition_variable_any workAvailable_;
    // Woken when the task the walk sleeps for is done.
    std::condition_variable_any walkWoken_;
    const Task* walkWaitsFor_ = nullptr;
    Tasks waiting_;
    Tasks reading_;
    Tasks ready_;
    // Emptied snapshots whose buffers serve the next folders; their
    // capacity stays charged, and they are the first to go for room.
    Snapshots spare_;
    std::vector<Tasks::node_type> buried_;
    std::size_t charged_ = 0;
    std::size_t idleWorkers_ = 0;
    // The workers that read, the first ones started; those after them
    // pause, until the next wait for a device. Changed by the walk (up) and
    // by workers (down, after reads that did not wait).
    std::size_t activeWorkers_ = 0;
    std::size_t readsSinceWait_ = 0;
    std::condition_variable_any unparked_;
    // A worker waits for memory, not for work: freeing some wakes it.
    bool memoryShort_ = false;
    // The capacity of the listings in `ready_`; workers pause while it is
    // large, until the walk has taken enough of it (`leadFull_`).
    std::size_t readyBytes_ = 0;
    bool leadFull_ = false;
    // The walk met its latest folder not yet read, and reads are quick: it
    // reads its next one itself, workers the ones after it. Written by the
    // walk, read by workers as a hint.
    std::atomic<bool> walkCaughtUp_ = false;
    // The walk's own reads while it waits, timed as a worker's are.
    WaitCount walkWaits_;
    // Written by the walk only; workers learn of a stop through their tokens.
    bool stopped_ = false;
    // The walk's releases since it last took the lock: the walk's only.
    Snapshots walkReleased_;
    std::size_t walkReleasedBytes_ = 0;
    std::vector<std::jthread> workers_;
};

}  // namespace quorvel
