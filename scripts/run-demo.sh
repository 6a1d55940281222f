#!/usr/bin/env bash
# Installs what is missing, builds, and starts the controller emulator with its
# demonstration show on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build velora-emu
echo "Point a client at the device path printed below (for the desktop program:" >&2
echo "VELORA_PORTS=<path>). Ctrl-C stops the emulator." >&2
exec build/app/velora-emu --demo --paced
