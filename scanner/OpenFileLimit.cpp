// SPDX-License-Identifier: MIT
#include <quorvel/OpenFileLimit.h>

#include <sys/resource.h>

#include <cstdio>

namespace quorvel {
namespace {

// The kernel's ceiling for any process's descriptor limit: an unlimited hard
// limit cannot be set as the soft one, this can.
rlim_t KernelCeiling() {
    rlim_t ceiling = 1024 * 1024;
    if (std::FILE* f = std::fopen("/proc/sys/fs/nr_open", "re")) {
        unsigned long long value = 0;
        if (std::fscanf(f, "%llu", &value) == 1 && value > 0) ceiling = value;
        std::fclose(f);
    }
    return ceiling;
}

}  // namespace

std::uint64_t RaiseOpenFileLimit() noexcept {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    rlim_t wanted = limit.rlim_max;
    if (wanted == RLIM_INFINITY) wanted = KernelCeiling();
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return limit.rlim_cur;
    const rlim_t before = limit.rlim_cur;
    limit.rlim_cur = wanted;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 ? wanted : before;
}

}  // namespace quorvel
