#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times every way of walking the benchmark tree in one run, on the same tree,
# warm (the default) or cold (--cold: the page cache dropped before every
# run), or served over FUSE with a network share's time per read (--network),
# and compares each with the raw walker. See bench/README.md.
#
#   bench/run-bench.sh [--build DIR] [--tree DIR] [--reps N] [--entries N]
#                      [--seed N] [--clicks N] [--no-build] [--cold] [--sweep]
#                      [--network [--latency-us N]] [--against LABEL=DIR]...
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/release"
tree=''
reps=''
entries=''
seed=20240601
clicks=9
do_build=1
cold=0
sweep=0
network=0
latency_us=2000
againsts=()

usage() {
    sed -n '2,10p' "${BASH_SOURCE[0]}" >&2
    exit 2
}
while (($#)); do
    case $1 in
        --build) build=$2; shift 2 ;;
        --tree) tree=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        --entries) entries=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --clicks) clicks=$2; shift 2 ;;
        --no-build) do_build=0; shift ;;
        --cold) cold=1; shift ;;
        --sweep) sweep=1; shift ;;
        --network) network=1; shift ;;
        --latency-us) latency_us=$2; shift 2 ;;
        --against) againsts+=("$2"); shift 2 ;;
        *) usage ;;
    esac
done
# Over the network: a tree of the size of a project share, walked in seconds
# even serially, beside the default one (a tree's stamp names its size).
if ((network)); then
    : "${tree:=/tmp/quorvel-bench-net-tree}" "${reps:=5}" "${entries:=50000}"
else
    : "${tree:=/tmp/quorvel-bench-tree}" "${reps:=9}" "${entries:=1000000}"
fi
[[ $reps =~ ^[1-9][0-9]*$ && $clicks =~ ^[1-9][0-9]?$ && $latency_us =~ ^[0-9]+$ ]] || usage
if ((network && cold)); then
    echo "run-bench: --network serves the tree from memory; --cold has nothing to drop" >&2
    exit 2
fi

# Cold: every timed run starts with nothing of the tree in memory, as the
# first scan of a folder not read lately does.
drop_caches() {
    sync
    echo 3 >/proc/sys/vm/drop_caches
}
if ((cold)); then
    if (($(id -u) != 0)); then
        echo "run-bench: --cold drops the page cache before every run, and only root may" >&2
        exit 2
    fi
    if ! (drop_caches) 2>/dev/null; then
        echo "run-bench: --cold: this system does not let the page cache be dropped" >&2
        exit 2
    fi
fi

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

