#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program in a real window on an X server, copying off the FUSE
# medium while a read takes seconds: covered by another window and then
# uncovered, the window is drawn again within a fifth of a second, and it
# answers the window manager's ping at once; the copy is exact.
# Usage: busy_window_test.sh PROGRAM FAULTY_MEDIUM WINDOW_PING. Exit 77: skipped.
set -euo pipefail
program=$1
medium_program=$2
ping_program=$3
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb xdotool xwd convert xlogo fusermount3; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (make test installs it)"
        exit 77
    fi
done
[[ -x "$medium_program" ]] || { echo "SKIP: no FUSE medium ($medium_program)"; exit 77; }
[[ -x "$ping_program" ]] || { echo "SKIP: no window_ping ($ping_program)"; exit 77; }

work=$(mktemp -d)
mkdir -p "$work/disc" "$work/out" "$work/runtime"
chmod 700 "$work/runtime"
# Chunk 2 of 8 (32 KB chunks) has a bad sector whose read fails after 4 s.
cat >"$work/disc.description" <<DISC
file slow.bin 262144 7
hard slow.bin 40960 43008
delay 4000
direct-io
DISC
"$medium_program" "$work/disc.description" "$work/medium.log" "$work/disc" &
medium_pid=$!
for _ in $(seq 50); do mountpoint -q "$work/disc" && break; sleep 0.1; done
if ! mountpoint -q "$work/disc"; then
    kill $medium_pid 2>/dev/null || true
    rm -rf "$work"
    echo "SKIP: the FUSE medium could not be mounted here"
    exit 77
fi

source "$here/window_driver.sh"
start_x_server
(
    cd "$work"
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb exec "$program"
) &
program_pid=$!
cleanup() {
    kill $program_pid ${cover_pid:-} $x_server_pid 2>/dev/null || true
    fusermount3 -u "$work/disc" 2>/dev/null || umount -l "$work/disc" || true
    rm -rf "$work"
}
trap cleanup EXIT

main=$(wait_for_window '^Brindlecap$')
pick_files "$main" "$work/disc/slow.bin"
folders=$(open_folder_dialog "$main")
press_keys "$folders" Tab Tab Down Down Return    # into "out"
click "$folders" 216 200                          # Ok
wait_until_closed "$folders"
click_control "$main" 36 336                      # 32 KB
click_control "$main" 504 480                     # Copy

# The first chunk is quick; the second one's read now takes four seconds.
sleep 1.2
snapshot "$main" "$work/before.png"
xlogo -geometry 500x400+0+0 &
cover_pid=$!
cover=$(wait_for_window '^xlogo$')
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool windowmove "$cover" "$X" "$Y"
sleep 0.5
kill $cover_pid
wait_until_closed "$cover"
sleep 0.2                                         # a fifth of a second
snapshot "$main" "$work/after.png"
differing=$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1 || true)
echo "pixels that differ after uncovering: $differing"
[[ "$differing" -lt 200 ]] || { echo "FAIL: the window was not drawn again while the read blocked"; exit 1; }
# Still inside the slow read: a window manager's ping gets its answer.
answered=$("$ping_program" "$main" 1000) || { echo "FAIL: no answer to the ping ($answered)"; exit 1; }
echo "the ping was answered in $answered ms"
(( answered < 200 )) || { echo "FAIL: the ping took $answered ms"; exit 1; }

# Four failing reads of 4 s each: the sector, its own second try, and two
# halvings of it that find where the bad bytes end.
for _ in $(seq 150); do
    [[ -s "$work/out/slow.bin" && $(stat -c %s "$work/out/slow.bin") -eq 262144 ]] && break
    sleep 0.2
done
sleep 0.5
# Every byte the medium's but the bad sector's, which is zeros.
cmp -s <(head -c 40960 "$work/out/slow.bin") <(head -c 40960 "$work/disc/slow.bin" 2>/dev/null) ||
    { echo "FAIL: the copy's start differs from the medium's"; exit 1; }
[[ $(dd if="$work/out/slow.bin" bs=2048 skip=20 count=1 status=none | tr -d '\0' | wc -c) -eq 0 ]] ||
    { echo "FAIL: the bad sector is not zeros in the copy"; exit 1; }
echo "PASS"
