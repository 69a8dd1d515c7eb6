// SPDX-License-Identifier: MIT
#pragma once
// The shared half of one read-ahead walk: the folders waiting to be read,
// being read and read, in three maps by walk key (WalkKey.h), and what moves
// them from one to the next.
//
// Order: workers take the waiting folder the walk will need first (or, while
// the walk keeps up with them on folders in memory, the one after it, leaving
// that one to the walk); memory goes the same way (a worker that needs room
// takes it from listings that the walk will need later, which then wait to be
// read again), and workers pause while the listings ready ahead of the walk
// exceed a few megabytes. When the walk asks for key K, every folder before K
// is behind it: whatever is held or waiting for those is dropped.
//
// Threads: the walk calls everything but Work from its own thread, workers
// run Work. A worker reads a folder to its end before it publishes it
// (FolderPrefetch.h), never waits for the walk, and holds no descriptor while
// it waits. The walk waits only for a folder a worker is reading, in one
// place (AwaitReadingLocked); while reads are quick, it reads the next
// waiting folder meanwhile, as a worker would (on two cores, the walk and one
// worker then share the reading as it comes, instead of the walk waiting for
// a folder a read's length at a time).
//
// A walk that must not block (ReadAheadWalkSide.h) waits in slices, yielding
// between them, and may give its wait up. It reads nothing on its own
// thread: it does not help while it waits, and what it reads once it has
// caught up it reads through its reader's thread. Its workers run detached,
// each keeping the queue alive.
//
// Also here: the memory ledger (ListingBudget.h), how many workers read
// (WorkerPacer.h), their threads (WorkerThreads.h), all under one lock
// (SpinningMutex.h).

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <quorvel/DirectoryReader.h>

#include "FolderPrefetch.h"
#include "ListingBudget.h"
#include "ListingSnapshot.h"
#include "ReadAheadTask.h"
#include "ReadAheadWalkSide.h"
#include "ReadTiming.h"
#include "SpinningMutex.h"
#include "WorkerPacer.h"
#include "WorkerThreads.h"

namespace quorvel {

class ReadAheadQueue : public std::enable_shared_from_this<ReadAheadQueue> {
  public:
    // Made with make_shared: detached workers keep it alive.
    ReadAheadQueue(std::shared_ptr<DirectoryReader> inner, unsigned workers, std::size_t memoryCap,
                   ReadAheadWalkSide walkSide = {});
    // Stops the workers and joins those not detached; in debug builds,
    // asserts that nothing is left charged.
    ~ReadAheadQueue();
    ReadAheadQueue(const ReadAheadQueue&) = delete;
    ReadAheadQueue& operator=(const ReadAheadQueue&) = delete;

    // What the walk reads through itself.
    DirectoryReader& Inner() const { return walkSide_.reader ? *walkSide_.reader : *inner_; }
    // False once stopped: nothing is read ahead any more.
    bool Active() const { return !stopped_; }
    // The walk gave up a wait: it reads nothing more.
    bool GaveUp() const { return walkSide_.waiter && walkSide_.waiter->GaveUp(); }

    // The listing of folder `key`, entry `name`, if a worker has read it,
    // and its path (moved into `path`); waits while a worker is reading it.
    // Null: the walk reads it itself (unless it gave the wait up). Its
    // memory stays charged until the walk calls Release.
    std::unique_ptr<ListingSnapshot> Take(const std::string& key, std::string_view name,
                                          std::string& path);
    // Queues the subfolders of a listing the walk is about to walk: `key` and
    // `path` (ending in '/') are the listing's own. Links are left to the walk.
    void Publish(const std::string& key, const std::string& path, const ListingSnapshot& snapshot);
    // Charges `bytes` for a listing of folder `key`, making room from
    // listings the walk needs after it; false when there is none to make.
    bool Reserve(std::size_t bytes, const std::string& key);
    // The walk has left a listing, for which `bytes` were charged. Settled
    // at the walk's next call that takes the lock anyway, so that leaving a
    // folder takes none.
    void Release(std::size_t bytes);
    // Times a folder the walk reads itself.
    ReadClock WalkReadClock() { return ReadClock(&walkWaits_); }
    // The walk read a folder itself: a slow read ends its catching up, and
    // one that waited adds a worker, up to the number allowed.
    void NoteRead(ReadResult read);

    // Ends the read-ahead: drops everything waiting or held, and workers end
    // after the entry they are reading.
    void Stop();
    // Stop, and return once no worker runs (none holds a descriptor); with
    // detached workers, only Stop.
    void Quiesce();

    struct Ledger {
        std::size_t charged = 0;
        std::size_t peak = 0;
        std::size_t cap = 0;
    };
    Ledger LedgerNow();

  private:
    using Task = ReadAheadTask;
    using Tasks = ReadAheadTasks;

    // A worker starts a folder only with at least this much room (or room it
    // can take from listings needed later): most folders fit in it.
    static constexpr std::size_t kStartBytes = 4096;
    // How far workers read ahead of the walk, in bytes of listings it has not
    // reached yet: beyond that they pause until the walk has taken half of
    // it. Further ahead gains nothing (the walk takes a listing far faster
    // than the disk delivers it, and from memory a worker keeps pace), and
    // costs fresh memory and listings that have left the caches when the
    // walk reaches them.
    static constexpr std::size_t kLeadBytes = std::size_t{4} << 20;
    using TaskList = std::vector<std::shared_ptr<Task>>;

