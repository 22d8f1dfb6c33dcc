# SPDX-License-Identifier: GPL-3.0-or-later
# Shell functions that drive Brindlecap's windows on an X server as a user
# would: find a window by its title, click at a place in it, type, read text
# off the screen. Sourced by the end-to-end test and the screenshot script.
# Needs Xvfb, xdotool, xwd and ImageMagick; read_text also tesseract.
# There is no window manager, so a window's geometry is its client area.

# start_x_server: starts Xvfb on a free display, exports DISPLAY and sets
# x_server_pid. -noreset: by default the server resets when its last client
# leaves, and refuses the program if it connects just then, as it can while
# the test's own xdotool calls come and go.
start_x_server() {
    local number
    exec {display_fd}< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null)
    x_server_pid=$!
    read -r -t 10 number <&"$display_fd" || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$number"
}

# The height of the main window's menu bar: the client area below it is
# 505 pixels high.
readonly main_client_height=505

# wait_for_window TITLE [NOT-THIS-ID]: prints the id of a visible window whose
# title matches the regular expression TITLE.
wait_for_window() {
    local id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
            [[ "$id" != "${2:-}" ]] && { echo "$id"; return 0; }
        done
        sleep 0.1
    done
    echo "no window titled '$1' appeared" >&2
    return 1
}

# wait_until_closed ID
wait_until_closed() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1" || return 0
        sleep 0.1
    done
    echo "window $1 did not close" >&2
    return 1
}

# menu_bar_height MAIN-WINDOW-ID
menu_bar_height() {
    local HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" | grep HEIGHT)"
    echo $((HEIGHT - main_client_height))
}

# click ID X Y [double]: X and Y in the window's client area.
click() {
    xdotool mousemove --window "$1" "$2" "$3"
    sleep 0.1
    if [[ "${4:-}" == double ]]; then
        xdotool click --repeat 2 --delay 80 1
    else
        xdotool click 1
    fi
    sleep 0.2
}

# click_control MAIN-WINDOW-ID X Y: a place in the main window's layout,
# which starts below the menu bar.
click_control() {
    click "$1" "$2" $(($3 + $(menu_bar_height "$1")))
}

# focus ID: hands the keyboard to the window.
focus() {
    xdotool windowfocus --sync "$1"
    sleep 0.2
}

# type_text ID TEXT, press_keys ID KEY...
type_text() {
    focus "$1"
    xdotool type --delay 20 "$2"
}
press_keys() {
    local id=$1
    shift
    focus "$id"
    xdotool key --delay 100 "$@"
}

# pick_files MAIN-WINDOW-ID TEXT: "Select File To Copy", TEXT typed into the
# open-file dialog's name field, Return.
pick_files() {
    local picker
    click_control "$1" 536 40
    picker=$(wait_for_window '^Brindlecap$' "$1")
    type_text "$picker" "$2"
    press_keys "$picker" Return
    wait_until_closed "$picker"
}

# open_folder_dialog MAIN-WINDOW-ID: "Select Dir To Save"; prints the
# folder dialog's id.
open_folder_dialog() {
    click_control "$1" 536 280
    wait_for_window '^Brindlecap - Directory Selection$'
}

# snapshot ID FILE.png: the window's contents as they are on screen.
snapshot() {
    xwd -silent -id "$1" | convert xwd:- -strip "png:$2"
}

# read_text ID X Y WIDTH HEIGHT: the text shown in that part of the window,
# read off the screen; dark or light backgrounds alike.
read_text() {
    local picture
    picture=$(mktemp --suffix=.png)
    snapshot "$1" "$picture"
    convert "$picture" -crop "$4x$5+$2+$3" +repage -colorspace gray -resize 400% \
        -threshold 50% "$picture"
    # Text on a dark background comes out white on black; OCR wants black on white.
    if [[ $(convert "$picture" -format '%[fx:mean<0.5]' info:) == 1 ]]; then
        convert "$picture" -negate "$picture"
    fi
    tesseract "$picture" - --psm 7 2>/dev/null | tr -d '\f' | head -n 1
    rm -f "$picture"
}
