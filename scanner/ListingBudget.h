// SPDX-License-Identifier: MIT
#pragma once
// The memory ledger of one read-ahead walk: the bytes charged for the
// listings in memory and the folders queued, against the walk's cap.
//
// Invariants, asserted in debug builds: nothing is uncharged that was not
// charged; what is charged never exceeds the cap (a folder larger than the
// cap is streamed past its snapshot, and what is streamed is never held);
// the ready listings are part of what is charged; and once a walk has ended
// and its workers have let go, nothing is charged (ReadAheadQueue's
// destructor checks that last one).
//
// Not thread-safe: the queue guards it with its lock.

#include <cstddef>
#include <memory>
#include <vector>

#include "ListingSnapshot.h"

namespace quorvel {

// Snapshots to free once the lock is released.
using Snapshots = std::vector<std::unique_ptr<ListingSnapshot>>;

class ListingBudget {
  public:
    explicit ListingBudget(std::size_t cap) : cap_(cap) {}

    std::size_t Cap() const { return cap_; }
    std::size_t Charged() const { return charged_; }
    // The most ever charged at once.
    std::size_t Peak() const { return peak_; }

    bool Fits(std::size_t bytes) const { return bytes <= cap_ - charged_; }
    // Charges `bytes`, which must fit.
    void Charge(std::size_t bytes);
    void Uncharge(std::size_t bytes);
    // Uncharges `snapshot`'s capacity and leaves it in `dropped`.
    void Drop(std::unique_ptr<ListingSnapshot> snapshot, Snapshots& dropped);

    // The part of what is charged held by listings read ahead that the walk
    // has not reached yet.
    std::size_t ReadyBytes() const { return readyBytes_; }
    void AddReady(std::size_t bytes);
    void RemoveReady(std::size_t bytes);

  private:
    const std::size_t cap_;
    std::size_t charged_ = 0;
    std::size_t peak_ = 0;
    std::size_t readyBytes_ = 0;
};

}  // namespace quorvel
