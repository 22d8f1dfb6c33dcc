#!/usr/bin/env bash
# Takes the README's screenshots from the running program on a virtual X
# server: the main window during a copy, the destination folder dialog and the
# About dialog. Run it again whenever a window's layout changes:
#     scripts/take-screenshots.sh [PROGRAM]     (default: build/src/mainwindow/brindlecap)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/src/mainwindow/brindlecap}")
shots="$root/docs/screenshots"
source "$root/tests/e2e/window_driver.sh"

# A fixed, plain folder name, since it shows in the pictures.
work=${TMPDIR:-/tmp}/brindlecap-screenshots
rm -rf "$work"
mkdir -p "$work/Disc" "$work/Rescued/Holiday 2009" "$work/Rescued/Letters" "$work/runtime"
chmod 700 "$work/runtime"
# A large file with holes reads fast and keeps the copy going long enough.
truncate -s 2G "$work/Disc/holiday-2009.iso"
mkdir -p "$shots"

start_x_server
(
    cd "$work/Rescued"
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb exec "$program"
) &
program_pid=$!
trap 'kill $program_pid $x_server_pid 2>/dev/null || true; rm -rf "$work"' EXIT

main=$(wait_for_window '^Brindlecap$')
click_control "$main" 536 40                      # Select File To Copy
picker=$(wait_for_window '^Brindlecap$' "$main")
type_text "$picker" "$work/Disc/holiday-2009.iso"
press_keys "$picker" Return
wait_until_closed "$picker"

click_control "$main" 536 280                     # Select Dir To Save
folders=$(wait_for_window '^Brindlecap - Directory Selection$')
sleep 0.5
snapshot "$folders" "$shots/destination-dialog.png"
click "$folders" 216 200                          # Ok
wait_until_closed "$folders"

click_control "$main" 36 336                      # buffer size 32
click_control "$main" 504 480                     # Copy
sleep 1.5
snapshot "$main" "$shots/main-window-copying.png"

click "$main" 45 $(($(menu_bar_height "$main") / 2))   # Help
sleep 0.3
xdotool key Down Return                           # About
about=$(wait_for_window '^Brindlecap - About$')
sleep 0.5
snapshot "$about" "$shots/about-dialog.png"
echo "screenshots in $shots:"
ls "$shots"
