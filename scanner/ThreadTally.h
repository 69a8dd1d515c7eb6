// SPDX-License-Identifier: MIT
#pragma once
// The threads of one scan that nobody joins: each runs on its own and is
// counted here from its start until it has let go of everything it held, so
// that a caller who wants no thread of the scan left can wait for the count
// to reach zero, and one who does not need not.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

namespace quorvel {

class ThreadTally : public std::enable_shared_from_this<ThreadTally> {
  public:
    // One counted thread, from Enter until Leave (or destruction). Holds the
    // tally, so that a thread that outlives its scan never counts into a
    // tally that is gone.
    class Entry {
      public:
        Entry() = default;
        explicit Entry(std::shared_ptr<ThreadTally> tally) : tally_(std::move(tally)) {}
        Entry(Entry&&) noexcept = default;
        Entry& operator=(Entry&& other) noexcept {
            Leave();
            tally_ = std::move(other.tally_);
            return *this;
        }
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        ~Entry() { Leave(); }
        void Leave();

      private:
        std::shared_ptr<ThreadTally> tally_;
    };

    // Counts a thread about to start; a thread that could not be started is
    // uncounted by destroying the entry.
    Entry Enter();
    // True once no counted thread runs, waiting up to `timeout` for it.
    bool WaitUntilNone(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable none_;
    std::size_t running_ = 0;
};

}  // namespace quorvel