work=$(mktemp -d)
fusefs_pid='' fusefs_in=''
# The FUSE server unmounts, and removes its mount point, when its input ends.
stop_fusefs() {
    [[ -n $fusefs_pid ]] || return 0
    exec {fusefs_in}>&-
    wait "$fusefs_pid" || true
}
# Processes this run starts for itself (the accessibility bus and its X
# server), ended by their ids.
helpers=()
cleanup() {
    local pid
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
    stop_fusefs
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/empty"

# --network: the tree, copied into quorvel-test-fusefs's memory, is served
# over FUSE with every read of a listing taking $latency_us (the end of a
# listing, which a network share reports with its last entries, takes
# none); the variants walk the mount.
walked=$tree
if ((network)); then
    fusefs="$build/tests/support/quorvel-test-fusefs"
    if [[ ! -x $fusefs || ! -e /dev/fuse ]]; then
        echo "run-bench: --network needs /dev/fuse and $fusefs (a build with the tests and libfuse3-dev)" >&2
        exit 2
    fi
    walked=$(mktemp -d /tmp/quorvel-bench-net-mount-XXXXXX)
    coproc FUSEFS { exec "$fusefs"; }
    fusefs_pid=$FUSEFS_PID fusefs_in=${FUSEFS[1]} fusefs_out=${FUSEFS[0]}
    # Paths travel as they are, so none may need the protocol's escapes.
    if [[ $tree =~ [%[:space:][:cntrl:]] ]]; then
        echo "run-bench: --network takes a --tree path without '%', blanks or control bytes" >&2
        exit 2
    fi
    printf 'mirror %s\nlatency . %s\nmount %s\n' "$tree" "$latency_us" "$walked" >&"$fusefs_in"
    read -r -t 60 answer <&"$fusefs_out" || answer='no answer'
    if [[ $answer != ready ]]; then
        echo "run-bench: the FUSE server did not mount the tree: $answer" >&2
        exit 1
    fi
fi

# ---------------------------------------------------------------------------
# The variants. One call each:
#
#   variant NAME KIND WARM COLD COMMAND [ARGS...]
#
# KIND says how the counts are checked:
#   report  the command prints "folders=N files=N walk_ms=T ..." (bench/WalkReport.h)
#   empty   the same, for a run on an empty folder: it must find nothing
#   lines   the command prints one line per entry plus one for the root, as
#           find does; timed with its output sent to /dev/null, counted in an
#           untimed run
#   entries the same, without the line for the root (fd)
#   own     the report of a run on the flat folder ($flat_folders subfolders)
#           adds own_cpu_ms=T: the time of the part under test alone
# WARM and COLD are the targets of a warm and of a cold run: cpu:R or wall:R,
# the highest acceptable ratio to the raw walker of the median CPU or wall
# time (wall for whatever runs threads in parallel), or - for none; for an own
# variant, the highest acceptable own_cpu_ms.
# The first variant is the yardstick the ratios are taken against.
# ---------------------------------------------------------------------------
# The read-ahead lines run with the default number of workers
# (ReadAheadSettings), which the window uses.
window_workers=32
names=() kinds=() warm_targets=() cold_targets=() commands=()
variant() {
    names+=("$1") kinds+=("$2") warm_targets+=("$3") cold_targets+=("$4")
    shift 4
    commands+=("$(printf '%q ' "$@")")
}

variant "raw walker (openat+getdents64)" report - - "$bin/quorvel-bench-raw" "$walked"
if ((network)); then
    scanner_serial=${#names[@]}
    variant "clsDirwalk, events off" report - - "$bin/quorvel-bench-scanner" "$walked"
    scanner_ahead=${#names[@]}
    variant "clsDirwalk read-ahead, events off" report - - \
        "$bin/quorvel-bench-scanner" --read-ahead $window_workers "$walked"
    if ((sweep)); then
        for workers in 4 8 12 16 24 48; do
            variant "clsDirwalk read-ahead, $workers workers" report - - \
                "$bin/quorvel-bench-scanner" --read-ahead "$workers" "$walked"
        done
    fi
fi
if ((!network)); then
scanner_serial=${#names[@]}
variant "clsDirwalk, events off" report cpu:1.05 - "$bin/quorvel-bench-scanner" "$tree"
# Its memory baseline: the same program scanning an empty folder.
scanner_empty=${#names[@]}
variant "clsDirwalk, empty folder" empty - - "$bin/quorvel-bench-scanner" "$work/empty"
scanner_events=${#names[@]}
variant "clsDirwalk, events on + yield hook" report cpu:1.30 - \
    "$bin/quorvel-bench-scanner" --events "$tree"
# Read-ahead with the window's settings (the defaults: window_workers, 64 MiB).
scanner_ahead=${#names[@]}
variant "clsDirwalk read-ahead, events off" report wall:0.75 wall:0.60 \
    "$bin/quorvel-bench-scanner" --read-ahead $window_workers "$tree"
variant "clsDirwalk read-ahead, events+yield" report - - \
    "$bin/quorvel-bench-scanner" --read-ahead $window_workers --events "$tree"
# As the window walks: no read on the walk's own thread.
variant "clsDirwalk read-ahead, events, reads off thread" report - - \
    "$bin/quorvel-bench-scanner" --read-ahead $window_workers --events --yielding-waits "$tree"
if ((sweep)); then
    for workers in 2 4 8 12 16; do
        variant "clsDirwalk read-ahead, $workers workers" report - - \
            "$bin/quorvel-bench-scanner" --read-ahead "$workers" "$tree"
    done
fi
variant "find > /dev/null" lines - - find "$tree"
fi
# fd lists in parallel and in no fixed order: the fastest peer, not an equal.
fd_peer=''
if command -v fdfind >/dev/null; then
    fd_peer=${#names[@]}
    variant "fd -u -j8 > /dev/null" entries - - fdfind -u -j8 . "$walked"
fi

# The real main window (bench/WindowWalk.cpp), built with the window program
# only; QUORVEL_BENCH_WINDOW may name another build of it. Shown, it opens the
# tree in its folder list with Events on; at load, it starts in the tree, as
# quorvel does when started there; on an empty folder, it gives the window's
# own memory baseline.
window_bench=${QUORVEL_BENCH_WINDOW:-$build/bench/quorvel-bench-window}
# Qt wants a private runtime folder, and says so on every start without one.
window_env=(env QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
    XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work/runtime}")
window_shown='' window_empty='' bus_shown='' bus_empty=''
flat=$tree-flat
flat_folders=100000
if [[ -x $window_bench ]]; then
    mkdir -m 700 "$work/runtime"
    window_shown=${#names[@]}
    variant "main window, shown, events on" report "$( ((network)) && echo - || echo wall:1.00)" \
        wall:0.80 "${window_env[@]}" "$window_bench" "$walked"
fi
if [[ -x $window_bench ]] && ((!network)); then
    variant "main window, first scan at load" report wall:2.50 - \
        "${window_env[@]}" "$window_bench" --at-load "$tree"
    window_empty=${#names[@]}
    variant "main window, empty folder" empty - - "${window_env[@]}" "$window_bench" "$work/empty"
    # The folder list alone (no scan) opening a folder of 100,000 subfolders.
    "$bin/quorvel-bench-tree" --seed "$seed" --flat "$flat_folders" "$flat" >/dev/null
    variant "Dir1 alone, 100,000 subfolders" own 300 300 \
        "${window_env[@]}" "$window_bench" --folder-list "$flat"
    # As a screen-reader user runs it: an AT-SPI bus (started here, with its
    # own session bus) and Qt's bridge to it, which comes with the xcb
    # platform only, so on an X server of its own. Needs xvfb, dbus and
    # at-spi2-core; left out without them.
    launcher=/usr/libexec/at-spi-bus-launcher
    if command -v Xvfb >/dev/null && command -v dbus-daemon >/dev/null && [[ -x $launcher ]]; then
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
        helpers+=($!)
        for ((waited = 0; waited < 100; waited++)); do
            [[ -s $work/display ]] && break
            sleep 0.1
        done
        read -r display <"$work/display"
        { read -r bus_address && read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
        helpers+=("$bus_pid")
        DBUS_SESSION_BUS_ADDRESS=$bus_address "$launcher" --launch-immediately >/dev/null 2>&1 &
        helpers+=($!)
        sleep 1
        bus_env=(env QT_QPA_PLATFORM=xcb DISPLAY=":$display" DBUS_SESSION_BUS_ADDRESS="$bus_address"
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work/runtime}")
        bus_shown=${#names[@]}
        variant "main window, accessibility bus" report - - "${bus_env[@]}" "$window_bench" "$tree"
        bus_empty=${#names[@]}
        variant "main window, empty, accessibility bus" empty - - \
            "${bus_env[@]}" "$window_bench" "$work/empty"
    fi
fi
# A/B: the read-ahead lines, and the window's where it was built, of other
# builds (--against LABEL=DIR: DIR is a build folder holding bench/), run
# interleaved with this build's, so that a change is measured against the
# code before it in the same conditions.
for against in "${againsts[@]}"; do
    label=${against%%=*} other=${against#*=}/bench
    if [[ $label == "$against" || ! -x $other/quorvel-bench-scanner ]]; then
        echo "run-bench: --against $against: want LABEL=DIR, DIR a build with bench/" >&2
        exit 2
    fi
    variant "$label: read-ahead, events off" report - - \
        "$other/quorvel-bench-scanner" --read-ahead $window_workers "$walked"
    variant "$label: read-ahead, events+yield" report - - \
        "$other/quorvel-bench-scanner" --read-ahead $window_workers --events "$walked"
    if [[ -n $window_shown && -x $other/quorvel-bench-window ]]; then
        variant "$label: main window, shown" report - - \
            "${window_env[@]}" "$other/quorvel-bench-window" "$walked"
    fi
done
# ---------------------------------------------------------------------------

count=${#names[@]}
failures=0

# Runs variant $1 once, timed (after dropping the page cache, when cold);
# sets wall, cpu, rss, folders, files, panes (the window's pane memory, when
# it reports it), and own and own_wall (an own variant's CPU and wall time of
# its part under test).
run_once() {
    local i=$1 out=/dev/null timing
    local -a cmd
    eval "cmd=(${commands[$i]})"
    [[ ${kinds[$i]} != lines && ${kinds[$i]} != entries ]] && out="$work/out"
    if ((cold)); then drop_caches; fi
    if ! timing=$("$timer" "$out" "${cmd[@]}"); then
        echo "run-bench: '${names[$i]}' failed: $timing" >&2
        exit 1
    fi
    wall=$(sed -n 's/.*wall_ms=\([0-9.]*\).*/\1/p' <<<"$timing")
    cpu=$(sed -n 's/.*cpu_ms=\([0-9.]*\).*/\1/p' <<<"$timing")
    rss=$(sed -n 's/.*maxrss_kb=\([0-9]*\).*/\1/p' <<<"$timing")
    folders=- files=- panes='' own='' own_wall='' fill=''
    if [[ $out != /dev/null ]]; then
        local report
        report=$(tail -n 1 "$out")
        folders=$(sed -n 's/.*folders=\([0-9]*\).*/\1/p' <<<"$report")
        files=$(sed -n 's/.*files=\([0-9]*\).*/\1/p' <<<"$report")
        panes=$(sed -n 's/.*pane_bytes=\([0-9]*\).*/\1/p' <<<"$report")
        fill=$(sed -n 's/.*fill_ms=\([0-9.]*\).*/\1/p' <<<"$report")
        own=$(sed -n 's/.*own_cpu_ms=\([0-9.]*\).*/\1/p' <<<"$report")
        own_wall=$(sed -n 's/.*walk_ms=\([0-9.]*\).*/\1/p' <<<"$report")
    fi
}

check_counts() {
    local i=$1 got_folders=$2 got_files=$3 folders_there=$want_folders files_there=$want_files
    [[ ${kinds[$i]} == empty ]] && folders_there=0 files_there=0
    [[ ${kinds[$i]} == own ]] && folders_there=$flat_folders files_there=0
    if [[ $got_folders != "$folders_there" || $got_files != "$files_there" ]]; then
        echo "run-bench: '${names[$i]}' found $got_folders folders and $got_files files;" \
            "there are $folders_there and $files_there" >&2
        failures=$((failures + 1))
    fi
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# Warm-up: one untimed pass of every variant brings the whole tree into the
# caches (when warm) and checks that every variant sees all of it.
for ((i = 0; i < count; i++)); do
    run_once "$i"
    if [[ ${kinds[$i]} == lines || ${kinds[$i]} == entries ]]; then
        eval "cmd=(${commands[$i]})"
        lines=$("${cmd[@]}" | wc -l)
        root_line=1
        [[ ${kinds[$i]} == entries ]] && root_line=0
        if ((lines != want_folders + want_files + root_line)); then
            echo "run-bench: '${names[$i]}' printed $lines lines;" \
                "the tree has $((want_folders + want_files)) entries" >&2
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
raw_digest=$(digest_of "$bin/quorvel-bench-raw" --digest "$walked")
same_lists() {
    local what=$1 digest
    shift
    if ((cold)); then drop_caches; fi
    digest=$(digest_of "$@")
    if [[ -z $raw_digest || $digest != "$raw_digest" ]]; then
        echo "run-bench: $what built other lists than the raw walker" >&2
        failures=$((failures + 1))
    fi
}
checked_flags=("" "--events" "--read-ahead $window_workers" "--read-ahead $window_workers --events")
((network)) && checked_flags=("" "--read-ahead $window_workers")
for flags in "${checked_flags[@]}"; do
    # shellcheck disable=SC2086 # $flags is empty or words
    same_lists "clsDirwalk ${flags:-serial, without events}" \
        "$bin/quorvel-bench-scanner" $flags --digest "$walked"
done
if [[ -n $window_shown ]]; then
    same_lists "the main window" "${window_env[@]}" "$window_bench" --digest "$walked"
fi

# Interleaved: every round runs each variant once, starting one further along
# each round, so a burst of load elsewhere spreads over all variants.
declare -a walls cpus rsss pane_bytes owns own_walls fills
for ((r = 0; r < reps; r++)); do
    for ((k = 0; k < count; k++)); do
        i=$(((k + r) % count))
        run_once "$i"
        [[ $folders != - ]] && check_counts "$i" "$folders" "$files"
        walls[i]+="$wall "
        rsss[i]+="$rss "
        cpus[i]+="$cpu "
        pane_bytes[i]=$panes
        owns[i]+="$own "
        own_walls[i]+="$own_wall "
        fills[i]+="$fill "
    done
done

# Abort latency: one window process opens the tree $clicks times and clicks
# Abort from another thread during each walk; it reports, per click, the time
# from posting it to the walk's return, on the wall clock and on the window
# thread's CPU clock. Untimed as a process.
abort_report=''
if [[ -n $window_shown ]] && ((!network)); then
    if ((cold)); then drop_caches; fi
    if ! timing=$("$timer" "$work/abort" "${window_env[@]}" "$window_bench" --abort "$clicks" "$tree"); then
        echo "run-bench: the abort run failed: $timing" >&2
        exit 1
    fi
    abort_report=$(tail -n 1 "$work/abort")
    # Every click must have stopped its walk short of the whole tree, but for
    # one posted in the walk's last time slice: the walk may end before its
    # next yield runs the event loop (then it returns within the 50 ms).
    read -ra shown_at <<<"$(sed -n 's/.*entries_at_abort=\([0-9,]*\).*/\1/p' <<<"$abort_report" | tr , ' ')"
    read -ra returned_after <<<"$(sed -n 's/.*abort_wall_ms=\([0-9.,]*\).*/\1/p' <<<"$abort_report" | tr , ' ')"
    for k in "${!shown_at[@]}"; do
        n=${shown_at[k]}
        if ((n >= want_folders + want_files)) &&
            ! awk -v ms="${returned_after[k]}" 'BEGIN { exit !(ms <= 50) }'; then
            echo "run-bench: a click on Abort did not stop the walk ($n entries shown)" >&2
            failures=$((failures + 1))
        fi
    done
fi

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

printf 'tree     %s: %s folders, %s files (seed %s)\n' "$tree" "$want_folders" "$want_files" "$seed"
printf 'machine  %s cores; load average %s before, %s after\n' "$(nproc)" "$load_before" "$load_after"
if ((network)); then
    printf 'served   over FUSE from memory at %s, %s us a read of a listing\n' "$walked" "$latency_us"
    how="over the network"
elif ((cold)); then
    how="the page cache dropped before each"
else
    how=warm
fi
printf 'timing   median of %s interleaved runs of each, one process each, fork to exit, %s;\n' \
    "$reps" "$how"
printf '         serial lines are judged on CPU time, which load elsewhere disturbs least,\n'
printf '         parallel ones (read-ahead, the window that uses it) on wall time\n\n'
printf '%-36s %8s %6s %8s %6s %8s  %s\n' variant "wall ms" ratio "cpu ms" ratio "peak MiB" target
base_wall='' base_cpu=''
declare -a peaks median_walls
for ((i = 0; i < count; i++)); do
    target=${warm_targets[i]}
    ((cold)) && target=${cold_targets[i]}
    read -ra w <<<"${walls[i]}"
    read -ra c <<<"${cpus[i]}"
    read -ra s <<<"${rsss[i]}"
    m_wall=$(median "${w[@]}")
    m_cpu=$(median "${c[@]}")
    median_walls[i]=$m_wall
    peak=$(printf '%s\n' "${s[@]}" | sort -n | tail -n 1)
    peaks[i]=$peak
    [[ -z $base_wall ]] && base_wall=$m_wall base_cpu=$m_cpu
    cpu_ratio=$(ratio "$m_cpu" "$base_cpu")
    verdict=
    if [[ ${kinds[$i]} == own ]]; then
        read -ra o <<<"${owns[i]}"
        read -ra ow <<<"${own_walls[i]}"
        verdict=$(awk -v c="$(median "${o[@]}")" -v w="$(median "${ow[@]}")" -v t="$target" \
            'BEGIN { printf "own %.1f ms cpu, %.1f wall; <= %s %s", c, w, t, (c <= t) ? "met" : "MISSED" }')
    elif [[ $target != - ]]; then
        judged=$cpu_ratio
        [[ ${target%%:*} == wall ]] && judged=$(ratio "$m_wall" "$base_wall")
        verdict=$(awk -v r="$judged" -v k="${target%%:*}" -v t="${target#*:}" \
            'BEGIN { printf "%s <= %s %s", k, t, (r <= t) ? "met" : "MISSED" }')
    fi
    printf '%-36s %8.1f %6s %8.1f %6s %8.1f  %s\n' "${names[$i]}" "$m_wall" \
        "$(ratio "$m_wall" "$base_wall")" "$m_cpu" "$cpu_ratio" "$(ratio "$peak" 1024)" "$verdict"
done

verdict() { awk -v v="$1" -v t="$2" 'BEGIN { printf "<= %s %s", t, (v <= t) ? "met" : "MISSED" }'; }

# Read-ahead: its memory, and (cold) how it compares with fd.
ahead_kib=$((peaks[scanner_ahead] - peaks[scanner_serial]))
echo
printf 'read-ahead  peak resident set above the serial scanner (events off) %6.1f MiB  %s\n' \
    "$(ratio "$ahead_kib" 1024)" \
    "$(awk -v k="$ahead_kib" 'BEGIN { printf "<= 64 MiB %s", (k <= 65536) ? "met" : "MISSED" }')"
if [[ -n $fd_peer ]]; then
    against_fd=$(ratio "${median_walls[scanner_ahead]}" "${median_walls[fd_peer]}")
    fd_verdict="(a target when cold or over the network)"
    if ((cold || network)); then
        fd_verdict=$(awk -v r="$against_fd" 'BEGIN { printf "< 1 %s", (r < 1) ? "met" : "MISSED" }')
    fi
    printf '            wall time, events off, over that of fd -u -j8      %6s      %s\n' \
        "$against_fd" "$fd_verdict"
fi
if ((network)); then
    against_serial=$(ratio "${median_walls[scanner_ahead]}" "${median_walls[scanner_serial]}")
    printf '            wall time, events off, over that of the serial scanner %6s  %s\n' \
        "$against_serial" "$(verdict "$against_serial" 0.1)"
    if [[ -n $window_shown ]]; then
        printf '            the window, shown, over the serial scanner         %6s\n' \
            "$(ratio "${median_walls[window_shown]}" "${median_walls[scanner_serial]}")"
    fi
fi

entries=$((want_folders + want_files))
# Peak resident sets are in KiB; per entry in bytes.
per_entry() { awk -v kib="$1" -v n="$entries" 'BEGIN { printf "%.0f", kib * 1024 / n }'; }
# One memory line: label, KiB above its baseline, target in bytes an entry.
memory_line() {
    printf '           %-40s %8.1f MiB %5s bytes  %s\n' "$1" "$(ratio "$2" 1024)" \
        "$(per_entry "$2")" "$(verdict "$(per_entry "$2")" "$3")"
}
if ((!network)); then
    echo
    printf 'memory   peak resident set, per entry of the tree (raw walker: %.1f MiB in all)\n' \
        "$(ratio "${peaks[0]}" 1024)"
    memory_line "clsDirwalk's lists, above an empty scan" \
        $((peaks[scanner_serial] - peaks[scanner_empty])) 28
fi
if [[ -n $window_shown ]] && ((!network)); then
    memory_line "main window, above clsDirwalk, events on" \
        $((peaks[window_shown] - peaks[scanner_events])) 300
    memory_line "main window, above the empty window" \
        $((peaks[window_shown] - peaks[window_empty])) 40
    if [[ -n $bus_shown ]]; then
        memory_line "the same, with an accessibility bus" $((peaks[bus_shown] - peaks[bus_empty])) 48
    fi
    printf '           %-40s %8.1f MiB %5s bytes\n' "held by the four panes" \
        "$(awk -v b="${pane_bytes[window_shown]}" 'BEGIN { printf "%.1f", b / 1048576 }')" \
        "$(awk -v b="${pane_bytes[window_shown]}" -v n="$entries" 'BEGIN { printf "%.0f", b / n }')"
    read -ra f <<<"${fills[window_shown]}"
    fill_median=$(median "${f[@]}")
    echo
    printf 'fill     from the walk'"'"'s end to the list panes filled, median %6.1f ms  %s\n' \
        "$fill_median" "$(verdict "$fill_median" 5)"

    # Median and largest of a comma-separated list.
    stats() {
        tr , '\n' <<<"$1" | sort -g | awk '{ v[NR] = $1 } END {
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.1f %.1f", m, v[NR] }'
    }
    read -r cpu_median cpu_max <<<"$(stats "$(sed -n 's/.*abort_cpu_ms=\([0-9.,]*\).*/\1/p' <<<"$abort_report")")"
    read -r wall_median wall_max <<<"$(stats "$(sed -n 's/.*abort_wall_ms=\([0-9.,]*\).*/\1/p' <<<"$abort_report")")"
    landed=$(sed -n 's/.*entries_at_abort=\([0-9,]*\).*/\1/p' <<<"$abort_report" | tr , '\n' | wc -l)
    late=$(sed -n 's/.*late=\([0-9]*\).*/\1/p' <<<"$abort_report")
    echo
    printf 'abort    click on Abort posted during the walk, until ScanFolder returned (%s clicks' "$landed"
    ((late)) && printf ', %s more came after the walk' "$late"
    printf ')\n'
    printf '           window thread CPU  median %6.1f ms  max %6.1f ms  %s\n' \
        "$cpu_median" "$cpu_max" "$(verdict "$cpu_max" 50)"
    printf '           wall clock         median %6.1f ms  max %6.1f ms\n' "$wall_median" "$wall_max"
fi

if ((failures)); then
    echo
    echo "run-bench: $failures checks failed (see above); the figures are not comparable" >&2
    exit 1
fi
echo
echo "counts   every variant found $want_folders folders and $want_files files" \
    "${window_empty:+(in the tree; the empty-folder run found none; Dir1 listed $flat_folders subfolders)}"
echo "lists    clsDirwalk, serial and reading ahead, $( ((network)) || echo "events off and on, ")the" \
    "window and the raw walker built identical lists (digest $raw_digest)"
