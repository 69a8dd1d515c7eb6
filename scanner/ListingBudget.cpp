// SPDX-License-Identifier: MIT
#include "ListingBudget.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace quorvel {
namespace {

// Snapshots the walk is done with serve later folders, buffer and all, up to
// this many and this large: a buffer freed on one thread and allocated anew
// on another costs the allocator locks, page faults and memory returned to
// the system, together more than the listing (bench/README.md, "spare
// listings"). As many as a worker may read ahead of a walk that is busy
// elsewhere (the window's, showing what it finds). A build with
// QUORVEL_PLAIN_SPARES defined keeps none: the simpler form the bench
// measures this against.
#if defined(QUORVEL_PLAIN_SPARES)
constexpr std::size_t kSpareLimit = 0;
#else
constexpr std::size_t kSpareLimit = 1024;
#endif
constexpr std::size_t kSpareCapacityLimit = std::size_t{64} << 10;

}  // namespace

ListingBudget::ListingBudget(std::size_t cap) : cap_(cap) {
    // Recycling must not allocate under the lock.
    spares_.reserve(kSpareLimit);
}

void ListingBudget::Charge(std::size_t bytes) {
    assert(Fits(bytes));
    charged_ += bytes;
    peak_ = std::max(peak_, charged_);
}

void ListingBudget::Uncharge(std::size_t bytes) {
    assert(bytes <= charged_);
    charged_ -= bytes;
    CheckInvariants();
}

void ListingBudget::AddReady(std::size_t bytes) {
    readyBytes_ += bytes;
    CheckInvariants();
}

void ListingBudget::RemoveReady(std::size_t bytes) {
    assert(bytes <= readyBytes_);
    readyBytes_ -= bytes;
}

std::unique_ptr<ListingSnapshot> ListingBudget::TakeSpare() {
    if (spares_.empty()) return nullptr;
    std::unique_ptr<ListingSnapshot> spare = std::move(spares_.back());
    spares_.pop_back();
    spareBytes_ -= spare->Capacity();
    return spare;
}

std::size_t ListingBudget::NextSpareCapacity() const {
    return spares_.empty() ? 0 : spares_.back()->Capacity();
}

bool ListingBudget::DropSpare(Snapshots& dropped) {
    std::unique_ptr<ListingSnapshot> spare = TakeSpare();
    if (!spare) return false;
    Uncharge(spare->Capacity());
    dropped.push_back(std::move(spare));
    return true;
}

void ListingBudget::Recycle(std::unique_ptr<ListingSnapshot> snapshot, Snapshots& dropped) {
    if (!snapshot) return;
    if (!sparesClosed_ && spares_.size() < kSpareLimit &&
        snapshot->Capacity() <= kSpareCapacityLimit) {
        snapshot->Clear();
        spareBytes_ += snapshot->Capacity();
        spares_.push_back(std::move(snapshot));
        CheckInvariants();
        return;
    }
    Uncharge(snapshot->Capacity());
    dropped.push_back(std::move(snapshot));
}

void ListingBudget::CloseSpares(Snapshots& dropped) {
    sparesClosed_ = true;
    while (DropSpare(dropped)) {
    }
}

void ListingBudget::CheckInvariants() const {
    assert(charged_ <= cap_);
    assert(readyBytes_ + spareBytes_ <= charged_);
}

}  // namespace quorvel
