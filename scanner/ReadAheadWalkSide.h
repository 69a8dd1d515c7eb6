// SPDX-License-Identifier: MIT
#pragma once
// How the walk's side of read-ahead waits, for a walk whose thread must not
// block (clsDirwalk's ReadWaits other than kBlock). Left empty, the walk
// blocks, helps the workers and reads folders itself when it catches up with
// them, and the workers are joined.

#include <memory>

#include <quorvel/DirectoryReader.h>

#include "ReadWaiter.h"
#include "ThreadTally.h"

namespace quorvel {

struct ReadAheadWalkSide {
    // Waits for a worker's read in slices, and may give it up. With it, the
    // walk reads nothing on its own thread: what it must read (the root, a
    // folder no worker read, a link) it reads through `reader`.
    ReadWaiter* waiter = nullptr;
    std::shared_ptr<DirectoryReader> reader;
    // The workers run detached, counted here.
    std::shared_ptr<ThreadTally> tally;
};

}  // namespace quorvel
