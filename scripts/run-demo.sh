#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program against the
# controller emulator: velora-emu with its demonstration show, paced at the
# real line speed, on a pseudo-terminal that velora finds through
# VELORA_PORTS. The emulator stops when velora exits.
#
# usage: scripts/run-demo.sh [extra velora-emu options, e.g. --fault nak@5]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${VELORA_BUILD_DIR:-build}  # another build directory, if wanted
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WITH_QT=ON -DVELORA_TESTS=ON >/dev/null
ninja -C "$build" velora velora-emu

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "run-demo: no display (DISPLAY or WAYLAND_DISPLAY is not set)." >&2
    echo "run-demo: on a machine without one, try: xvfb-run -a scripts/run-demo.sh" >&2
    exit 1
fi

# The emulator prints its device path as the first line of its output.
coproc EMULATOR { exec "$build"/app/velora-emu --demo --paced "$@"; }
emulator_pid=$EMULATOR_PID
stop_emulator() {
    kill "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
}
trap stop_emulator EXIT
trap 'exit 130' INT TERM

if ! read -r -t 10 device <&"${EMULATOR[0]}"; then
    echo "run-demo: the emulator did not start" >&2
    exit 1
fi
echo "run-demo: controller emulator on $device" >&2

status=0
VELORA_PORTS="$device" "$build"/app/velora || status=$?
exit "$status"
