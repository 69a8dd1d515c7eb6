// SPDX-License-Identifier: MIT
// quorvel-bench-raw [--digest] FOLDER: walks FOLDER with the raw walker and
// prints the report line (see WalkReport.h).

#include <cstdio>
#include <cstring>

#include "RawWalker.h"
#include "WalkReport.h"

int main(int argc, char** argv) {
    const bool digest = argc == 3 && std::strcmp(argv[1], "--digest") == 0;
    if (argc != 2 && !digest) {
        std::fprintf(stderr, "usage: quorvel-bench-raw [--digest] FOLDER\n");
        return 2;
    }
    quorvel::bench::RawWalker walker(argv[argc - 1]);
    const quorvel::bench::WalkTimer timer;
    walker.Walk();
    const double ms = timer.ElapsedMs();
    quorvel::bench::PrintWalkReport(walker.Folders().size(), walker.Files().size(), ms);
    if (digest) {
        quorvel::bench::PrintDigest(quorvel::bench::ListDigest(walker.Folders()),
                                    quorvel::bench::ListDigest(walker.Files()));
    }
    std::printf("\n");
    return 0;
}
