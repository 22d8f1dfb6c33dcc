#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon's one drawing (data/icons/brindlecap.svg, the
# file to edit) into the PNGs the program and the desktop use, one for each
# size a desktop's icon theme asks for. The windows' own 32 and 16 pixel
# images keep to 16 colours. Needs rsvg-convert (librsvg2-bin) and
# ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" brindlecap.svg --output "brindlecap-$size.png"
done
for size in 16 32; do
    convert "brindlecap-$size.png" +dither -colors 15 -strip \
        -define png:exclude-chunks=date,time "PNG8:brindlecap-$size.png"
done
