#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes docs/screenshot.png: the real program, started in a small demo tree
# under a virtual X server, after its first scan.
#
#   scripts/screenshot.sh [path/to/quorvel]
#
# Default program: build/release/startup/quorvel (made by ./dev run or
# ./dev test). Needs xvfb (xvfb-run), imagemagick (import) and x11-utils
# (xwininfo); the window's fonts come from fonts-dejavu-core and
# fonts-liberation.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$(realpath "${1:-$repo/build/release/startup/quorvel}")"
output="$repo/docs/screenshot.png"

[ -x "$program" ] || { echo "no program at $program: build it first (./dev test)" >&2; exit 1; }
for tool in xvfb-run import xwininfo; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install xvfb imagemagick x11-utils)" >&2; exit 1; }
done

# A fixed path, so that the picture does not change from run to run.
demo="${TMPDIR:-/tmp}/quorvel-demo"
rm -rf "$demo"
trap 'rm -rf "$demo"' EXIT
root="$demo/Travel"
mkdir -p "$root/2024 Lisbon/raw" "$root/2025 Kyoto/raw" "$root/2025 Kyoto/edited" "$root/maps"
touch "$root/packing list.txt" "$root/budget.ods" \
    "$root/2024 Lisbon/IMG_0412.jpg" "$root/2024 Lisbon/IMG_0413.jpg" \
    "$root/2024 Lisbon/raw/IMG_0412.cr3" \
    "$root/2025 Kyoto/IMG_1107.jpg" "$root/2025 Kyoto/raw/IMG_1107.cr3" \
    "$root/2025 Kyoto/edited/IMG_1107-edit.jpg" "$root/maps/kyoto.gpx"
mkdir -p "$root/2024 Lisbon/raw/.thumbnails"

shot="$demo/shot.png"
cd "$root"
# Inside the virtual display: start the program, wait (at most 20 s) until
# its window is mapped, give it a moment to paint, grab the window itself.
LANG=C.UTF-8 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$0" & pid=$!
    for _ in $(seq 200); do
        id=$(xwininfo -root -tree | awk "/\"Quorvel\": \\(\"quorvel\"/ { print \$1; exit }")
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { kill $pid; echo "the window did not appear" >&2; exit 1; }
    sleep 1
    import -window "$id" "$1"
    kill $pid
    wait $pid || true
' "$program" "$shot"

mkdir -p "$(dirname "$output")"
mv "$shot" "$output"
echo "wrote $output"
