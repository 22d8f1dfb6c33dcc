#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Brindlecap needs:
#   --run    to build it and run it (make run)
#   --test   that, and what the test suite needs (the default: make test, check)
#   --bench  that, and what `make bench` measures with and against
# Missing packages are installed with apt-get when that is possible (as root,
# or with sudo that asks no password); otherwise the one command to run is
# printed and the script fails.
set -euo pipefail

run=(
    g++ cmake ninja-build pkg-config make
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev fonts-liberation libiso9660-dev
    libudf-dev
)
test=(
    libgtest-dev libgmock-dev qt6-base-private-dev
    xvfb xauth xdotool x11-apps libxcb1-dev imagemagick tesseract-ocr tesseract-ocr-eng file
    fonts-dejavu-core desktop-file-utils appstream dpkg-dev groff-base lintian
    clang clang-format clang-tidy libclang-rt-14-dev lld fuse3 libfuse3-dev gddrescue python3
    xorriso genisoimage libudfread-dev
)
bench=(libbenchmark-dev coreutils util-linux linux-perf time)

case "${1:---test}" in
--run) packages=("${run[@]}") ;;
--test) packages=("${run[@]}" "${test[@]}") ;;
--bench) packages=("${run[@]}" "${test[@]}" "${bench[@]}") ;;
*)
    echo "usage: setup-debian.sh [--run|--test|--bench]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo=(sudo -n)
else
    echo "Brindlecap needs these Debian packages: ${missing[*]}" >&2
    echo "Install them with:  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
