// SPDX-License-Identifier: MIT
#pragma once
// The one line every benchmark variant prints on standard output, which
// run-bench.sh reads:
//
//   folders=N files=N walk_ms=T [more key=value pairs]
//
// walk_ms is the walk alone, measured inside the process; the runner times
// the whole process too, which is what it compares.
//
// With --digest, a walker adds "digest=HEX" after the walk (outside walk_ms):
// a hash of both lists, items and order, so that two walkers can be shown to
// have built the very same lists, not merely as many items.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

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

// FNV-1a over every item of a list, each followed by a NUL (which no path
// holds), so that item boundaries count too.
template <class List>
std::uint64_t ListDigest(const List& list, std::uint64_t hash = 0xCBF29CE484222325ULL) {
    list.ForEach([&hash](std::string_view item) {
        for (const char c : item) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
        hash *= 0x100000001B3ULL;
    });
    return hash;
}

inline void PrintDigest(std::uint64_t folderDigest, std::uint64_t fileDigest) {
    std::printf(" digest=%016llx%016llx", static_cast<unsigned long long>(folderDigest),
                static_cast<unsigned long long>(fileDigest));
}

inline void PrintWalkReport(std::uint64_t folders, std::uint64_t files, double walkMs) {
    std::printf("folders=%llu files=%llu walk_ms=%.3f", static_cast<unsigned long long>(folders),
                static_cast<unsigned long long>(files), walkMs);
}

}  // namespace quorvel::bench
