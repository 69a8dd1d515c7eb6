// SPDX-License-Identifier: MIT
#pragma once
// The thread behind an OffThreadReader: it runs the walk's calls one after
// another, in the order asked, and holds the wrapped reader's listings, each
// under a number the walk's side knows it by. The listings are touched only
// on this thread (or, where no thread could be started, only on the
// caller's), created, read and closed.
//
// Owners (the reader and its listings' handles) keep it running; once the
// last has gone and every job asked for is done, it closes what is left and
// ends. A job whose answer the walk gave up still runs, in its turn, and
// what it made is discarded there.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include <quorvel/DirectoryReader.h>

#include "ReadWaiter.h"
#include "ThreadTally.h"

namespace quorvel {

class ReadingThread : public std::enable_shared_from_this<ReadingThread> {
  public:
    using ListingId = std::uint64_t;
    static constexpr ListingId kNoListing = 0;

    ReadingThread(ReadWaiter& waiter, std::shared_ptr<ThreadTally> tally)
        : waiter_(waiter), tally_(std::move(tally)) {}
    ReadingThread(const ReadingThread&) = delete;
    ReadingThread& operator=(const ReadingThread&) = delete;

    void AddOwner();
    // An owner has gone; `id`'s listing, if it names one, is closed in turn.
    void DropOwner(ListingId id);

    // Runs `work` on the thread and waits for its result through the
    // waiter; what `work` throws is thrown here. False when the walk gives
    // the read up (or gave one up before: then nothing runs); `result` is
    // left as it was, and `discard` gets the result on the thread once
    // `work` has returned it.
    template <class Result, class Work, class Discard>
    bool Ask(Work work, Discard discard, Result& result);

    // On the thread (inside a job) only.
    ListingId Keep(std::unique_ptr<FolderListing> listing);
    FolderListing& Listing(ListingId id);
    void Close(ListingId id) { listings_.erase(id); }

  private:
    // Whether a thread runs the jobs; starts it if need be. Under the lock.
    bool StartLocked();
    void Loop();

    ReadWaiter& waiter_;
    const std::shared_ptr<ThreadTally> tally_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable answered_;
    std::deque<std::function<void()>> jobs_;
    std::size_t owners_ = 0;
    bool started_ = false;
    bool inline_ = false;
    // The thread's own.
    std::unordered_map<ListingId, std::unique_ptr<FolderListing>> listings_;
    ListingId lastId_ = kNoListing;
};

template <class Result, class Work, class Discard>
bool ReadingThread::Ask(Work work, Discard discard, Result& result) {
    if (waiter_.GaveUp()) return false;
    struct Answer {
        std::optional<Result> value;
        std::exception_ptr error;
        bool givenUp = false;
        bool Given() const { return value.has_value() || error; }
    };
    const auto answer = std::make_shared<Answer>();
    {
        std::unique_lock lock(mutex_);
        if (!StartLocked()) {
            lock.unlock();
            result = work();
            return true;
        }
        jobs_.push_back([this, answer, work = std::move(work), discard = std::move(discard)] {
            std::optional<Result> value;
            std::exception_ptr error;
            try {
                value.emplace(work());
            } catch (...) {
                error = std::current_exception();
            }
            std::unique_lock answering(mutex_);
            if (answer->givenUp) {
                answering.unlock();
                if (value) discard(*value);
                return;
            }
            answer->value = std::move(value);
            answer->error = error;
            answered_.notify_all();
        });
        work_.notify_one();
    }
    const auto sleep = [this, &answer](std::chrono::milliseconds slice) {
        std::unique_lock lock(mutex_);
        return answered_.wait_for(lock, slice, [&answer] { return answer->Given(); });
    };
    if (!waiter_.Wait(sleep)) {
        const std::lock_guard lock(mutex_);
        // An answer that came just now is dropped all the same: the walk
        // has given the read up. What it holds the thread frees at its end.
        answer->givenUp = true;
        return false;
    }
    const std::lock_guard lock(mutex_);
    if (answer->error) std::rethrow_exception(answer->error);
    result = std::move(*answer->value);
    return true;
}

}  // namespace quorvel
