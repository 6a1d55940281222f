#!/usr/bin/env bash
# Cross-builds velora-cli.exe and the Qt-free test suites for 64-bit Windows
# into build-windows/ (MinGW-w64, statically linked, no Qt), and packs
# velora-cli-VERSION-windows-x64.zip. Installs what it needs on Debian 12
# (through sudo when not root).
#
# usage: scripts/build-windows.sh [--no-tests | --deps-only] [CMAKE OPTIONS...]
#   --no-tests   velora-cli.exe and the ZIP only (wine is not needed)
#   --deps-only  install what is missing, build nothing
#   e.g. -DVELORA_LINUX_PROGRAMS=$PWD/build/app adds the end-to-end test
#   against velora-emu of that Linux build.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
[[ "$mode" == --no-tests || "$mode" == --deps-only ]] && shift || mode=""
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest libcli11-dev nlohmann-json3-dev)
[[ "$mode" == --no-tests ]] || packages+=(wine64 wine)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

[[ "$mode" != --deps-only ]] || exit 0

tests=ON
[[ "$mode" != --no-tests ]] || tests=OFF
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELORA_TESTS=$tests "${launcher[@]}" "$@" >/dev/null
ninja -C build-windows
(cd build-windows && cpack -G ZIP >/dev/null)
ls build-windows/velora-cli-*-windows-x64.zip
