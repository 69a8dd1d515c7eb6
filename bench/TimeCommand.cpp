// SPDX-License-Identifier: MIT
// quorvel-bench-time OUTFILE COMMAND [ARGS...]: runs COMMAND once with its
// standard output sent to OUTFILE (/dev/null to discard it) and prints
//
//   wall_ms=T cpu_ms=T maxrss_kb=N status=S
//
// wall_ms spans fork to reap, so every variant pays the same process costs;
// cpu_ms is the child's user plus system time, which other work on a busy
// machine disturbs far less than the wall time; maxrss_kb is the child's own
// peak resident set (wait4), not that of any earlier child. Exits 1 when the command could not run
// or did not succeed.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvel-bench-time OUTFILE COMMAND [ARGS...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("quorvel-bench-time: fork");
        return 1;
    }
    if (pid == 0) {
        const int out = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) {
            std::perror("quorvel-bench-time: output file");
            ::_exit(127);
        }
        ::execvp(argv[2], argv + 2);
        std::fprintf(stderr, "quorvel-bench-time: %s: %s\n", argv[2], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    pid_t reaped;
    do {
        reaped = ::wait4(pid, &status, 0, &usage);
    } while (reaped < 0 && errno == EINTR);
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    if (reaped < 0) {
        std::perror("quorvel-bench-time: wait4");
        return 1;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    std::printf("wall_ms=%.3f cpu_ms=%.3f maxrss_kb=%ld status=%d\n", wall.count(),
                ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss, code);
    return code == 0 ? 0 : 1;
}
