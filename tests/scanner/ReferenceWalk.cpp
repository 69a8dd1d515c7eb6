#include "ReferenceWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quorvel::testing {
namespace {

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

class Reference {
  public:
    Reference(std::string root, const ScanOptions& options)
        : root_(std::move(root)),
          enter_(options.subFolders == -1),
          report_(options.events == -1),
          fullPath_(options.fullPath != 0),
          cap_(options.entryCap) {
        if (root_.empty() || root_.back() != '/') root_ += '/';
    }

    ScanResult Run() {
        struct stat st {};
        if (::stat(root_.c_str(), &st) == 0) onPath_.emplace_back(st.st_dev, st.st_ino);
        Walk(root_);
        return std::move(result_);
    }

  private:
    void Walk(const std::string& folder) {
        const std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
        if (!dir) return;
        while (const dirent* d = ::readdir(dir.get())) {
            const std::string name = d->d_name;
            const std::string full = folder + name;
            if (++seen_ > cap_) throw std::runtime_error("reference walk: too many entries");
            // stat follows links: a real folder and a link to one both lead
            // to a folder; lstat tells the two apart.
            struct stat own {};
            struct stat target {};
            const bool isLink = ::lstat(full.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
            if (::stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
                if (name == "." || name == "..") continue;
                Folder(name, full, isLink, {target.st_dev, target.st_ino});
            } else {
                ++result_.fileCount;
                result_.files.push_back(full);
                if (report_) {
                    result_.events.push_back(FileEvent(name, folder.substr(root_.size()), folder,
                                                       result_.fileCount, result_.folderCount));
                }
            }
        }
    }

    void Folder(const std::string& name, const std::string& full, bool isLink,
                std::pair<dev_t, ino_t> id) {
        const std::string rel = full.substr(root_.size());
        result_.folders.push_back(fullPath_ ? full + "/" : rel);
        const bool loops = isLink && std::find(onPath_.begin(), onPath_.end(), id) != onPath_.end();
        if (enter_ && !loops) {
            onPath_.push_back(id);
            Walk(full + "/");
            onPath_.pop_back();
        }
        ++result_.folderCount;
        if (report_) {
            result_.events.push_back(
                FolderEvent(name, rel, full, result_.fileCount, result_.folderCount));
        }
    }

    std::string root_;
    bool enter_;
    bool report_;
    bool fullPath_;
    long cap_;
    long seen_ = 0;
    std::vector<std::pair<dev_t, ino_t>> onPath_;
    ScanResult result_;
};

}  // namespace

ScanResult ReferenceWalk(const std::string& root, const ScanOptions& options) {
    return Reference(root, options).Run();
}

}  // namespace quorvel::testing
