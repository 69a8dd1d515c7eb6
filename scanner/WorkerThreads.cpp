// SPDX-License-Identifier: MIT
#include "WorkerThreads.h"

#include <system_error>
#include <utility>

namespace quorvel {
bool WorkerThreads::Start(Body body) {
    try {
        threads_.emplace_back([index = threads_.size(), body = std::move(body)](
                                  const std::stop_token& stop) { body(stop, index); });
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void WorkerThreads::RequestStop() {
    for (std::jthread& thread : threads_) thread.request_stop();
}

void WorkerThreads::Join() {
    RequestStop();
    for (std::jthread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
    threads_.clear();
}

}  // namespace quorvel
