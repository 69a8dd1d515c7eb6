// SPDX-License-Identifier: MIT
// The workers' side of the queue: why a worker waits, and the way of one
// folder from waiting through reading to ready (or back to the walk).

#include "ReadAheadQueue.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <utility>

namespace quorvel {

void ReadAheadQueue::Work(const std::stop_token& stop, std::size_t index) {
    WorkerState state(*inner_);
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        const Idle why = WhyIdleLocked(index);
        if (why == Idle::kNone) {
            ReadNextLocked(lock, state, stop);
        } else if (state.prefetch.HoldsAny()) {
            // Never wait holding a descriptor.
            lock.unlock();
            state.prefetch.LetGo();
            lock.lock();
        } else {
            state.waits.Forget();
            WaitIdleLocked(lock, why, index, stop);
        }
    }
}

ReadAheadQueue::Idle ReadAheadQueue::WhyIdleLocked(std::size_t index) const {
    return pacer_.Reads(index) ? WhyNoStartLocked() : Idle::kPaused;
}

ReadAheadQueue::Idle ReadAheadQueue::WhyNoStartLocked() const {
    if (stopped_ || waiting_.empty()) return Idle::kNoWork;
    if (budget_.ReadyBytes() >= kLeadBytes) return Idle::kLeadFull;
    // Asked under the lock several times a folder: the usual answer first,
    // before looking into the maps' ends (cache misses, with the other
    // thread waiting for the lock). A listing needed later gives way.
    if (budget_.Fits(kStartBytes) ||
        (!ready_.empty() && ready_.rbegin()->first > waiting_.begin()->first)) {
        return Idle::kNone;
    }
    return Idle::kNoRoom;
}

void ReadAheadQueue::WaitIdleLocked(std::unique_lock<SpinningMutex>& lock, Idle why,
                                    std::size_t index, const std::stop_token& stop) {
    if (why == Idle::kPaused) {
        unparked_.wait(lock, stop, [this, index] { return pacer_.Reads(index); });
        return;
    }
    // Work there is, room there is not: the walk wakes the idle workers when
    // it frees some, or once it has taken half of the lead.
    if (why == Idle::kNoRoom) memoryShort_ = true;
    if (why == Idle::kLeadFull) leadFull_ = true;
    const auto changed = [this, why, index] {
        return WhyIdleLocked(index) != why || (why == Idle::kNoRoom && !memoryShort_) ||
               (why == Idle::kLeadFull && !leadFull_);
    };
    ++idleWorkers_;
    workAvailable_.wait(lock, stop, changed);
    --idleWorkers_;
}

void ReadAheadQueue::ReadNextLocked(std::unique_lock<SpinningMutex>& lock, WorkerState& state,
                                    const std::stop_token& stop) {
    // Where the walk has caught up with the workers on folders read from
    // memory, it reads the folder it needs next itself, and workers take the
    // ones after it: waiting for a worker to finish that folder, and being
    // woken, would cost the walk more than reading it. Not so for folders
    // that must come from the disk: a worker started on it earlier has it
    // sooner.
    auto next = waiting_.begin();
    if (walkCaughtUp_.load(std::memory_order_relaxed) && waiting_.size() > 1) ++next;
    Claim claim = ClaimLocked(next);
    lock.unlock();
    state.dropped.clear();
    state.children.clear();
    const FolderPrefetch::Outcome outcome =
        ReadClaimed(claim, state.prefetch, state.children, state.waits, stop);
    lock.lock();
    FinishLocked(claim, outcome, state.children, state.dropped);
}

ReadAheadQueue::Claim ReadAheadQueue::ClaimLocked(Tasks::iterator next) {
    // Moved between the maps as nodes: no allocation under the lock.
    Tasks::node_type node = waiting_.extract(next);
    Claim claim{node.mapped(), nullptr};
    claim.task->done = false;  // a listing given way to memory is read again
    reading_.insert(std::move(node));
    return claim;
}

