// SPDX-License-Identifier: MIT
#pragma once
// The worker threads of one read-ahead walk: started one at a time, told to
// stop together, and either joined together or, given a tally, left to end
// on their own (a worker held in a read that does not return must not hold
// the walk): then each is counted in the tally until it has ended, and the
// body it runs must keep alive whatever it uses.

#include <cstddef>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "ThreadTally.h"

namespace quorvel {

class WorkerThreads {
  public:
    using Body = std::function<void(const std::stop_token& stop, std::size_t index)>;

    // Without a tally the threads are joined.
    explicit WorkerThreads(std::shared_ptr<ThreadTally> tally = nullptr)
        : tally_(std::move(tally)) {}
    ~WorkerThreads() { Join(); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    bool Detached() const { return tally_ != nullptr; }
    // Starts thread number Count() running `body`; false when the system
    // has no thread left (fewer folders are read ahead, nothing else
    // changes).
    bool Start(Body body);
    std::size_t Count() const { return threads_.size() + stops_.size(); }
    void RequestStop();
    // Stops every thread and, unless they are detached, returns once none
    // runs.
    void Join();

  private:
    std::shared_ptr<ThreadTally> tally_;
    std::vector<std::jthread> threads_;
    // The detached threads' stop requests.
    std::vector<std::stop_source> stops_;
};

}  // namespace quorvel
