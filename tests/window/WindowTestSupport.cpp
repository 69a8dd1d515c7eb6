// SPDX-License-Identifier: MIT
#include "WindowTestSupport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvel::testing {

void BuildWorkedExample(const TempTree& tree) {
    tree.File("a.txt");
    tree.File("sub/b.txt");
    tree.Folder("sub/deep");
}

void BuildWideTree(const TempTree& tree, int folders, int filesEach) {
    for (int f = 0; f < folders; ++f) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "f%02d", f);
        tree.Folder(folder);
        for (int i = 0; i < filesEach; ++i) {
            tree.File(std::string(folder) + "/file" + std::to_string(i) + ".dat");
        }
    }
}

void AtNextYield(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

bool WaitForListing(const FolderList& list) {
    QElapsedTimer waited;
    waited.start();
    while (list.IsListing()) {
        if (waited.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

int ExecWithFailsafe() {
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    failsafe.start(20000);
    return QCoreApplication::exec();
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
