# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the other scripts: installs the Debian packages that are missing.
# Usage: ratelens_need_packages pkg...
ratelens_need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    echo "Installing missing packages: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What running the window needs besides the toolkit's own libraries: a font
# with Japanese glyphs, since the Japanese interface is the default and a
# fresh Debian installation has none (its captions would be empty boxes).
RATELENS_RUN_PACKAGES=(fonts-noto-cjk)
# What building the program needs.
# libgsl-dev: the nonlinear least-squares solver of the exact dead-time models.
# libboost-dev: Lambert's W (Boost.Math, header only) that inverts the paralyzable law.
# libqt5svg5-dev: the window's plots saved and copied as SVG.
# libmuparser-dev: the expressions of the recipes that turn recorded columns into rates.
# pkg-config: finds muparser.
# zlib1g-dev: reads the gzip-compressed scans of beamlines.
RATELENS_BUILD_PACKAGES=(g++ make cmake qtbase5-dev qttools5-dev qttools5-dev-tools libgsl-dev
    libboost-dev libqt5svg5-dev libmuparser-dev pkg-config zlib1g-dev)
# libhdf5-dev: the HDF5 library behind ratelens-h5read, which reads HDF5 recordings
# (the package then depends on its runtime, libhdf5-103-1); pkgconf finds it.
RATELENS_BUILD_PACKAGES+=(libhdf5-dev pkgconf)
# What the test suite, the benchmarks and the fuzz targets need besides.
RATELENS_TEST_PACKAGES=(libbenchmark-dev clang libclang-rt-14-dev python3)
# What building and checking the Debian package needs besides the build
# (scripts/package; scripts/test checks the package it makes).
RATELENS_PACKAGE_PACKAGES=(dpkg-dev file gzip help2man lintian appstream desktop-file-utils man-db)
