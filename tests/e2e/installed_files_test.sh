#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` put under PREFIX: both programs, a valid desktop
# entry, the icon at every size in the hicolor theme, valid AppStream metadata, manual
# pages that render without a warning.
# Usage: installed_files_test.sh PREFIX. Exit 77: skipped.
set -euo pipefail
prefix=$1
for tool in desktop-file-validate appstreamcli groff; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (make test installs it)"
        exit 77
    fi
done
fail() { echo "FAIL: $*"; exit 1; }

for program in brindlecap brindlecap-cli; do
    [[ -x "$prefix/bin/$program" ]] || fail "no $prefix/bin/$program"
done
# Both answer --help and --version without a display, and open nothing.
# (Read whole first: grep -q ending a pipe early would fail it under pipefail.)
for program in brindlecap brindlecap-cli; do
    alone=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program")
    [[ $("${alone[@]}" --version) == "$program "[0-9]* ]] || fail "$program --version"
    [[ $("${alone[@]}" --help) == "Usage: $program"* ]] || fail "$program --help"
done
[[ $(env -u DISPLAY "$prefix/bin/brindlecap" --help) == *"takes no arguments"* ]] ||
    fail "brindlecap --help does not say the window takes no arguments"
# The command line runs where no desktop is: no GUI library at all.
if ldd "$prefix/bin/brindlecap-cli" | grep -E 'libQt6(Widgets|Gui)'; then
    fail "brindlecap-cli links a GUI library"
fi

entry="$prefix/share/applications/org.example.brindlecap.desktop"
desktop-file-validate "$entry" || fail "$entry does not validate"
grep -qx 'Exec=brindlecap' "$entry" || fail "the menu entry does not start brindlecap"
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 22 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [[ -f "$png" ]] || fail "no $png"
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not $size x $size"
done
svg="$prefix/share/icons/hicolor/scalable/apps/$icon.svg"
python3 -c 'import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
sys.exit(root.tag != "{http://www.w3.org/2000/svg}svg" or root.get("viewBox") is None)' "$svg" ||
    fail "$svg is not a scalable SVG drawing"

metainfo="$prefix/share/metainfo/org.example.brindlecap.metainfo.xml"
appstreamcli validate --no-net --pedantic "$metainfo" || fail "$metainfo does not validate"
grep -q '<launchable type="desktop-id">org.example.brindlecap.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not name the menu entry"
for page in brindlecap brindlecap-cli; do
    manual="$prefix/share/man/man1/$page.1.gz"
    [[ -f "$manual" ]] || fail "no $manual"
    warnings=$(zcat "$manual" | groff -ww -z -man 2>&1)
    [[ -z "$warnings" ]] || fail "$manual renders with warnings: $warnings"
done
echo "PASS"
