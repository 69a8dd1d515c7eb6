#!/usr/bin/env bash
# Times every way of walking the benchmark tree in one run, on the same warm
# tree, and compares each with the raw walker. See bench/README.md.
#
#   bench/run-bench.sh [--build DIR] [--tree DIR] [--reps N] [--entries N]
#                      [--seed N] [--no-build]
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/release"
tree=/tmp/quorvel-bench-tree
reps=9
entries=1000000
seed=20240601
do_build=1

usage() {
    sed -n '2,7p' "${BASH_SOURCE[0]}" >&2
    exit 2
}
while (($#)); do
    case $1 in
        --build) build=$2; shift 2 ;;
        --tree) tree=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        --entries) entries=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --no-build) do_build=0; shift ;;
        *) usage ;;
    esac
done
[[ $reps =~ ^[1-9][0-9]*$ ]] || usage

if ((do_build)); then
    log=$(mktemp)
    {
        if [[ ! -f $build/CMakeCache.txt ]]; then
            if [[ $build == "$repo/build/release" ]]; then
                (cd "$repo" && cmake --preset release)
            else
                cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release
            fi
        fi
        cmake --build "$build" --target quorvel-bench-programs -j2
    } >"$log" 2>&1 || {
        cat "$log" >&2
        echo "run-bench: the build failed" >&2
        exit 1
    }
    rm -f "$log"
fi
bin="$build/bench"
timer="$bin/quorvel-bench-time"

# The tree is rebuilt only when its stamp names another seed or size.
stamp=$("$bin/quorvel-bench-tree" --seed "$seed" --entries "$entries" "$tree")
want_folders=$(sed -n 's/.* folders=\([0-9]*\).*/\1/p' <<<"$stamp")
want_files=$(sed -n 's/.* files=\([0-9]*\).*/\1/p' <<<"$stamp")

# ---------------------------------------------------------------------------
# The variants. One call each:
#
#   variant NAME KIND TARGET COMMAND [ARGS...]
#
# KIND says how the counts are checked:
#   report  the command prints "folders=N files=N walk_ms=T ..." (bench/WalkReport.h)
#   lines   the command prints one line per entry plus one for the root, as
#           find does; timed with its output sent to /dev/null, counted in an
#           untimed run
# TARGET is the highest acceptable ratio to the raw walker, or - for none.
# The first variant is the yardstick the ratios are taken against.
# ---------------------------------------------------------------------------
names=() kinds=() targets=() commands=()
variant() {
    names+=("$1") kinds+=("$2") targets+=("$3")
    shift 3
    commands+=("$(printf '%q ' "$@")")
}

variant "raw walker (openat+getdents64)" report - "$bin/quorvel-bench-raw" "$tree"
variant "clsDirwalk, events off" report 1.15 "$bin/quorvel-bench-scanner" "$tree"
variant "clsDirwalk, events on + yield hook" report 1.30 "$bin/quorvel-bench-scanner" --events "$tree"
variant "find > /dev/null" lines - find "$tree"

# The window's own benchmark joins here: a program that scans the tree through
# the real main window and prints the report line. Build it as
# quorvel-bench-window (or point QUORVEL_BENCH_WINDOW at it) and it is picked
# up; otherwise it is left out.
window_bench=${QUORVEL_BENCH_WINDOW:-$build/bench/quorvel-bench-window}
if [[ -x $window_bench ]]; then
    variant "main window" report - env QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$window_bench" "$tree"
fi
# ---------------------------------------------------------------------------

