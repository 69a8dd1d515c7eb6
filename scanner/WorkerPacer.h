// SPDX-License-Identifier: MIT
#pragma once
// How many of a walk's workers read: a state machine that takes the results
// of reads and says when to add a worker or pause one. No clock, no thread,
// no system call: the caller times the reads (ReadTiming.h) and acts on
// what it is told, under the lock that guards the pacer.
//
// A walk starts with one worker for each core it leaves free (the queue
// decides how many): reading folders that are in memory is work for a core,
// and more threads than cores mostly add contention. Folders on a disk or across a network are
// waited for, not computed: each read that was slow and waited for its
// device adds a worker, up to the number allowed. A walk of folders in
// memory still meets a few whose blocks the system dropped meanwhile, and
// would keep the workers added for them, each costing it time from then on:
// after a run of reads in a row that did not wait, the worker added last
// pauses until the next wait. Workers are numbered in the order started;
// worker i reads while i < Active().

#include <cstddef>

namespace quorvel {

// One folder read, as timed on the thread that made it.
struct ReadResult {
    // Longer than a read from memory takes.
    bool slow = false;
    // Slow, and it waited meanwhile for the device the folder is on.
    bool waited = false;
};

class WorkerPacer {
  public:
    // Reads in a row that did not wait, after which a worker added for
    // waits pauses.
    static constexpr std::size_t kQuietReads = 256;

    enum class Change {
        kNone,
        // Start thread number Started() - 1; if that fails, call StartFailed.
        kStartWorker,
        // Wake the paused workers: one more of them reads.
        kUnpause,
        // The worker numbered Active() pauses: wake the idle ones, so that
        // it learns of it and a wake-up meant for work goes to one that reads.
        kPause,
    };

    // `firstWorkers`: those a walk starts with; `mostWorkers`: the most it
    // may have. A pacer with mostWorkers 0 never starts one.
    WorkerPacer(std::size_t firstWorkers, std::size_t mostWorkers);

    // The walk has work for the workers: start the first ones, one call
    // each, until it answers kNone.
    Change WorkQueued();
    // A read by a worker, or by the walk in a worker's stead, has ended.
    Change ReadEnded(ReadResult read);
    // The walk waited for a folder and a read waited for its device (the
    // walk's own, or the one it waited for): one more worker, started or
    // unpaused, if the number allowed leaves room.
    Change WalkWaitedForDevice();
    // The system had no thread for worker `index`.
    void StartFailed(std::size_t index);

    bool Reads(std::size_t worker) const { return worker < active_; }
    // Whether the walk, waiting for a worker, reads the next folders
    // meanwhile: only while reads are quick and no worker was added for
    // waits. Where reads wait for a device, another worker is the help: the
    // walk, reading, would take its folder a read's wait after it is there.
    bool WalkMayHelp() const { return quietReads_ >= kQuietReads && active_ <= firstWorkers_; }
    std::size_t Active() const { return active_; }
    std::size_t Started() const { return started_; }
    std::size_t FirstWorkers() const { return firstWorkers_; }

  private:
    Change AddOne();

    const std::size_t firstWorkers_;
    const std::size_t mostWorkers_;
    std::size_t started_ = 0;
    std::size_t active_ = 0;
    // Reads since the last one that waited, or since a worker was added.
    std::size_t quietReads_ = 0;
};

}  // namespace quorvel
