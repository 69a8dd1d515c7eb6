// SPDX-License-Identifier: MIT
// list-tree: prints the two lists that the Quorvel scanner makes of a folder
// (the current one by default), the way find prints a tree: first every
// folder, then every file, one path a line, each list in the scanner's order.
//
//   list-tree [--full-path] [--no-subfolders] [--print0] [FOLDER]
//
// Folders are relative to FOLDER ("sub", "sub/deep"), or with --full-path
// FOLDER's path followed by theirs and a '/' ("top/sub/deep/"). Files are
// always FOLDER's path followed by theirs ("top/sub/b.txt"). FOLDER itself is
// not listed. --no-subfolders lists FOLDER's own entries only. --print0 ends
// each path with a NUL byte instead of a line feed, for names that hold line
// breaks. Exit status 1: a folder could not be read (named on stderr) or the
// output could not be written; 2: a wrong argument.
#include <quorvel/OpenFileLimit.h>
#include <quorvel/clsDirwalk.h>

#include <cstdio>
#include <memory>
#include <string_view>

int main(int argc, char* argv[]) {
    quorvel::RaiseOpenFileLimit();  // the walk holds a descriptor per level
    auto walk = std::make_shared<quorvel::clsDirwalk>();
    char end = '\n';
    const char* folder = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--full-path") {
            walk->FullPath(quorvel::kTrue);
        } else if (arg == "--no-subfolders") {
            walk->SubFolders(quorvel::kFalse);
        } else if (arg == "--print0") {
            end = '\0';
        } else if (!arg.starts_with("--") && folder == nullptr) {
            folder = argv[i];
        } else {
            std::fputs("usage: list-tree [--full-path] [--no-subfolders] [--print0] [FOLDER]\n",
                       stderr);
            return 2;
        }
    }
    walk->ScanFolder(folder != nullptr ? folder : ".");
    // A list keeps each path as its folder and its name; ForEach hands out
    // each whole path in turn, built in one reused buffer.
    for (const auto& list : {walk->Folders(), walk->Files()}) {
        list->ForEach([end](std::string_view path) {
            std::fwrite(path.data(), 1, path.size(), stdout);
            std::fputc(end, stdout);
        });
    }
    for (const quorvel::ReadFailure& failure : *walk->ReadFailures()) {
        std::fprintf(stderr, "list-tree: cannot read %s: %s\n", failure.path.c_str(),
                     failure.error.message().c_str());
    }
    const bool written = std::fclose(stdout) == 0;
    return written && walk->ReadFailures()->empty() ? 0 : 1;
}
