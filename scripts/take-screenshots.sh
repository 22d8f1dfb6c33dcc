#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshots from the running program on a virtual X
# server: the main window during a copy, the destination folder dialog, the
# About dialog, and a finished job that met a damaged file on the FUSE test
# medium, with a mark's tooltip and with the job's summary (skipped, with a
# message, where FUSE cannot be mounted). Run it again
# whenever a window's layout changes:
#     scripts/take-screenshots.sh [PROGRAM]     (default: build/src/mainwindow/brindlecap)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/src/mainwindow/brindlecap}")
medium_program=$(realpath -m "$(dirname "$program")/../../tests/media/faulty_medium")
shots="$root/docs/screenshots"
source "$root/tests/e2e/window_driver.sh"

# A fixed, plain folder name, since it shows in the pictures.
work=${TMPDIR:-/tmp}/brindlecap-screenshots
rm -rf "$work"
mkdir -p "$work/Disc" "$work/Rescued/Holiday 2009" "$work/Rescued/Letters" "$work/runtime" \
    "$work/DVD" "$work/Rescued/From DVD"
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
medium_pid=
cleanup() {
    [[ -n "$medium_pid" ]] && { fusermount3 -u "$work/DVD" 2>/dev/null || umount -l "$work/DVD"; }
    kill $program_pid $x_server_pid 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# snapshot_with_tooltip WINDOW FILE: the window with the tooltip it shows.
# The tooltip is a window of its own, drawn with transparency, which a
# picture of the screen shows black without a compositor: it is taken on
# its own and laid over the main window's picture.
snapshot_with_tooltip() {
    snapshot "$1" "$work/main.png"
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local main_x=$X main_y=$Y main_width=$WIDTH main_height=$HEIGHT tip
    tip=$(xdotool search --onlyvisible --class brindlecap 2>/dev/null | grep -vx "$1" | tail -n 1)
    if [[ -n "$tip" ]]; then
        eval "$(xdotool getwindowgeometry --shell "$tip")"
        snapshot "$tip" "$work/tip.png"
        local right=$((X - main_x + WIDTH + 8)) bottom=$((Y - main_y + HEIGHT + 8))
        convert "$work/main.png" -background white \
            -extent "$((right > main_width ? right : main_width))x$((bottom > main_height ? bottom : main_height))" \
            "$work/tip.png" -geometry "+$((X - main_x))+$((Y - main_y))" -composite \
            "$work/main.png"
    fi
    convert "$work/main.png" -strip "png:$2"
}

main=$(wait_for_window '^Brindlecap$')
pick_files "$main" "$work/Disc/holiday-2009.iso"
folders=$(open_folder_dialog "$main")
sleep 0.5
snapshot "$folders" "$shots/destination-dialog.png"
click "$folders" 216 200                          # Ok
wait_until_closed "$folders"

click_control "$main" 36 336                      # buffer size 32
click_control "$main" 504 480                     # Copy
sleep 1.5
snapshot "$main" "$shots/main-window-copying.png"

# A DVD with a damaged film on it, and two good files.
cat > "$work/dvd.description" <<DISC
file summer-film.mp4 25165824 7
file beach.jpg 3145728 9
file letter.pdf 204800 11
hard summer-film.mp4 4194304 4200448
hard summer-film.mp4 9437184 9439232
hard summer-film.mp4 15728640 16777216
direct-io
DISC
if [[ -x "$medium_program" ]]; then
    "$medium_program" "$work/dvd.description" "$work/dvd.log" "$work/DVD" &
    medium_pid=$!
    for _ in $(seq 50); do mountpoint -q "$work/DVD" && break; sleep 0.1; done
fi
if mountpoint -q "$work/DVD"; then
    click "$main" 20 $(($(menu_bar_height "$main") / 2))  # File
    sleep 0.3
    xdotool key Down Return                       # New
    click_control "$main" 120 32                  # the holiday image's entry
    xdotool click 3                               # its popup menu
    sleep 0.3
    xdotool key Down Return                       # Remove
    click_control "$main" 536 40                  # Select File To Copy
    picker=$(wait_for_window '^Brindlecap$' "$main")
    type_text "$picker" "$work/DVD"                # the folder first, then its files
    press_keys "$picker" Return
    sleep 0.5
    type_text "$picker" '"summer-film.mp4" "beach.jpg" "letter.pdf"'
    press_keys "$picker" Return
    wait_until_closed "$picker"
    folders=$(open_folder_dialog "$main")
    click "$folders" 216 200                      # Ok
    wait_until_closed "$folders"
    click_control "$main" 504 480                 # Copy
    sleep 4
    # Point at the film's entry so its tooltip shows.
    xdotool mousemove --window "$main" 120 $((32 + $(menu_bar_height "$main")))
    sleep 1.5
    snapshot_with_tooltip "$main" "$shots/main-window-damaged.png"
    # Point at the result so the job's summary shows.
    xdotool mousemove --window "$main" 400 $((464 + $(menu_bar_height "$main")))
    sleep 1.5
    snapshot_with_tooltip "$main" "$shots/main-window-summary.png"
else
    echo "no picture of a damaged disc: the FUSE test medium could not be mounted" >&2
fi
click "$main" 45 $(($(menu_bar_height "$main") / 2))   # Help
sleep 0.3
xdotool key Down Return                           # About
about=$(wait_for_window '^Brindlecap - About$')
sleep 0.5
snapshot "$about" "$shots/about-dialog.png"
echo "screenshots in $shots:"
ls "$shots"
