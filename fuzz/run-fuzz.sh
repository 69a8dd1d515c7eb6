#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# fuzz/run-fuzz.sh SECONDS [libFuzzer options...]
# Builds the scanner's libFuzzer target with clang (ASan + UBSan) and runs it
# for SECONDS on a working copy of the seed corpus. Exits non-zero when the
# fuzzer finds a fault; the reproducer is left in the build folder.
# QUORVEL_FUZZ_BUILD overrides the build folder (default build/fuzz).
set -euo pipefail
seconds="${1:?usage: fuzz/run-fuzz.sh SECONDS [libFuzzer options...]}"
shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QUORVEL_FUZZ_BUILD:-$here/build/fuzz}"

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVEL_FUZZ=ON -DQUORVEL_BUILD_APP=OFF -DQUORVEL_BUILD_BENCH=OFF -DBUILD_TESTING=OFF \
    >/dev/null
cmake --build "$build" --target dirwalk_fuzz -j"$(nproc)"

# New inputs go to a working corpus; the seeds in the repository stay as they are.
work="$build/corpus"
artifacts="$build/artifacts"
mkdir -p "$work" "$artifacts"
cd "$build"
"$build/fuzz/dirwalk_fuzz" "$work" "$here/fuzz/corpus" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"
