// SPDX-License-Identifier: MIT
#include "WorkerThreads.h"

#include <system_error>
#include <utility>

namespace quorvel {

bool WorkerThreads::Start(Body body) {
    const std::size_t index = Count();
    try {
        if (!tally_) {
            threads_.emplace_back([index, body = std::move(body)](const std::stop_token& stop) {
                body(stop, index);
            });
            return true;
        }
        // Room first: a thread whose stop source were lost would never stop.
        stops_.reserve(stops_.size() + 1);
        std::stop_source stop;
        std::thread([index, body = std::move(body), token = stop.get_token(),
                     entry = tally_->Enter()]() mutable {
            body(token, index);
            // What the body kept alive goes before the thread stops counting.
            body = nullptr;
            entry.Leave();
        }).detach();
        stops_.push_back(std::move(stop));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void WorkerThreads::RequestStop() {
    for (std::jthread& thread : threads_) thread.request_stop();
    for (std::stop_source& stop : stops_) stop.request_stop();
}

void WorkerThreads::Join() {
    RequestStop();
    for (std::jthread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
    threads_.clear();
}

}  // namespace quorvel