count=${#names[@]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Runs variant $1 once, timed; sets wall, cpu, rss, folders, files.
run_once() {
    local i=$1 out=/dev/null timing
    local -a cmd
    eval "cmd=(${commands[$i]})"
    [[ ${kinds[$i]} == report ]] && out="$work/out"
    if ! timing=$("$timer" "$out" "${cmd[@]}"); then
        echo "run-bench: '${names[$i]}' failed: $timing" >&2
        exit 1
    fi
    wall=$(sed -n 's/.*wall_ms=\([0-9.]*\).*/\1/p' <<<"$timing")
    cpu=$(sed -n 's/.*cpu_ms=\([0-9.]*\).*/\1/p' <<<"$timing")
    rss=$(sed -n 's/.*maxrss_kb=\([0-9]*\).*/\1/p' <<<"$timing")
    folders=- files=-
    if [[ $out != /dev/null ]]; then
        local report
        report=$(tail -n 1 "$out")
        folders=$(sed -n 's/.*folders=\([0-9]*\).*/\1/p' <<<"$report")
        files=$(sed -n 's/.*files=\([0-9]*\).*/\1/p' <<<"$report")
    fi
}

check_counts() {
    local i=$1 got_folders=$2 got_files=$3
    if [[ $got_folders != "$want_folders" || $got_files != "$want_files" ]]; then
        echo "run-bench: '${names[$i]}' found $got_folders folders and $got_files files;" \
            "the tree has $want_folders and $want_files" >&2
        failures=$((failures + 1))
    fi
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# Warm-up: one untimed pass of every variant brings the whole tree into the
# caches and checks that every variant sees all of it.
for ((i = 0; i < count; i++)); do
    run_once "$i"
    if [[ ${kinds[$i]} == lines ]]; then
        eval "cmd=(${commands[$i]})"
        lines=$("${cmd[@]}" | wc -l)
        if ((lines != want_folders + want_files + 1)); then
            echo "run-bench: '${names[$i]}' printed $lines lines;" \
                "the tree has $((want_folders + want_files)) entries plus its root" >&2
            failures=$((failures + 1))
        fi
    else
        check_counts "$i" "$folders" "$files"
    fi
done

# Same lists, not just as many items: the walkers that can print a digest of
# both lists (items and order) must agree on it. Untimed.
digest_of() {
    "$@" | sed -n 's/.*digest=\([0-9a-f]*\).*/\1/p'
}
raw_digest=$(digest_of "$bin/quorvel-bench-raw" --digest "$tree")
for flags in "" "--events"; do
    # shellcheck disable=SC2086 # $flags is empty or one word
    scanner_digest=$(digest_of "$bin/quorvel-bench-scanner" $flags --digest "$tree")
    if [[ -z $raw_digest || $scanner_digest != "$raw_digest" ]]; then
        echo "run-bench: clsDirwalk ${flags:-without events} built other lists than the raw walker" >&2
        failures=$((failures + 1))
    fi
done

# Interleaved: every round runs each variant once, starting one further along
# each round, so a burst of load elsewhere spreads over all variants.
declare -a walls cpus rsss
for ((r = 0; r < reps; r++)); do
    for ((k = 0; k < count; k++)); do
        i=$(((k + r) % count))
        run_once "$i"
        [[ ${kinds[$i]} == report ]] && check_counts "$i" "$folders" "$files"
        walls[i]+="$wall "
        rsss[i]+="$rss "
        cpus[i]+="$cpu "
    done
done

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

printf 'tree     %s: %s folders, %s files (seed %s)\n' "$tree" "$want_folders" "$want_files" "$seed"
printf 'machine  %s cores; load average %s before, %s after\n' "$(nproc)" "$load_before" "$load_after"
printf 'timing   median of %s interleaved runs of each, one process each, fork to exit;\n' "$reps"
printf '         targets are judged on CPU time, which load elsewhere disturbs least\n\n'
printf '%-36s %8s %6s %8s %6s %8s  %s\n' variant "wall ms" ratio "cpu ms" ratio "peak MiB" target
base_wall='' base_cpu=''
for ((i = 0; i < count; i++)); do
    read -ra w <<<"${walls[i]}"
    read -ra c <<<"${cpus[i]}"
    read -ra s <<<"${rsss[i]}"
    m_wall=$(median "${w[@]}")
    m_cpu=$(median "${c[@]}")
    peak=$(printf '%s\n' "${s[@]}" | sort -n | tail -n 1)
    [[ -z $base_wall ]] && base_wall=$m_wall base_cpu=$m_cpu
    cpu_ratio=$(ratio "$m_cpu" "$base_cpu")
    verdict=
    if [[ ${targets[$i]} != - ]]; then
        verdict=$(awk -v r="$cpu_ratio" -v t="${targets[$i]}" \
            'BEGIN { printf "<= %s %s", t, (r <= t) ? "met" : "MISSED" }')
    fi
    printf '%-36s %8.1f %6s %8.1f %6s %8.1f  %s\n' "${names[$i]}" "$m_wall" \
        "$(ratio "$m_wall" "$base_wall")" "$m_cpu" "$cpu_ratio" "$(ratio "$peak" 1024)" "$verdict"
done

if ((failures)); then
    echo
    echo "run-bench: $failures checks failed (see above); the figures are not comparable" >&2
    exit 1
fi
echo
echo "counts   every variant found $want_folders folders and $want_files files"
echo "lists    clsDirwalk and the raw walker built identical lists (digest $raw_digest)"
