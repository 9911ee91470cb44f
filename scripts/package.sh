#!/usr/bin/env bash
# Builds the release Debian package from a clean build directory (build-package/) and checks it:
# lintian on the .deb, appstreamcli on the metainfo, desktop-file-validate on the menu entry.
# Fails on any error or warning of any of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --with-package
build="$root/build-package"
rm -rf "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && fakeroot cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
echo "package: $deb"

status=0
# Errors and warnings fail; informational and pedantic notes are shown but do not.
lintian_out=$(lintian --info --display-info --pedantic "$deb" 2>&1) || true
printf '%s\n' "$lintian_out"
if grep -qE '^[EW]: ' <<<"$lintian_out"; then
    echo "package.sh: lintian reports errors or warnings" >&2
    status=1
fi
echo "lintian: $(grep -c '^E: ' <<<"$lintian_out" || true) errors, $(grep -c '^W: ' <<<"$lintian_out" || true) warnings"
appstreamcli validate --no-net "$root/packaging/zrtool.metainfo.xml" || status=1
desktop_out=$(desktop-file-validate "$root/packaging/zrtool.desktop" 2>&1) || status=1
if [ -n "$desktop_out" ]; then
    printf '%s\n' "$desktop_out"
    status=1
fi
[ $status -eq 0 ] && echo "package.sh: $deb passes lintian, appstreamcli and desktop-file-validate"
exit $status
