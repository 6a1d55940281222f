#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# suites, the soak smoke and the checks of the sources; then the unit,
# pseudo-terminal, window and end-to-end suites once more built with
# AddressSanitizer and UndefinedBehaviorSanitizer; then velora-cli.exe and the
# Qt-free suites cross-built for Windows and run under wine.
#
# usage: scripts/test.sh [ctest options]; with options only the first pass
# runs, with those options (e.g. scripts/test.sh -R Engine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WITH_QT=ON -DVELORA_TESTS=ON >/dev/null
ninja -C build
ctest --test-dir build --output-on-failure -j2 "$@"
[[ $# -eq 0 ]] || exit 0

# The long runs at the real line speed (the full round trip, the soak) do
# not run twice.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WITH_QT=ON -DVELORA_TESTS=ON \
      -DVELORA_SANITIZE=address,undefined >/dev/null
ninja -C build-asan
ctest --test-dir build-asan --output-on-failure -j2 -L 'unit|pty|qt|e2e|fuzz' \
      -E 'cli_roundtrip|soak'

# Windows: velora-cli.exe and the Qt-free suites under wine, velora-cli.exe
# against this build's velora-emu.
if ! scripts/build-windows.sh --deps-only; then
    echo "test.sh: MinGW-w64 or wine cannot be installed here: the Windows tests are skipped" >&2
    exit 0
fi
scripts/build-windows.sh -DVELORA_LINUX_PROGRAMS="$PWD/build/app"
ctest --test-dir build-windows --output-on-failure -j2 -L windows