    // How the walk's wait for a folder a worker was reading went.
    enum class Waited {
        kNotReading,     // no worker was reading it: no wait
        kQuick,          // over within a quick read's time
        kSlow,           // longer, without a read that waited for a device
        kSlowForDevice,  // and a read that waited for a device: add a worker
        kGivenUp,        // the walk gave the wait up
    };
    // Why a worker does not start a folder now.
    enum class Idle {
        kNone,      // it starts one
        kPaused,    // the pacer has paused it
        kNoWork,    // nothing waits to be read (or the walk has stopped)
        kLeadFull,  // the listings ready ahead of the walk are enough
        kNoRoom,    // the ledger has no room for another listing
    };
    // A folder taken from `waiting_` to be read, and what it is read into.
    struct Claim {
        std::shared_ptr<Task> task;
        std::unique_ptr<ListingSnapshot> snapshot;
    };
    // What a worker keeps from one folder to the next.
    struct WorkerState {
        explicit WorkerState(DirectoryReader& inner) : prefetch(inner) {}
        FolderPrefetch prefetch;
        WaitCount waits;
        TaskList children;
        // Freed outside the lock, the folder after they were let go.
        Snapshots dropped;
    };

    // The walk's side.
    // Sleeps on walkWoken_ until `task` is done; false when the walk gave
    // it up.
    bool SleepUntilDoneLocked(std::unique_lock<SpinningMutex>& lock, const Task& task);
    Waited AwaitReadingLocked(std::unique_lock<SpinningMutex>& lock, std::string_view key,
                              std::string_view name, Snapshots& dropped);
    // Reads the next waiting folders while `awaited` is read and reads are
    // quick; true if one of its reads waited for a device.
    bool HelpWhileWaitingLocked(std::unique_lock<SpinningMutex>& lock, const Task& awaited,
                                Snapshots& dropped);
    // Takes what is held for `key`; true if anything was uncharged.
    bool TakeLocked(std::string_view key, std::string_view name, Waited waited,
                    std::unique_ptr<ListingSnapshot>& taken, std::string& path, Snapshots& dropped,
                    Tasks::node_type& freedHere);
    void DropBeforeLocked(std::string_view key, Snapshots& dropped);
    // Drops what is queued, read or being read below `folder`: a folder's
    // subfolders are queued only while its own task is, or once the walk has
    // it (else they would be queued twice when it is queued anew).
    void DropBelowLocked(std::string_view folder, Snapshots& dropped);
    // Drops, in each map, the tasks from `first(map)` on while `inRange`.
    template <class First, class InRange>
    void DropRangeLocked(const First& first, const InRange& inRange, Snapshots& dropped);
    // Applies the walk's releases; true if there were any.
    bool SettleReleasesLocked();
    // Whether idle workers are to be woken now that `freed` says whether
    // memory was.
    bool WakeForRoomLocked(bool freed);
    void StartFirstWorkers();
    void AddWorker();
    // Acts on the pacer's word, without the lock; false if a thread could
    // not be started.
    bool Apply(WorkerPacer::Change change);

    // The workers' side.
    void Work(const std::stop_token& stop, std::size_t index);
    Idle WhyIdleLocked(std::size_t index) const;
    Idle WhyNoStartLocked() const;
    void WaitIdleLocked(std::unique_lock<SpinningMutex>& lock, Idle why, std::size_t index,
                        const std::stop_token& stop);
    void ReadNextLocked(std::unique_lock<SpinningMutex>& lock, WorkerState& state,
                        const std::stop_token& stop);
    Claim ClaimLocked(Tasks::iterator next);
    FolderPrefetch::Outcome ReadClaimed(Claim& claim, FolderPrefetch& prefetch, TaskList& children,
                                        WaitCount& waits, const std::stop_token& stop);
    // Publishes a claimed folder as read, or gives it up.
    void FinishLocked(Claim& claim, const FolderPrefetch::Outcome& outcome, TaskList& children,
                      Snapshots& dropped);
    // Queues what fits of `tasks`; `again`: some may have been queued before.
    std::size_t QueueLocked(TaskList& tasks, bool again);
    // How many idle workers to wake for `added` folders queued.
    std::size_t IdleToWakeLocked(std::size_t added) const;
    bool ReserveLocked(std::size_t bytes, std::string_view key, Snapshots& dropped);
    // The first of `tasks` if it is `key`'s, else end.
    static Tasks::iterator FindFirst(Tasks& tasks, std::string_view key);

    const std::shared_ptr<DirectoryReader> inner_;
    const ReadAheadWalkSide walkSide_;

    SpinningMutex mutex_;
    std::condition_variable_any workAvailable_;
    // Woken when the task the walk sleeps for is done.
    std::condition_variable_any walkWoken_;
    std::condition_variable_any unparked_;
    const Task* walkWaitsFor_ = nullptr;
    Tasks waiting_;
    Tasks reading_;
    Tasks ready_;
    ListingBudget budget_;
    WorkerPacer pacer_;
    std::size_t idleWorkers_ = 0;
    // Idle workers asked to be woken when memory is freed (kNoRoom), or when
    // the walk has taken half of the lead (kLeadFull).
    bool memoryShort_ = false;
    bool leadFull_ = false;
    // The walk met its latest folder not yet read, and reads are quick: it
    // reads its next one itself, workers the ones after it. Written by the
    // walk, read by workers as a hint.
    std::atomic<bool> walkCaughtUp_ = false;
    // The walk's own reads, timed as a worker's are.
    WaitCount walkWaits_;
    // Written by the walk only; workers learn of a stop through their tokens.
    bool stopped_ = false;
    // The walk's releases since it last took the lock: the walk's only.
    std::size_t walkReleasedBytes_ = 0;
    // Last: joined before anything they use goes.
    WorkerThreads workers_;
};

}  // namespace quorvel
