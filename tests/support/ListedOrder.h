// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

// The names of `folder` (without "." and "..") in the order the file system
// lists them. A walk follows that order, which is not sorted: tests assemble
// their expected values in it. Throws when the folder cannot be listed.
std::vector<std::string> ListedOrder(const std::string& folder);

// Whether `first` is listed before `second` in `folder`; throws when
// neither is there.
bool ListsBefore(const std::string& folder, std::string_view first, std::string_view second);

// `items` sorted by their bytes: for comparisons where the walk's order is
// not what is under test.
std::vector<std::string> Sorted(std::vector<std::string> items);

}  // namespace quorvel::testing
