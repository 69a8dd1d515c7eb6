#pragma once
// Runs clsDirwalk over any directory reader and captures, beside what it
// reports, what the hostile-tree tests check on every walk: the folders it
// could not read, how many entries it yielded after, and whether any
// descriptor was left open.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "DirwalkProbe.h"

namespace quorvel::testing {

// One ReadFailures() item as a comparable value.
struct Failure {
    std::string path;
    int error = 0;
    bool operator==(const Failure&) const = default;
};
void PrintTo(const Failure& failure, std::ostream* out);

struct HostileScanResult {
    ScanResult scan;
    std::vector<Failure> failures;
    int yields = 0;
    int descriptorsBefore = 0;
    int descriptorsAfter = 0;
};

struct HostileScanOptions {
    std::shared_ptr<DirectoryReader> reader = SystemDirectoryReader();
    Flag subFolders = kTrue;
    Flag fullPath = kFalse;
    // More yields than this mean a runaway walk: it is aborted and the test
    // fails instead of hanging.
    int yieldCap = 1'000'000;
    // Called with each event after it was recorded, inside the walk.
    std::function<void(const Event&, clsDirwalk&)> onEvent;
};

HostileScanResult HostileScan(const std::string& root, HostileScanOptions options = {});

// The invariants every walk keeps, whatever the tree: counts equal list
// sizes and event counts, folder numbers run 1, 2, ... in event order, the
// folder list is in pre-order (each folder after its parent), and no
// descriptor is left open.
void ExpectWalkInvariants(const HostileScanResult& result);

}  // namespace quorvel::testing
