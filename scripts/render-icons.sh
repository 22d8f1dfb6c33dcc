#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon's pixel art (data/icons/*.xpm, the files to
# edit) into the 16-colour PNGs that the program and the desktop use.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 32 16; do
    convert "brindlecap-$size.xpm" -strip -define png:exclude-chunks=date,time \
        "PNG8:brindlecap-$size.png"
done