FolderPrefetch::Outcome ReadAheadQueue::ReadClaimed(Claim& claim, FolderPrefetch& prefetch,
                                                    TaskList& children, WaitCount& waits,
                                                    const std::stop_token& stop) {
    Task& task = *claim.task;
    const ListingSnapshot::GrowthGate gate = [this, &task](std::size_t bytes) {
        Snapshots dropped;
        const std::lock_guard lock(mutex_);
        // Behind the walk already: give up, and take no room from others.
        if (task.abandoned || !ReserveLocked(bytes, task.key, dropped)) return false;
        task.charged += bytes;
        return true;
    };
    return prefetch.Read(claim.task, claim.snapshot, gate, children, waits, stop);
}

void ReadAheadQueue::FinishLocked(Claim& claim, const FolderPrefetch::Outcome& outcome,
                                  TaskList& children, Snapshots& dropped) {
    Task& task = *claim.task;
    if (task.abandoned || !outcome.read) {
        // Not read, or no longer wanted: the walk reads it itself if it
        // still needs it, and meets whatever made this read fail.
        if (!task.abandoned) {
            reading_.erase(task.key);
            // A listing that gave way and could not be read again: what its
            // first read queued goes with it.
            if (task.published) DropBelowLocked(task.key, dropped);
        }
        const std::size_t capacity = claim.snapshot ? claim.snapshot->Capacity() : 0;
        budget_.Uncharge(task.charged - capacity);
        task.charged = 0;
        budget_.Drop(std::move(claim.snapshot), dropped);
    } else {
        Tasks::node_type node = reading_.extract(task.key);
        const std::size_t added = QueueLocked(children, task.published);
        task.published = true;
        for (std::size_t wake = IdleToWakeLocked(added); wake > 0; --wake) {
            workAvailable_.notify_one();
        }
        task.snapshot = std::move(claim.snapshot);
        budget_.AddReady(task.snapshot->Capacity());
        assert(!node.empty() && node.mapped().get() == &task);
        // Folders are mostly read in the walk's order.
        [[maybe_unused]] const auto inserted = ready_.insert(ready_.end(), std::move(node));
        assert(inserted->second.get() == &task);
    }
    task.blocked = outcome.timing.waited;
    task.done = true;
    if (pacer_.ReadEnded(outcome.timing) == WorkerPacer::Change::kPause) {
        // The one paused may be idle, and take a wake-up meant for work.
        workAvailable_.notify_all();
    }
    // Only a walk that sleeps needs waking: a wake-up without a sleeper is
    // a system call all the same.
    if (walkWaitsFor_ == &task) walkWoken_.notify_one();
}

std::size_t ReadAheadQueue::QueueLocked(TaskList& tasks, bool again) {
    if (stopped_) return 0;
    std::size_t added = 0;
    // Siblings in their order, and nothing waiting between them (what is
    // below a folder waits only once it is read): all go just before the
    // folder that waits after the first, found once. A wrong hint only
    // costs the search it would have saved.
    auto next = waiting_.end();
    for (std::shared_ptr<Task>& task : tasks) {
        if (again && (waiting_.contains(task->key) || reading_.contains(task->key) ||
                      ready_.contains(task->key))) {
            continue;
        }
        if (!budget_.Fits(task->charged)) break;
        budget_.Charge(task->charged);
        const std::string_view taskKey = task->key;
        if (added == 0) next = waiting_.lower_bound(taskKey);
        [[maybe_unused]] const Task* const fresh = task.get();
        [[maybe_unused]] const auto queued = waiting_.emplace_hint(next, taskKey, std::move(task));
        assert(queued->second.get() == fresh);  // a key queued twice is charged twice
        ++added;
    }
    return added;
}

std::size_t ReadAheadQueue::IdleToWakeLocked(std::size_t added) const {
    return WhyNoStartLocked() == Idle::kNone ? std::min(added, idleWorkers_) : 0;
}

bool ReadAheadQueue::ReserveLocked(std::size_t bytes, std::string_view key, Snapshots& dropped) {
    while (!budget_.Fits(bytes)) {
        if (ready_.empty() || ready_.rbegin()->first <= key) return false;
        // The listing needed last gives way; it is read again later.
        const auto last = std::prev(ready_.end());
        Task& task = *last->second;
        const std::size_t capacity = task.snapshot->Capacity();
        budget_.RemoveReady(capacity);
        budget_.Uncharge(capacity);
        task.charged -= capacity;
        dropped.push_back(std::move(task.snapshot));
        waiting_.insert(ready_.extract(last));
    }
    budget_.Charge(bytes);
    return true;
}

}  // namespace quorvel
