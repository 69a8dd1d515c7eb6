#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the window natively on Wayland, in a headless compositor:
#  1. under weston (headless backend, pixman renderer), the program starts on
#     Qt's wayland platform in the worked example's folder (a.txt, sub/b.txt,
#     sub/deep), and an assistive client on an AT-SPI bus of its own reads the
#     four panes and the two counts exactly as the walk found them;
#  2. weston's screenshooter takes a picture of the screen, which must show
#     the window: its title strip's colour, its white panes;
#  3. under sway (headless; it offers xdg-activation, which weston does not),
#     started the way a launcher starts it (XDG_ACTIVATION_TOKEN set), the
#     program hands the token back to the compositor exactly once, and only
#     once its window has a buffer, that is after the first scan: that is
#     what ends the launcher's start-up feedback on Wayland.
#
#   scripts/wayland-check.sh [path/to/quorvel]
#
# Default program: build/release/startup/quorvel; the picture goes to
# wayland-check.png beside it. Needs weston, sway, qt6-wayland, dbus,
# at-spi2-core, python3-pyatspi and imagemagick. Runs as root or not; sway
# refuses root, so as root it runs as the user nobody.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$(realpath "${1:-$repo/build/release/startup/quorvel}")"
picture="$(dirname "$program")/wayland-check.png"

fail() {
    echo "wayland-check: $*" >&2
    exit 1
}
[ -x "$program" ] || fail "no program at $program: build it first (./dev test)"
for tool in weston weston-screenshooter sway dbus-run-session convert; do
    command -v "$tool" >/dev/null ||
        fail "missing $tool (apt-get install weston sway dbus at-spi2-core imagemagick)"
done
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || fail "missing $launcher (apt-get install at-spi2-core)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "missing python3-pyatspi"
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null ||
    fail "missing Qt's wayland platform (apt-get install qt6-wayland)"

scratch=$(mktemp -d)
chmod 755 "$scratch"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/data/sub/deep"
touch "$scratch/data/a.txt" "$scratch/data/sub/b.txt"
export LANG=C.UTF-8 QT_QPA_PLATFORM=wayland
unset DISPLAY

wait_for_socket() { # wait_for_socket <path> <what>
    for _ in $(seq 100); do
        [ -S "$1" ] && return
        sleep 0.1
    done
    fail "$2 did not start"
}

echo "== weston: the panes as an assistive client reads them"
export XDG_RUNTIME_DIR="$scratch/weston-runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# --debug lets the screenshooter in; --idle-time=0 keeps the screen from
# blanking before the picture is taken.
weston --backend=headless-backend.so --use-pixman --width=1024 --height=768 \
    --socket=quorvel-check --idle-time=0 --debug >"$scratch/weston.log" 2>&1 &
