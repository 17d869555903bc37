#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a built Debian package: the files it holds, its control fields,
# lintian without errors, the desktop entry and the AppStream metadata it
# installs, and that the batch command unpacked from it runs and gives the
# examples' dead times byte for byte.
# Usage: check-package.sh ratelens_<version>_<arch>.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$(sed -n 's/^project(Ratelens VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=$(dpkg --print-architecture)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "-- file name"
[ "$(basename "$deb")" = "ratelens_${version}_${arch}.deb" ] || fail "package file name $(basename "$deb")"

echo "-- contents"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/contents"
for path in /usr/bin/ratelens /usr/bin/ratelens-batch \
    /usr/libexec/ratelens/ratelens-launch /usr/libexec/ratelens/ratelens-h5read \
    /usr/share/applications/io.github.ratelens.Ratelens.desktop \
    /usr/share/metainfo/io.github.ratelens.Ratelens.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/ratelens.svg \
    /usr/share/icons/hicolor/256x256/apps/ratelens.png \
    /usr/share/man/man1/ratelens.1.gz /usr/share/man/man1/ratelens-batch.1.gz \
    /usr/share/bash-completion/completions/ratelens-batch \
    /usr/share/doc/ratelens/copyright; do
    grep -qxF "$path" "$scratch/contents" || fail "missing $path"
done
stray=$(grep -v -e '^/$' -e '^/usr/' "$scratch/contents" || true)
[ -z "$stray" ] || fail "files outside /usr: $stray"

echo "-- control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ratelens ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = science ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
# Computed from the binaries: the toolkit and the C library at least.
depends=$(field Depends)
for lib in libc6 libqt5core5a libqt5gui5 libqt5widgets5 libhdf5-103-1; do
    [[ "$depends, " == *"$lib "* || "$depends, " == *"$lib, "* ]] || fail "Depends lacks $lib: $depends"
done
# The exact dead-time fits run on GSL's solver, linked as a shared library.
[[ "$depends" =~ libgsl[0-9]+\  ]] || fail "Depends lacks GSL: $depends"

# The Japanese interface is unreadable without a Japanese font.
recommends=$(field Recommends)
[[ "$recommends" == *fonts-noto-cjk* || "$recommends" == *fonts-ipafont-gothic* ]] \
    || fail "Recommends names no Japanese font: $recommends"

echo "-- lintian"
# Root is warned about but may run it; the check fails on errors only.
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' \
    | tee "$scratch/lintian" || true
! grep -q '^E:' "$scratch/lintian" || fail "lintian reports errors"

echo "-- unpacked"
dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/io.github.ratelens.Ratelens.desktop" \
    || fail "desktop entry not valid"
exec_line=$(sed -n 's/^Exec=//p' "$scratch/root/usr/share/applications/io.github.ratelens.Ratelens.desktop")
[ -x "$scratch/root$exec_line" ] || fail "the menu entry runs $exec_line, which the package lacks"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/io.github.ratelens.Ratelens.metainfo.xml" \
    >"$scratch/appstream" || { cat "$scratch/appstream"; fail "metainfo not valid"; }
grep -q "<release version=\"$version\"" "$scratch/root/usr/share/metainfo/io.github.ratelens.Ratelens.metainfo.xml" \
    || fail "the metainfo has no release $version"

batch=$scratch/root/usr/bin/ratelens-batch
[ "$("$batch" --version)" = "ratelens-batch $version" ] || fail "--version: $("$batch" --version)"
# The HDF5 helper starts (its libraries resolve) and refuses to be run by hand.
h5read=$scratch/root/usr/libexec/ratelens/ratelens-h5read
rc=0
"$h5read" --version 2>"$scratch/h5read.err" || rc=$?
[ "$rc" -eq 2 ] && grep -q "takes no arguments" "$scratch/h5read.err" \
    || fail "ratelens-h5read does not run: status $rc, $(cat "$scratch/h5read.err")"
mkdir "$scratch/work"
mkdir -m 700 "$scratch/runtime"
(cd "$scratch/work" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime" "$batch" "$root"/examples/spectrum_0[1-6].dat \
    -o deadtimes.dat --plot plots.png >table.txt) || fail "batch on the examples: status $?"
cmp "$scratch/work/deadtimes.dat" "$root/tests/package/examples-deadtimes.dat" \
    || fail "results file differs"
cmp "$scratch/work/deadtimes.dat.conf" "$root/tests/package/examples-deadtimes.dat.conf" \
    || fail ".conf file differs"
[ "$(wc -l <"$scratch/work/table.txt")" -eq 5 ] || fail "table: $(cat "$scratch/work/table.txt")"
[ "$(head -c 8 "$scratch/work/plots.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] \
    || fail "plots.png is not a PNG image"

if [ $failures -gt 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package checks passed: $(basename "$deb")"
