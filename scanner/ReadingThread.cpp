// SPDX-License-Identifier: MIT
#include "ReadingThread.h"

#include <cassert>
#include <system_error>
#include <thread>

namespace quorvel {

void ReadingThread::AddOwner() {
    const std::lock_guard lock(mutex_);
    ++owners_;
}

void ReadingThread::DropOwner(ListingId id) {
    const std::lock_guard lock(mutex_);
    assert(owners_ > 0);
    if (id != kNoListing) {
        if (started_) {
            jobs_.push_back([this, id] { Close(id); });
        } else {
            Close(id);  // no thread: the listings are the caller's
        }
    }
    --owners_;
    work_.notify_one();
}

ReadingThread::ListingId ReadingThread::Keep(std::unique_ptr<FolderListing> listing) {
    const ListingId id = ++lastId_;
    listings_.emplace(id, std::move(listing));
    return id;
}

FolderListing& ReadingThread::Listing(ListingId id) {
    const auto found = listings_.find(id);
    // A handle's listing stays until the handle asks for it to be closed.
    assert(found != listings_.end());
    return *found->second;
}

bool ReadingThread::StartLocked() {
    if (started_) return true;
    if (inline_) return false;
    ThreadTally::Entry entry = tally_ ? tally_->Enter() : ThreadTally::Entry();
    try {
        std::thread([self = shared_from_this(), entry = std::move(entry)]() mutable {
            self->Loop();
            // Counted until it holds nothing of the scan's.
            self.reset();
            entry.Leave();
        }).detach();
    } catch (const std::system_error&) {
        inline_ = true;
        return false;
    }
    started_ = true;
    return true;
}

void ReadingThread::Loop() {
    std::unique_lock lock(mutex_);
    while (true) {
        work_.wait(lock, [this] { return !jobs_.empty() || owners_ == 0; });
        if (jobs_.empty()) break;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
    lock.unlock();
    // Whatever an answer given up left open.
    listings_.clear();
}

}  // namespace quorvel