pids+=($!)
wait_for_socket "$XDG_RUNTIME_DIR/quorvel-check" weston
export WAYLAND_DISPLAY=quorvel-check
(
    cd "$scratch/data"
    exec dbus-run-session -- bash -c '
        "$0" --launch-immediately & bus=$!
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" & program=$!
        /usr/bin/python3 "$2" "$3" && status=0 || status=$?
        (cd "$4" && weston-screenshooter) || status=1
        kill $program $bus
        exit $status' \
        "$launcher" "$program" /dev/stdin "$scratch/data" "$scratch" <<'PYTHON'
import os, sys, time
import pyatspi

root = sys.argv[1]
# The walk's own order: each folder's entries as the file system lists them,
# the folder list in pre-order, folder events in post-order.
folders, files, folder_events, file_events = [], [], [], []
def walk(folder):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        rel = os.path.relpath(path, root)
        if os.path.isdir(path):
            folders.append(rel)
            walk(path)
            folder_events.append("%d)-%s\t%s\t%s" % (len(folder_events) + 1, name, rel, path))
        else:
            files.append(path)
            parent = os.path.dirname(path) + "/"
            rel_parent = "" if folder == root else os.path.relpath(folder, root) + "/"
            file_events.append("%d)-%s\t%s\t%s" % (len(file_events) + 1, name, rel_parent, parent))
walk(root)
lines = lambda items: "".join(item + "\n" for item in items)
expected = {
    "Folders found list": lines(folders),
    "Files found list": lines(files),
    "Folder found events": lines(folder_events),
    "File found events": lines(file_events),
}

def application(name, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    sys.exit("wayland-check: no application %r on the accessibility bus" % name)

def objects(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from objects(child)

# The window shows only after its first scan, so its panes are complete
# once it is on the bus with its panes; allow a moment for the last paint.
app = application("Quorvel")
time.sleep(1)
seen, labels = {}, []
for node in objects(app):
    if node.name in expected:
        seen[node.name] = node.queryText().getText(0, -1)
    elif node.getRoleName() == "label":
        labels.append(node.name)
failed = False
for name, text in expected.items():
    print("%-20s %r" % (name, seen.get(name)))
    if seen.get(name) != text:
        print("  expected %r" % text)
        failed = True
# The two counts: labels that show the numbers themselves.
counts = sorted(label for label in labels if label.isdigit())
print("%-20s %s" % ("counts", counts))
if counts != sorted([str(len(folders)), str(len(files))]):
    failed = True
sys.exit(1 if failed else 0)
PYTHON
) || fail "the panes on Wayland are not what the walk found"

echo "== weston: the picture"
shots=("$scratch"/wayland-screenshot-*.png)
[ -f "${shots[0]}" ] || fail "weston's screenshooter wrote no picture"
cp "${shots[0]}" "$picture"
# The title strip (red 139, green 155, blue 184) and the panes' white.
pixels() { convert "$picture" -fill black +opaque "$1" -fill white -opaque "$1" -format '%[fx:mean*w*h]' info:; }
title=$(pixels 'rgb(139,155,184)')
white=$(pixels 'rgb(255,255,255)')
echo "title strip: $title pixels, white: $white pixels ($picture)"
awk -v t="$title" -v w="$white" 'BEGIN { exit !(t >= 5000 && w >= 100000) }' ||
    fail "the picture does not show the window"
kill "${pids[@]}"
pids=()

echo "== sway: the launcher's activation token"
export XDG_RUNTIME_DIR="$scratch/sway-runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
printf 'output HEADLESS-1 resolution 1024x768\n' >"$scratch/sway.config"
sway_env=(env XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" HOME="$scratch" WLR_BACKENDS=headless
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$scratch/sway.config")
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$XDG_RUNTIME_DIR"
    runuser -u nobody -- "${sway_env[@]}" >"$scratch/sway.log" 2>&1 &
else
    "${sway_env[@]}" >"$scratch/sway.log" 2>&1 &
fi
pids+=($!)
wait_for_socket "$XDG_RUNTIME_DIR/wayland-1" sway
token="quorvel-check-$$"
# WAYLAND_DEBUG makes Qt log every request it sends to the compositor.
(cd "$scratch/data" && WAYLAND_DISPLAY=wayland-1 XDG_ACTIVATION_TOKEN="$token" WAYLAND_DEBUG=1 \
    exec "$program") 2>"$scratch/protocol.log" &
pids+=($!)
for _ in $(seq 200); do
    grep -q 'xdg_activation_v1@[0-9]*\.activate' "$scratch/protocol.log" && break
    sleep 0.1
done
sleep 1
activations=$(grep -c 'xdg_activation_v1@[0-9]*\.activate(' "$scratch/protocol.log" || true)
grep -m1 'xdg_activation_v1@[0-9]*\.activate(' "$scratch/protocol.log" || true
[ "$activations" -eq 1 ] || fail "$activations activation requests (want 1)"
grep -q "activate(\"$token\"" "$scratch/protocol.log" || fail "the activation does not carry the launcher's token"
first_attach=$(grep -n -m1 'wl_surface@[0-9]*\.attach(wl_buffer' "$scratch/protocol.log" | cut -d: -f1)
activation=$(grep -n -m1 'xdg_activation_v1@[0-9]*\.activate(' "$scratch/protocol.log" | cut -d: -f1)
[ -n "$first_attach" ] && [ "$activation" -gt "$first_attach" ] ||
    fail "the token was handed back before the window had a buffer"
echo "wayland-check passed"
