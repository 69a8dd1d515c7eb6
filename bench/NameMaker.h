// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "SplitMix64.h"

namespace quorvel::bench {

// Makes entry names of 5 to 30 bytes: mostly letters, digits, '-' and '.',
// files usually with an extension; about one in a hundred holds odd bytes
// (invalid UTF-8, blanks, quotes, shell characters). Never '/', NUL or a line
// break, so that `find` prints exactly one line per entry.
//
// Names are unique within a folder by construction: each starts with its
// index in the folder in base 36 followed by '_', and '_' occurs nowhere
// else, so the index can be read back from the name.
class NameMaker {
  public:
    explicit NameMaker(std::uint64_t seed) : rng_(seed) {}

    std::string Make(std::uint32_t indexInFolder, bool isFile);

  private:
    SplitMix64 rng_;
};

}  // namespace quorvel::bench
