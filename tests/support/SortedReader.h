// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <quorvel/DirectoryReader.h>

namespace quorvel::testing {

// The system's reader with every folder's entries sorted by their bytes and
// "." and ".." put last, where they can hide the least: for tests whose
// expectations need one fixed order.
std::shared_ptr<DirectoryReader> SortedSystemReader();

}  // namespace quorvel::testing
