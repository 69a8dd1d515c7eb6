// SPDX-License-Identifier: MIT
#include "ListingBudget.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace quorvel {

void ListingBudget::Charge(std::size_t bytes) {
    assert(Fits(bytes));
    charged_ += bytes;
    peak_ = std::max(peak_, charged_);
}

void ListingBudget::Uncharge(std::size_t bytes) {
    assert(bytes <= charged_);
    charged_ -= bytes;
    assert(readyBytes_ <= charged_);
}

void ListingBudget::Drop(std::unique_ptr<ListingSnapshot> snapshot, Snapshots& dropped) {
    if (!snapshot) return;
    Uncharge(snapshot->Capacity());
    dropped.push_back(std::move(snapshot));
}

void ListingBudget::AddReady(std::size_t bytes) {
    readyBytes_ += bytes;
    assert(readyBytes_ <= charged_);
}

void ListingBudget::RemoveReady(std::size_t bytes) {
    assert(bytes <= readyBytes_);
    readyBytes_ -= bytes;
}

}  // namespace quorvel
