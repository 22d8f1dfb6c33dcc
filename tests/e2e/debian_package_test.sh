#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package that `cpack -G DEB` makes: its name, what it depends on,
# what it holds, and what lintian says of it. Usage: debian_package_test.sh
# BUILD-DIR VERSION. Exit 77: skipped.
set -euo pipefail
build=$1 version=$2
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (make test installs it)"
        exit 77
    fi
done
fail() { echo "FAIL: $*"; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log"; fail "cpack"; }
package="$out/brindlecap_${version}-1_amd64.deb"
[[ -f "$package" ]] || fail "no $(basename "$package"); cpack made: $(ls "$out")"

depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
for needed in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-liberation libc6; do
    [[ ",$depends," == *[\ ,]$needed[\ ,\(]* ]] || fail "the package does not depend on $needed"
done

contents=$(dpkg-deb -c "$package" | awk '{print $6}')
for file in ./usr/bin/brindlecap ./usr/bin/brindlecap-cli \
    ./usr/share/applications/org.example.brindlecap.desktop \
    ./usr/share/icons/hicolor/256x256/apps/org.example.brindlecap.png \
    ./usr/share/icons/hicolor/16x16/apps/org.example.brindlecap.png \
    ./usr/share/icons/hicolor/scalable/apps/org.example.brindlecap.svg \
    ./usr/share/metainfo/org.example.brindlecap.metainfo.xml \
    ./usr/share/man/man1/brindlecap.1.gz \
    ./usr/share/man/man1/brindlecap-cli.1.gz \
    ./usr/share/doc/brindlecap/copyright \
    ./usr/share/doc/brindlecap/changelog.Debian.gz; do
    grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done
[[ $(dpkg-deb -f "$package" Section) == utils ]] || fail "the section is not utils"
[[ $(dpkg-deb -f "$package" Priority) == optional ]] || fail "the priority is not optional"
# The description as written, its own punctuation kept.
[[ $(dpkg-deb -f "$package" Description) == *"still gives is copied; only the sectors it"* ]] ||
    fail "the description lost its punctuation: $(dpkg-deb -f "$package" Description)"

# No error, and no warning but one: a first Debian upload is expected to
# close the bug that announced it, and this package is built upstream, where
# there is no such bug.
said=$(lintian --fail-on none "$package" 2>&1 | grep -E '^[EW]: ' |
    grep -v ': initial-upload-closes-no-bugs ' || true)
[[ -z "$said" ]] || fail "lintian says: $said"
echo "PASS"
