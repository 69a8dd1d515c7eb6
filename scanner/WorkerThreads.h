// SPDX-License-Identifier: MIT
#pragma once
// The worker threads of one read-ahead walk: started one at a time, told to
// stop together, joined together.

#include <cstddef>
#include <functional>
#include <stop_token>
#include <thread>
#include <vector>

namespace quorvel {

class WorkerThreads {
  public:
    using Body = std::function<void(const std::stop_token& stop, std::size_t index)>;

    WorkerThreads() = default;
    ~WorkerThreads() { Join(); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Starts thread number Count() running `body`; false when the system
    // has no thread left (fewer folders are read ahead, nothing else
    // changes).
    bool Start(Body body);
    std::size_t Count() const { return threads_.size(); }
    void RequestStop();
    // Stops every thread and returns once none runs.
    void Join();

  private:
    std::vector<std::jthread> threads_;
};

}  // namespace quorvel
