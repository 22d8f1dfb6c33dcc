#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the whole program as a real window on an X server (Xvfb) and checks
# that the main window shows up and stays up. Exit 77: skipped.
set -u
program=$1
for tool in xvfb-run xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (make test installs it)"
        exit 77
    fi
done
# Without a display: one line, pointing at the command-line program.
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1 >/dev/null)
status=$?
if [[ $status -ne 1 || $(wc -l <<<"$said") -ne 1 || "$said" != *"brindlecap-cli --help"* ]]; then
    echo "FAIL: without a display it said (status $status): $said"
    exit 1
fi
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
# -noreset: a server that resets as xvfb-run's own client leaves refuses the
# program if it connects just then.
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
    "$1" & pid=$!
    # Up to 20 s: under a loaded test run the first window can take a while.
    for _ in $(seq 200); do
        window=$(xdotool search --onlyvisible --name "^Brindlecap$" 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then echo "FAIL: no window named Brindlecap appeared"; kill $pid; exit 1; fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
    echo "window $WIDTH x $HEIGHT at $X,$Y"
    sleep 0.5
    if ! kill -0 $pid 2>/dev/null; then echo "FAIL: the program ended by itself"; exit 1; fi
    kill $pid
    [ "$WIDTH" -eq 609 ] || { echo "FAIL: width $WIDTH, not 609"; exit 1; }
    echo "PASS"
' _ "$program"
