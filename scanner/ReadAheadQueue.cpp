// SPDX-License-Identifier: MIT
// The walk's side of the queue: taking what the workers read, queueing what
// it reads itself, releasing what it leaves, and stopping.

#include "ReadAheadQueue.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <thread>
#include <utility>

#include "WalkKey.h"

namespace quorvel {
namespace {

// Workers start one for each core the walk leaves free (WorkerPacer.h). A
// walk that must not block reads nothing on its own thread, so its workers
// do all the reading, and each folder it reads through its reader's thread
// leaves a core waiting on a hand-over: for it, one for every core and one
// more (with one for each core but one, it waited for reads half of its
// time; bench/README.md, "A walk that must not block").
std::size_t FirstWorkers(bool walkReads) {
    static const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    if (!walkReads) return cores + 1;
    return cores > 2 ? cores - 1 : 1;
}
// Spins for a folder a worker is reading, about as long as a folder takes to
// read from memory, before the walk sleeps.
constexpr int kWaitSpins = 2000;

}  // namespace

ReadAheadQueue::ReadAheadQueue(std::shared_ptr<DirectoryReader> inner, unsigned workers,
                               std::size_t memoryCap, ReadAheadWalkSide walkSide)
    : inner_(std::move(inner)),
      walkSide_(std::move(walkSide)),
      budget_(memoryCap),
      pacer_(FirstWorkers(walkSide_.waiter == nullptr), workers),
      workers_(walkSide_.tally) {}

ReadAheadQueue::~ReadAheadQueue() {
    Quiesce();
    // Every listing of the walk has been released (each holds the queue), and
    // no worker holds a claim.
    assert(budget_.Charged() == 0);
}

std::unique_ptr<ListingSnapshot> ReadAheadQueue::Take(const std::string& key, std::string_view name,
                                                      std::string& path) {
    Snapshots dropped;
    Tasks::node_type freedHere;
    std::unique_ptr<ListingSnapshot> taken;
    Waited waited = Waited::kNotReading;
    bool wake = false;
    {
        std::unique_lock lock(mutex_);
        bool freed = SettleReleasesLocked();
        // Nothing before `key` is left, nor enters while the walk waits (a
        // worker abandons it): the folder is first wherever it is, and
        // finding it there takes no search through the maps.
        DropBeforeLocked(key, dropped);
        waited = AwaitReadingLocked(lock, key, name, dropped);
        if (waited != Waited::kGivenUp) {
            freed = TakeLocked(key, name, waited, taken, path, dropped, freedHere) || freed;
        }
        wake = WakeForRoomLocked(freed || !dropped.empty());
    }
    if (wake) workAvailable_.notify_all();
    if (waited == Waited::kSlowForDevice) AddWorker();
    return taken;
}

ReadAheadQueue::Waited ReadAheadQueue::AwaitReadingLocked(std::unique_lock<SpinningMutex>& lock,
                                                          std::string_view key,
                                                          std::string_view name,
                                                          Snapshots& dropped) {
    const auto reading = FindFirst(reading_, key);
    if (reading == reading_.end() || !reading->second->Names(name)) return Waited::kNotReading;
    const std::shared_ptr<Task> task = reading->second;
    const auto start = std::chrono::steady_clock::now();
    // A walk that must not block reads nothing on its own thread.
    const bool helpWaited = !walkSide_.waiter && HelpWhileWaitingLocked(lock, *task, dropped);
    const auto done = [&task] { return task->done.load(); };
    if (!done()) {
        // Most reads from memory end sooner than a sleep and a wake-up take.
        lock.unlock();
        SpinUntil(done, kWaitSpins);
        lock.lock();
    }
    if (!done() && !SleepUntilDoneLocked(lock, *task)) return Waited::kGivenUp;
    if (helpWaited) return Waited::kSlowForDevice;
    if (std::chrono::steady_clock::now() - start <= ReadClock::kSlowRead) return Waited::kQuick;
    return task->blocked ? Waited::kSlowForDevice : Waited::kSlow;
}

bool ReadAheadQueue::SleepUntilDoneLocked(std::unique_lock<SpinningMutex>& lock, const Task& task) {
    const auto done = [&task] { return task.done.load(); };
    if (!walkSide_.waiter) {
        walkWaitsFor_ = &task;
        walkWoken_.wait(lock, done);
        walkWaitsFor_ = nullptr;
        return true;
    }
    // The owner's turns run without the lock: a worker may finish meanwhile.
    bool sleeping = true;
    const auto sleep = [&](std::chrono::milliseconds slice) {
        if (!sleeping) lock.lock();
        walkWaitsFor_ = &task;
        const bool answered = walkWoken_.wait_for(lock, slice, done);
        walkWaitsFor_ = nullptr;
        if (!answered) lock.unlock();
        sleeping = answered;
        return answered;
    };
    const bool answered = walkSide_.waiter->Wait(sleep);
    if (!answered) lock.lock();
    return answered;
}

bool ReadAheadQueue::HelpWhileWaitingLocked(std::unique_lock<SpinningMutex>& lock,
                                            const Task& awaited, Snapshots& dropped) {
    FolderPrefetch prefetch(*inner_);
    TaskList children;
    while (!awaited.done.load() && pacer_.WalkMayHelp() && WhyNoStartLocked() == Idle::kNone) {
        // After the folder waited for, so needed later: it is read by the
        // time the walk gets there.
        Claim claim = ClaimLocked(waiting_.begin());
        lock.unlock();
        children.clear();
        const FolderPrefetch::Outcome outcome =
            ReadClaimed(claim, prefetch, children, walkWaits_, {});
        prefetch.LetGo();  // the walk holds no descriptor of the queue's
        lock.lock();
        FinishLocked(claim, outcome, children, dropped);
        if (outcome.timing.slow) walkCaughtUp_.store(false, std::memory_order_relaxed);
        // A worker is added once the lock is released.
        if (outcome.timing.waited) return true;
    }
    return false;
}

bool ReadAheadQueue::TakeLocked(std::string_view key, std::string_view name, Waited waited,
                                std::unique_ptr<ListingSnapshot>& taken, std::string& path,
                                Snapshots& dropped, Tasks::node_type& freedHere) {
    if (const auto ready = FindFirst(ready_, key); ready != ready_.end()) {
        Task& task = *ready->second;
        const std::size_t capacity = task.snapshot->Capacity();
        budget_.RemoveReady(capacity);
        budget_.Uncharge(task.charged - capacity);
        walkCaughtUp_.store(waited == Waited::kQuick, std::memory_order_relaxed);
        if (task.Names(name)) {
            taken = std::move(task.snapshot);
            path = std::move(task.path);
        } else {
            budget_.Drop(std::move(task.snapshot), dropped);
        }
        freedHere = ready_.extract(ready);
        return true;
    }
    if (const auto waiting = FindFirst(waiting_, key); waiting != waiting_.end()) {
        // Not started: the walk reads it itself (a walk that must not block,
        // through its reader's thread), workers the ones after it (unless
        // its read is slow: NoteRead).
        walkCaughtUp_.store(true, std::memory_order_relaxed);
        budget_.Uncharge(waiting->second->charged);
        freedHere = waiting_.extract(waiting);
        return true;
    }
    return false;
}

ReadAheadQueue::Tasks::iterator ReadAheadQueue::FindFirst(Tasks& tasks, std::string_view key) {
    return !tasks.empty() && tasks.begin()->first == key ? tasks.begin() : tasks.end();
}

void ReadAheadQueue::DropBeforeLocked(std::string_view key, Snapshots& dropped) {
    DropRangeLocked([](Tasks& tasks) { return tasks.begin(); },
                    [key](std::string_view at) { return at < key; }, dropped);
}

void ReadAheadQueue::DropBelowLocked(std::string_view folder, Snapshots& dropped) {
    DropRangeLocked([folder](Tasks& tasks) { return tasks.upper_bound(folder); },
                    [folder](std::string_view at) { return IsBelowKey(at, folder); }, dropped);
}

template <class First, class InRange>
void ReadAheadQueue::DropRangeLocked(const First& first, const InRange& inRange,
                                     Snapshots& dropped) {
    for (auto at = first(waiting_); at != waiting_.end() && inRange(at->first);) {
        budget_.Uncharge(at->second->charged);
        at = waiting_.erase(at);
    }
    for (auto at = first(ready_); at != ready_.end() && inRange(at->first);) {
        Task& task = *at->second;
        const std::size_t capacity = task.snapshot->Capacity();
        budget_.RemoveReady(capacity);
        budget_.Uncharge(task.charged - capacity);
        budget_.Drop(std::move(task.snapshot), dropped);
        at = ready_.erase(at);
    }
    // Their workers release what they charged when they finish.
    for (auto at = first(reading_); at != reading_.end() && inRange(at->first);) {
        at->second->abandoned = true;
        at = reading_.erase(at);
    }
}

bool ReadAheadQueue::WakeForRoomLocked(bool freed) {
    bool wake = freed && std::exchange(memoryShort_, false);
    if (leadFull_ && budget_.ReadyBytes() <= kLeadBytes / 2) {
        leadFull_ = false;
        wake = true;
    }
    return wake;
}

void ReadAheadQueue::Publish(const std::string& key, const std::string& path,
                             const ListingSnapshot& snapshot) {
    TaskList children;
    AppendChildTasks(key, path, snapshot, children);
    std::size_t wakes = 0;
    {
        const std::lock_guard lock(mutex_);
        SettleReleasesLocked();
        // The walk reads a folder itself after a worker dropped it, perhaps
        // after its subfolders were queued.
        wakes = IdleToWakeLocked(QueueLocked(children, true));
        if (waiting_.empty()) return;
    }
    StartFirstWorkers();
    for (; wakes > 0; --wakes) workAvailable_.notify_one();
}

bool ReadAheadQueue::Reserve(std::size_t bytes, const std::string& key) {
    Snapshots dropped;
    const std::lock_guard lock(mutex_);
    SettleReleasesLocked();
    return ReserveLocked(bytes, key, dropped);
}

void ReadAheadQueue::Release(std::size_t bytes) {
    if (!stopped_) {
        walkReleasedBytes_ += bytes;
        return;
    }
    // No later call settles it.
    const std::lock_guard lock(mutex_);
    budget_.Uncharge(bytes);
}

bool ReadAheadQueue::SettleReleasesLocked() {
    if (walkReleasedBytes_ == 0) return false;
    budget_.Uncharge(std::exchange(walkReleasedBytes_, 0));
    return true;
}

void ReadAheadQueue::NoteRead(ReadResult read) {
    if (!read.slow) return;
    walkCaughtUp_.store(false, std::memory_order_relaxed);
    if (read.waited) AddWorker();
}

void ReadAheadQueue::StartFirstWorkers() {
    while (!stopped_) {
        WorkerPacer::Change change = WorkerPacer::Change::kNone;
        {
            const std::lock_guard lock(mutex_);
            change = pacer_.WorkQueued();
        }
        if (change == WorkerPacer::Change::kNone || !Apply(change)) return;
    }
}

void ReadAheadQueue::AddWorker() {
    if (stopped_) return;
    WorkerPacer::Change change = WorkerPacer::Change::kNone;
    {
        const std::lock_guard lock(mutex_);
        change = pacer_.WalkWaitedForDevice();
    }
    Apply(change);
}

bool ReadAheadQueue::Apply(WorkerPacer::Change change) {
    switch (change) {
        case WorkerPacer::Change::kNone:
            return true;
        case WorkerPacer::Change::kUnpause:
            unparked_.notify_all();
            return true;
        case WorkerPacer::Change::kPause:
            workAvailable_.notify_all();
            return true;
        case WorkerPacer::Change::kStartWorker:
            break;
    }
    const std::size_t index = workers_.Count();
    WorkerThreads::Body body = [this](const std::stop_token& stop, std::size_t worker) {
        Work(stop, worker);
    };
    if (workers_.Detached()) {
        body = [self = shared_from_this()](const std::stop_token& stop, std::size_t worker) {
            self->Work(stop, worker);
        };
    }
    if (workers_.Start(std::move(body))) return true;
    const std::lock_guard lock(mutex_);
    pacer_.StartFailed(index);
    return false;
}

void ReadAheadQueue::Stop() {
    Snapshots dropped;
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        SettleReleasesLocked();
        for (auto& [key, task] : waiting_) budget_.Uncharge(task->charged);
        for (auto& [key, task] : ready_) {
            budget_.RemoveReady(task->snapshot->Capacity());
            budget_.Uncharge(task->charged);
            dropped.push_back(std::move(task->snapshot));
        }
        for (auto& [key, task] : reading_) task->abandoned = true;
        waiting_.clear();
        ready_.clear();
        reading_.clear();
    }
    workers_.RequestStop();
    workAvailable_.notify_all();
}

void ReadAheadQueue::Quiesce() {
    Stop();
    workers_.Join();
}

ReadAheadQueue::Ledger ReadAheadQueue::LedgerNow() {
    const std::lock_guard lock(mutex_);
    return Ledger{budget_.Charged(), budget_.Peak(), budget_.Cap()};
}

}  // namespace quorvel
