// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace quorvel::testing {

// A temporary folder removed (recursively, without following links, even when
// deeper than PATH_MAX) when destroyed.
//
// Every builder works from the root's descriptor one component at a time, so
// relative paths of any length and any bytes (except '/' and NUL inside a
// name) work. Builders create missing parent folders and throw
// std::runtime_error on failure, so a broken fixture fails the test loudly.
class TempTree {
  public:
    TempTree();  // mkdtemp under $TMPDIR or /tmp
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return root_; }  // absolute, no trailing '/'
    std::string Path(std::string_view rel) const;      // Root() + "/" + rel
    // Builders change the tree on disk, not this object: a const tree can grow.
    void Folder(std::string_view rel) const;  // mkdir -p style, bytes allowed
    void File(std::string_view rel, std::string_view content = {}) const;
    void Link(std::string_view rel, std::string_view target) const;  // symlink(target, Root()/rel)

  private:
    std::string root_;
};

}  // namespace quorvel::testing
