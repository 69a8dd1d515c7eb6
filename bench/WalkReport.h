#pragma once
// The one line every benchmark variant prints on standard output, which
// run-bench.sh reads:
//
//   folders=N files=N walk_ms=T [more key=value pairs]
//
// walk_ms is the walk alone, measured inside the process; the runner times
// the whole process too, which is what it compares.

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace quorvel::bench {

class WalkTimer {
  public:
    WalkTimer() : start_(std::chrono::steady_clock::now()) {}
    double ElapsedMs() const {
        const std::chrono::duration<double, std::milli> d =
            std::chrono::steady_clock::now() - start_;
        return d.count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

inline void PrintWalkReport(std::uint64_t folders, std::uint64_t files, double walkMs) {
    std::printf("folders=%llu files=%llu walk_ms=%.3f", static_cast<unsigned long long>(folders),
                static_cast<unsigned long long>(files), walkMs);
}

}  // namespace quorvel::bench
