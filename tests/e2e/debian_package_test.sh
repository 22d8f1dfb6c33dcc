#!/usr/bin/env bash
# The Debian package that `cpack -G DEB` makes: its name, what it depends on
# and what it holds. Usage: debian_package_test.sh BUILD-DIR VERSION.
# Exit 77: skipped.
set -euo pipefail
build=$1 version=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (make test installs it)"
        exit 77
    fi
done
fail() { echo "FAIL: $*"; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log"; fail "cpack"; }
package="$out/brindlecap_${version}_amd64.deb"
[[ -f "$package" ]] || fail "no $(basename "$package"); cpack made: $(ls "$out")"

depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
for needed in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-liberation libc6; do
    [[ ",$depends," == *[\ ,]$needed[\ ,\(]* ]] || fail "the package does not depend on $needed"
done

contents=$(dpkg-deb -c "$package" | awk '{print $6}')
for file in ./usr/bin/brindlecap ./usr/bin/brindlecap-cli \
    ./usr/share/applications/org.example.brindlecap.desktop \
    ./usr/share/icons/hicolor/32x32/apps/org.example.brindlecap.png \
    ./usr/share/icons/hicolor/16x16/apps/org.example.brindlecap.png \
    ./usr/share/metainfo/org.example.brindlecap.metainfo.xml \
    ./usr/share/man/man1/brindlecap-cli.1.gz; do
    grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done
echo "PASS"
