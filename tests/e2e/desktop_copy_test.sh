#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A user's whole copy in the real program, installed, in a real window on an
# X server: pick a file in the open-file dialog, pick the destination in the
# folder dialog, Copy, wait for the finish texts, compare the bytes.
# Usage: desktop_copy_test.sh PROGRAM. Exit 77: skipped.
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb xdotool xwd convert tesseract; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (make test installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
mkdir -p "$work/disc" "$work/out" "$work/runtime"
chmod 700 "$work/runtime"
# Not a multiple of any buffer size, so the last chunk is a short one.
head -c 3000001 /dev/urandom >"$work/disc/track 01.bin"

source "$here/window_driver.sh"
start_x_server
(
    cd "$work"  # the folder dialog opens where the program was started
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb exec "$program"
) &
program_pid=$!
trap 'kill $program_pid $x_server_pid 2>/dev/null || true; rm -rf "$work"' EXIT

main=$(wait_for_window '^Brindlecap$')
echo "main window $main"

pick_files "$main" "$work/disc/track 01.bin"
folders=$(open_folder_dialog "$main")
echo "folder dialog $folders"
# Cancel has the focus; two tabs reach the folder list, whose highlight
# stands on the open folder; its first subfolder is "disc", then "out".
press_keys "$folders" Tab Tab Down Down Return
click "$folders" 216 200                          # Ok
wait_until_closed "$folders"

click_control "$main" 504 480                     # Copy
done_text=""
for _ in $(seq 150); do
    done_text=$(read_text "$main" 344 $((480 + $(menu_bar_height "$main"))) 121 17)
    [[ "$done_text" == *ished* ]] && break
    sleep 0.2
done
percent=$(read_text "$main" 344 $((456 + $(menu_bar_height "$main"))) 121 17)
echo "files done reads '$done_text', percent reads '$percent'"
[[ "$done_text" == *ished* ]] || { echo "FAIL: the copy never showed its finish"; exit 1; }
[[ "$percent" == *100* ]] || { echo "FAIL: the percentage does not read 100"; exit 1; }

if ! cmp "$work/disc/track 01.bin" "$work/out/track 01.bin"; then
    echo "FAIL: the copy differs from the source"
    exit 1
fi
echo "PASS: copied $(stat -c %s "$work/out/track 01.bin") bytes through the windows"
