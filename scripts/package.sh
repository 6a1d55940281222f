#!/usr/bin/env bash
# Builds the Debian package velora_<version>_<arch>.deb: a release build of
# the programs in build-package/ (optimised as the tested build is, with
# Debian's hardening flags; cpack strips the programs), then `cpack -G DEB`.
# Install it with: sudo apt install ./velora_<version>_amd64.deb
#
# usage: scripts/package.sh [build directory, default build-package]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${1:-build-package}

# The compiler and linker flags Debian builds its own packages with
# (stack protector, fortified functions, read-only relocations, bind now).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WITH_QT=ON -DVELORA_TESTS=OFF \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
ninja -C "$build"
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/velora_*_"$(dpkg --print-architecture)".deb)
dpkg-deb -I "$deb"
echo "package: $deb ($(stat -c %s "$deb") bytes)"
