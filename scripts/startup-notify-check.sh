#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the desktop's start-up feedback under a virtual X server: started the
# way a launcher starts it (DESKTOP_STARTUP_ID set, after a "new:" message),
# the program must end the start-up sequence with "remove: ID=..." when its
# window first maps, after the first scan, so that the launcher's busy cursor
# lasts until the window is there, and not forever.
#
#   scripts/startup-notify-check.sh [path/to/quorvel]
#
# Default program: build/release/startup/quorvel. Needs xvfb (xvfb-run),
# xauth and python3-xlib. Prints what the root window received, with times
# since the launch; exits 1 when the sequence is not ended, ended more than
# once, or ended before the window mapped.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$(realpath "${1:-$repo/build/release/startup/quorvel}")"

[ -x "$program" ] || { echo "no program at $program: build it first (./dev test)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "missing xvfb-run (apt-get install xvfb xauth)" >&2; exit 1; }
/usr/bin/python3 -c 'import Xlib' 2>/dev/null ||
    { echo "missing python3-xlib (apt-get install python3-xlib)" >&2; exit 1; }

# A start folder whose first scan takes a moment, so that the end of the
# sequence can be seen to wait for it.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for f in $(seq -w 1 200); do
    mkdir -p "$scratch/start/folder$f"
    (cd "$scratch/start/folder$f" && touch $(seq -f 'file%03g.txt' 1 100))
done
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

LANG=C.UTF-8 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    /usr/bin/python3 - "$program" "$scratch/start" <<'PYTHON'
import os, subprocess, sys, time
from Xlib import X, display, error
from Xlib.protocol import event

program, start_folder = sys.argv[1], sys.argv[2]
startup_id = "quorvel-check-%d_TIME0" % os.getpid()
d = display.Display()
root = d.screen().root
# Start-up messages are client messages sent to the root window with the
# property-change mask; map notifications of top-level windows come with
# the substructure mask.
root.change_attributes(event_mask=X.PropertyChangeMask | X.SubstructureNotifyMask)
begin = d.intern_atom("_NET_STARTUP_INFO_BEGIN")
more = d.intern_atom("_NET_STARTUP_INFO")

def send(message):
    # As a launcher does: 20 bytes a message, the first one marked BEGIN,
    # the text NUL-terminated, from a window of its own.
    sender = root.create_window(-1, -1, 1, 1, 0, X.CopyFromParent,
                                override_redirect=True)
    data = message.encode() + b"\0"
    for at in range(0, len(data), 20):
        chunk = data[at:at + 20].ljust(20, b"\0")
        ev = event.ClientMessage(window=sender, client_type=begin if at == 0 else more,
                                 data=(8, chunk))
        root.send_event(ev, event_mask=X.PropertyChangeMask)
    d.sync()
    sender.destroy()

def is_program_window(window):
    try:
        return window.get_wm_class() == ("quorvel", "Quorvel")
    except error.XError:
        return False

transcript, partial, removes, maps = [], {}, [], []
t0 = time.monotonic()
def note(text):
    transcript.append("%8.3f s  %s" % (time.monotonic() - t0, text))

send("new: ID=%s NAME=Quorvel SCREEN=0 BIN=quorvel WMCLASS=Quorvel" % startup_id)
note("launcher: new: ID=%s" % startup_id)
env = dict(os.environ, DESKTOP_STARTUP_ID=startup_id)
child = subprocess.Popen([program], env=env, cwd=start_folder)
note("launcher: started %s in a folder of 200 folders and 20000 files" % program)

deadline = t0 + 30
while time.monotonic() < deadline and not removes:
    while d.pending_events():
        e = d.next_event()
        if e.type == X.MapNotify:
            if is_program_window(e.window):
                maps.append(time.monotonic())
                note("the program's window 0x%x mapped" % e.window.id)
        elif e.type == X.ClientMessage and e.client_type in (begin, more):
            key = e.window.id
            if e.client_type == begin:
                partial[key] = b""
            partial[key] = partial.get(key, b"") + bytes(e.data[1])
            if b"\0" in partial[key]:
                text = partial.pop(key).split(b"\0")[0].decode(errors="replace")
                if not text.startswith("new:"):
                    note("root window received: " + text)
                if text.split(" ")[0] == "remove:" and ("ID=" + startup_id) in text.split(" "):
                    removes.append(time.monotonic())
    if child.poll() is not None:
        note("the program ended on its own, status %s" % child.returncode)
        break
    time.sleep(0.005)

# Anything that still comes within a second: a second "remove" would be a fault.
settle = time.monotonic() + 1
while time.monotonic() < settle:
    while d.pending_events():
        e = d.next_event()
        if e.type == X.ClientMessage and e.client_type == begin:
            note("root window received another start-up message")
            removes.append(time.monotonic())
    time.sleep(0.01)
child.terminate()
child.wait()
print("\n".join(transcript), flush=True)
if len(removes) != 1:
    sys.exit("startup-notify-check: %d remove messages for %s (want 1)" % (len(removes), startup_id))
if not maps or removes[0] < maps[0]:
    sys.exit("startup-notify-check: the sequence ended before the window mapped")
print("startup-notify-check passed: the sequence ended %.0f ms after the window first mapped"
      % ((removes[0] - maps[0]) * 1000))
PYTHON
