#!/usr/bin/env bash
# Starts velora against velora-emu on a virtual X display and saves
# screenshots into docs/: the main window after start-up (the line
# answering), the Action menu with its selection popup, the scene range
# dialog, a read in progress with its time left, the three editors, the line
# lost after the controller went away, the About box and the Exit question.
#
# usage: scripts/screenshots.sh [output directory, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"

scripts/install-deps.sh --with-display
if ! command -v xdotool >/dev/null; then
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends xdotool >&2
fi
build=${VELORA_BUILD_DIR:-build}  # another build directory, if wanted
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WITH_QT=ON -DVELORA_TESTS=ON >/dev/null
ninja -C "$build" velora velora-emu

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

. scripts/xvfb.sh
start_xvfb

coproc EMULATOR { exec "$build"/app/velora-emu --demo --paced; }
pids+=("$EMULATOR_PID")
read -r -t 10 device <&"${EMULATOR[0]}"

VELORA_PORTS="$device" "$build"/app/velora >/dev/null 2>&1 &
pids+=($!)

window=""
for _ in $(seq 100); do
    window=$(xdotool search --name "Kq318 Velora Tarvane" 2>/dev/null | head -n 1 || true)
    [[ -n "$window" ]] && break
    sleep 0.1
done
[[ -n "$window" ]] || { echo "screenshots: velora did not open its window" >&2; exit 1; }
sleep 1.5  # the search and the version query

shoot() { import -window root -crop 800x600+0+0 +repage "$out/$1.png"; echo "saved $out/$1.png" >&2; }
# Without a window manager the focus is lost when a dialog closes: give it back first.
keys() { xdotool windowfocus --sync "$window" key --delay 150 "$@"; sleep 0.6; }
dialog_keys() { xdotool key --delay 150 "$@"; sleep 0.6; }

xdotool windowfocus --sync "$window"
shoot main-window

keys alt+a Right                            # "&Read from controller" (highlighted first) and its popup
shoot action-menu
dialog_keys Return                          # "&Scenes": the range dialog
shoot scene-range
dialog_keys Escape                          # cancelled

keys alt+a Right a                          # "&All" from the controller
sleep 3
shoot reading
keys Escape                                 # Stop

keys alt+a e s                              # "&Edition" / "&Scenes": "Edycja"
shoot scene-editor
dialog_keys Escape
keys alt+a e t                              # "&Edition" / "Se&ttings": "SpecEdit"
shoot settings-editor
dialog_keys Escape
keys alt+a e m                              # "&Edition" / "&MIDI": "MidiEdit"
shoot midi-editor
dialog_keys Escape

keys alt+h a                                # "&About ..."
shoot about
dialog_keys Return

# The controller goes away: the next read says so, and so does the bar.
kill "$EMULATOR_PID"
wait "$EMULATOR_PID" 2>/dev/null || true
keys alt+a t                                # "Controller res&tart"
dialog_keys Return                          # "Error code : 5"
shoot line-lost

keys alt+x                                  # "E&xit": the question
shoot exit-question
dialog_keys Return                          # Yes
