// SPDX-License-Identifier: MIT
#include "ReferenceWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>

namespace quorvel::testing {
namespace {

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

class Reference {
  public:
    Reference(std::string root, const ReferenceOptions& options)
        : root_(std::move(root)), options_(options) {
        if (root_.empty() || root_.back() != '/') root_ += '/';
    }

    std::vector<ReferenceStep> Run() {
        if (options_.unreadable.contains(root_.substr(0, root_.size() - 1))) return {};
        struct stat st {};
        if (::stat(root_.c_str(), &st) == 0) onPath_.emplace_back(st.st_dev, st.st_ino);
        Walk(root_);
        return std::move(steps_);
    }

  private:
    using Kind = ReferenceStep::Kind;

    void Walk(const std::string& folder) {
        const std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
        if (!dir) return;
        while (const dirent* d = ::readdir(dir.get())) {
            const std::string name = d->d_name;
            const std::string full = folder + name;
            if (++seen_ > options_.entryCap) {
                throw std::runtime_error("reference walk: too many entries");
            }
            // stat follows links: a real folder and a link to one both lead
            // to a folder; lstat tells the two apart.
            struct stat own {};
            struct stat target {};
            const bool isLink = ::lstat(full.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
            if (::stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
                if (name == "." || name == "..") continue;
                Folder(name, folder, isLink, {target.st_dev, target.st_ino});
            } else {
                steps_.push_back({Kind::File, name, folder, folder.substr(root_.size())});
            }
        }
    }

    void Folder(const std::string& name, const std::string& folder, bool isLink,
                std::pair<dev_t, ino_t> id) {
        const std::string full = folder + name;
        const std::string rel = full.substr(root_.size());
        steps_.push_back({Kind::Folder, name, folder, rel});
        // A link is not entered when it leads to a folder on the current
        // path, or to one an earlier link already led into.
        const bool skipLink =
            isLink && (std::find(onPath_.begin(), onPath_.end(), id) != onPath_.end() ||
                       linkEntered_.contains(id));
        if (options_.enter && !skipLink && !options_.unreadable.contains(full)) {
            if (isLink) linkEntered_.insert(id);
            onPath_.push_back(id);
            Walk(full + "/");
            onPath_.pop_back();
        }
        steps_.push_back({Kind::FolderDone, name, folder, rel});
    }

    std::string root_;
    const ReferenceOptions& options_;
    int seen_ = 0;
    std::vector<std::pair<dev_t, ino_t>> onPath_;
    std::set<std::pair<dev_t, ino_t>> linkEntered_;
    std::vector<ReferenceStep> steps_;
};

}  // namespace

std::vector<ReferenceStep> ReferenceWalk(const std::string& root, const ReferenceOptions& options) {
    return Reference(root, options).Run();
}

}  // namespace quorvel::testing
