// SPDX-License-Identifier: MIT
#pragma once
// quorvel-test-fusefs's input, and the commands that describe its tree
// before it mounts (see FuseServer.cpp).

#include <string>
#include <vector>

#include "FuseTree.h"

namespace quorvel::testing::fusefs {

// One line to standard output; a reader gone is not an error here.
void Report(const std::string& line);

// Lines from standard input, as they come.
class LineReader {
  public:
    // Appends the complete lines read by one read(2); false at the end.
    bool Read(std::vector<std::string>& lines);

  private:
    std::string pending_;
};

// Builds `tree` from the commands up to "mount", whose folder it sets.
// False, with the reason reported, on a bad command or an early end.
bool Setup(Tree& tree, LineReader& input, std::string& mountPoint);

}  // namespace quorvel::testing::fusefs
