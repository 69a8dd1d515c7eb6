#include "WindowTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvel::testing {

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvel-window-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    // The walk reports real paths: resolve a temporary folder behind a link.
    char resolved[PATH_MAX];
    root_ = ::realpath(pattern.c_str(), resolved) ? resolved : pattern;
}

TempFolder::~TempFolder() {
    // Best effort: a destructor cannot fail the test, and a leftover
    // temporary folder harms nothing.
    ::nftw(
        root_.c_str(),
        [](const char* path, const struct stat*, int, FTW*) {
            ::remove(path);
            return 0;
        },
        64, FTW_DEPTH | FTW_PHYS);
}

std::string TempFolder::Path(std::string_view rel) const {
    return root_ + "/" + std::string(rel);
}

void TempFolder::Folder(std::string_view rel) const {
    std::string path = root_;
    std::size_t start = 0;
    while (start <= rel.size()) {
        std::size_t end = rel.find('/', start);
        if (end == std::string_view::npos) end = rel.size();
        path.push_back('/');
        path.append(rel.substr(start, end - start));
        if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
            throw std::runtime_error("mkdir failed: " + path);
        }
        start = end + 1;
    }
}

void TempFolder::File(std::string_view rel) const {
    if (const std::size_t slash = rel.rfind('/'); slash != std::string_view::npos) {
        Folder(rel.substr(0, slash));
    }
    const std::string path = Path(rel);
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    ::close(fd);
}

void BuildWorkedExample(const TempFolder& tree) {
    tree.File("a.txt");
    tree.File("sub/b.txt");
    tree.Folder("sub/deep");
}

void BuildWideTree(const TempFolder& tree, int folders, int filesEach) {
    for (int f = 0; f < folders; ++f) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "f%02d", f);
        tree.Folder(folder);
        for (int i = 0; i < filesEach; ++i) {
            tree.File(std::string(folder) + "/file" + std::to_string(i) + ".dat");
        }
    }
}

std::vector<std::string> ListingOrder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) throw std::runtime_error("cannot list " + folder);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool ListsBefore(const std::string& folder, std::string_view first, std::string_view second) {
    for (const std::string& name : ListingOrder(folder)) {
        if (name == first) return true;
        if (name == second) return false;
    }
    throw std::runtime_error("neither name is listed in " + folder);
}

void AtNextYield(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

namespace {

class ThrowingListing final : public FolderListing {
  public:
    explicit ThrowingListing(std::function<void()> thrower) : thrower_(std::move(thrower)) {}
    bool Next(DirEntry&) override {
        thrower_();
        return false;
    }
    int Error() const override { return 0; }
    FolderId Identity() override { return {}; }

  private:
    std::function<void()> thrower_;
};

class ThrowingReaderImpl final : public DirectoryReader {
  public:
    ThrowingReaderImpl(std::string poison, std::function<void()> thrower)
        : poison_(std::move(poison)), thrower_(std::move(thrower)) {}

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path, int& error) override {
        if (path == poison_ + "/") {
            return std::make_unique<ThrowingListing>(thrower_);
        }
        return real_->OpenRoot(path, error);
    }
    std::unique_ptr<FolderListing> OpenChild(FolderListing& parent, std::string_view name,
                                             std::string_view fullPath, int& error) override {
        return real_->OpenChild(parent, name, fullPath, error);
    }

  private:
    std::shared_ptr<DirectoryReader> real_ = SystemDirectoryReader();
    std::string poison_;
    std::function<void()> thrower_;
};

}  // namespace

std::shared_ptr<DirectoryReader> ThrowingReaderOf(std::string poison,
                                                  std::function<void()> thrower) {
    return std::make_shared<ThrowingReaderImpl>(std::move(poison), std::move(thrower));
}

StderrCapture::StderrCapture() {
    char name[] = "/tmp/quorvel-stderr-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    path_ = name;
    std::fflush(stderr);
    savedFd_ = ::dup(2);
    ::dup2(fd, 2);
    ::close(fd);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    ::dup2(savedFd_, 2);
    ::close(savedFd_);
    ::unlink(path_.c_str());
}

std::string StderrCapture::Text() const {
    std::fflush(stderr);
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace quorvel::testing
