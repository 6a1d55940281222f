#!/usr/bin/env bash
# Measures the desktop program on a virtual X display against velora-emu at
# the real line speed: a full read ("&All" under "&Read from controller")
# started from the menu, its wall time beside the line limit, and the share
# of that time velora spent on the CPU (user + system, from /proc).
#
# With --busy a second process keeps one processor busy meanwhile, as another
# program at work on the same machine would.
#
# usage: scripts/measure-desktop.sh [--busy]
set -euo pipefail
cd "$(dirname "$0")/.."
busy=false
case "${1:-}" in
    "") ;;
    --busy) busy=true ;;
    *) echo "usage: scripts/measure-desktop.sh [--busy]" >&2; exit 2 ;;
esac

scripts/install-deps.sh --with-display
command -v xdotool >/dev/null || { echo "measure-desktop: needs xdotool" >&2; exit 1; }
build=${VELORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WITH_QT=ON -DVELORA_TESTS=ON >/dev/null
ninja -C "$build" velora velora-emu

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

. scripts/xvfb.sh
start_xvfb

# The emulator logs every frame, so the last block's request marks the end.
coproc EMULATOR { exec "$build"/app/velora-emu --demo --paced --log 2>"$work/frames.log"; }
pids+=("$EMULATOR_PID")
read -r -t 10 device <&"${EMULATOR[0]}"

VELORA_PORTS="$device" "$build"/app/velora >/dev/null 2>&1 &
velora=$!
pids+=("$velora")
window=""
for _ in $(seq 100); do
    window=$(xdotool search --name "Kq318 Velora Tarvane" 2>/dev/null | head -n 1 || true)
    [[ -n "$window" ]] && break
    sleep 0.1
done
sleep 1.5
xdotool windowfocus --sync "$window"

if $busy; then
    yes >/dev/null &
    pids+=($!)
fi

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$velora/stat"; }
xdotool key --delay 100 alt+a Right      # "&Read from controller" and its popup
cpu0=$(cpu)
t0=$(date +%s.%N)
xdotool key a                            # "&All"
until grep -q "PC  -> emu  12 26 FF 07" "$work/frames.log"; do sleep 0.02; done
sleep 0.1  # the last reply: 134 bytes, 38 ms
t1=$(date +%s.%N)
cpu1=$(cpu)

awk -v c0="$cpu0" -v c1="$cpu1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" 'BEGIN {
    wall = t1 - t0; cpu = (c1 - c0) / hz; limit = 2048 * 140 / (38400 / 11);
    printf "full read: %.2f s (line limit %.2f s, %.3f x); velora CPU %.2f s = %.2f %% of the wall time\n",
           wall, limit, wall / limit, cpu, 100 * cpu / wall }'
