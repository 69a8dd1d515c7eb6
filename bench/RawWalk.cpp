// quorvel-bench-raw FOLDER: walks FOLDER with the raw walker and prints the
// report line (see WalkReport.h).

#include <cstdio>

#include "RawWalker.h"
#include "WalkReport.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel-bench-raw FOLDER\n");
        return 2;
    }
    quorvel::bench::RawWalker walker(argv[1]);
    const quorvel::bench::WalkTimer timer;
    walker.Walk();
    const double ms = timer.ElapsedMs();
    quorvel::bench::PrintWalkReport(walker.Folders().size(), walker.Files().size(), ms);
    std::printf("\n");
    return 0;
}
