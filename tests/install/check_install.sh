#!/usr/bin/env bash
# Installs the build into a staging directory, checks its files, makes the Debian package and
# checks its control data, then runs the installed launcher with a fresh home directory.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'kill "${tool_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
stage="$work/stage"

cmake --install "$build" --prefix "$stage/usr" >/dev/null
# The launcher, started from an unrelated directory with a new home, makes the per-user
# working directory and leaves the starting directory untouched. It starts now and is looked at
# once the package is checked, so that the tool's start and the package's making overlap.
home="$work/home"
start="$work/start"
mkdir -p "$home" "$start"
(cd "$start" && exec env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen "$stage/usr/bin/zrtool-launcher" >/dev/null 2>&1) &
tool_pid=$!
userdir="$home/.local/share/zrtool"

for f in usr/bin/zrtool usr/bin/zrsim usr/bin/zrtool-launcher usr/share/zrtool/Qm/Chinese.qm \
         usr/share/applications/zrtool.desktop usr/share/icons/hicolor/scalable/apps/zrtool.svg \
         usr/share/metainfo/io.github.zrtool.zrtool.metainfo.xml usr/share/doc/zrtool/copyright \
         usr/share/doc/zrtool/changelog.Debian.gz; do
    [ -e "$stage/$f" ] || { echo "missing after install: $f"; exit 1; }
done
# Every installed program has its manual page, compressed, with its sections.
for prog in "$stage"/usr/bin/*; do
    page="$stage/usr/share/man/man1/$(basename "$prog").1.gz"
    [ -f "$page" ] || { echo "no manual page for $(basename "$prog")"; exit 1; }
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLE; do
        gzip -dc "$page" | grep -q "^\.SH \"\?$section" || { echo "$(basename "$page") lacks $section"; exit 1; }
    done
done
grep -q '^License: MIT' "$stage/usr/share/doc/zrtool/copyright" || { echo "copyright file does not name MIT"; exit 1; }
[ -x "$stage/usr/bin/zrtool-launcher" ] || { echo "launcher is not executable"; exit 1; }
grep -q '^Exec=zrtool-launcher' "$stage/usr/share/applications/zrtool.desktop" || { echo "menu entry does not start the launcher"; exit 1; }
grep -q '^Icon=zrtool$' "$stage/usr/share/applications/zrtool.desktop" || { echo "menu entry has no icon"; exit 1; }

# The tree is built before its tests run. Told of a generator without a preinstall target, cpack
# installs from the tree as it is instead of first running make preinstall, which walks every
# target of the tree again (most of this test's time, and a build racing the tests beside it).
# What is checked here is the package's control data and contents: its binaries are neither
# stripped nor compressed (the sanitizer build's are large). scripts/package.sh makes and checks
# the release package as it ships, stripped and compressed.
(cd "$build" && cpack -G DEB -B "$work/pkg" -D CPACK_CMAKE_GENERATOR=Ninja -D CPACK_STRIP_FILES=OFF \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=none >/dev/null)
deb=$(ls "$work"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5; do
    case "$depends" in *"$dep"*) ;; *) echo "package does not depend on $dep: $depends"; exit 1 ;; esac
done
contents=$(dpkg-deb -c "$deb")
grep -q './usr/bin/zrtool-launcher' <<<"$contents" || { echo "launcher not packaged"; exit 1; }
grep -qE '^-rw------- .*/examples/zrctl-watch-site\.conf$' <<<"$contents" || { echo "site configuration not packaged mode 600"; exit 1; }

for _ in $(seq 100); do
    if [ -f "$userdir/Ini/Config.ini" ] && ls "$userdir"/Data/Log-*.txt >/dev/null 2>&1; then
        break
    fi
    sleep 0.1
done
kill "$tool_pid" 2>/dev/null || true
wait "$tool_pid" 2>/dev/null || true
[ -f "$userdir/Qm/Chinese.qm" ] || { echo "no catalogue in the per-user directory"; exit 1; }
[ -f "$userdir/Ini/Config.ini" ] || { echo "no configuration in the per-user directory"; exit 1; }
ls "$userdir"/Data/Log-*.txt >/dev/null 2>&1 || { echo "no log in the per-user directory"; exit 1; }
# The start line is written in the catalogue's language, so only its form is checked.
grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{12}->.+' "$userdir"/Data/Log-*.txt || { echo "log lacks the start line"; exit 1; }
[ -z "$(ls -A "$start")" ] || { echo "files written into the starting directory: $(ls -A "$start")"; exit 1; }
echo "install, package and launcher: ok"
