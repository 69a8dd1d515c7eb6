// SPDX-License-Identifier: MIT
#include "WorkerPacer.h"

#include <algorithm>
#include <cassert>

namespace quorvel {

WorkerPacer::WorkerPacer(std::size_t firstWorkers, std::size_t mostWorkers)
    : firstWorkers_(std::min(firstWorkers, mostWorkers)), mostWorkers_(mostWorkers) {}

WorkerPacer::Change WorkerPacer::WorkQueued() {
    return started_ < firstWorkers_ ? AddOne() : Change::kNone;
}

WorkerPacer::Change WorkerPacer::ReadEnded(ReadResult read) {
    if (read.waited) {
        quietReads_ = 0;
        return Change::kNone;
    }
    if (++quietReads_ < kQuietReads || active_ <= firstWorkers_) return Change::kNone;
    --active_;
    quietReads_ = 0;
    return Change::kPause;
}

WorkerPacer::Change WorkerPacer::WalkWaitedForDevice() {
    return AddOne();
}

WorkerPacer::Change WorkerPacer::AddOne() {
    quietReads_ = 0;
    if (active_ < started_) {
        ++active_;
        return Change::kUnpause;
    }
    if (started_ == mostWorkers_) return Change::kNone;
    active_ = ++started_;
    return Change::kStartWorker;
}

void WorkerPacer::StartFailed(std::size_t index) {
    assert(index + 1 == started_);
    started_ = index;
    active_ = std::min(active_, index);
}

}  // namespace quorvel
