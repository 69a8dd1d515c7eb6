#include "IndependentWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <stdexcept>

namespace quorvel::testing {
namespace {

bool IsFolder(const std::string& path, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_UNKNOWN) return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct WalkSettings {
    const std::string& root;
    bool recursive;
    const std::set<std::string>& unreadable;
};

// `rel` is "" for the root, else "a/b".
void Walk(const WalkSettings& settings, const std::string& rel, IndependentWalk& out) {
    const std::string& root = settings.root;
    const std::string folder = rel.empty() ? root : root + "/" + rel;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) throw std::runtime_error("cannot list " + folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        if (IsFolder(path, *entry)) {
            const std::string childRel = rel.empty() ? name : rel + "/" + name;
            out.foldersPreOrder.push_back(childRel);
            out.folderAt.push_back(true);
            if (settings.recursive && !settings.unreadable.contains(path)) {
                Walk(settings, childRel, out);
            }
            out.foldersPostOrder.push_back(childRel);
        } else {
            out.files.push_back(path);
            out.folderAt.push_back(false);
        }
    }
}

}  // namespace

IndependentWalk WalkIndependently(const std::string& root, bool recursive,
                                  const std::set<std::string>& unreadable) {
    IndependentWalk walk;
    if (unreadable.contains(root)) return walk;
    Walk(WalkSettings{root, recursive, unreadable}, "", walk);
    return walk;
}

}  // namespace quorvel::testing
