# Sourced by the end-to-end scripts: the programs' folder from the first
# argument, a work folder removed at exit, failing with a message, and
# velora-emu started and stopped on a pseudo-terminal.
set -u
bin=$1
work=$(mktemp -d)
emu_pid=""
cleanup() {
    [[ -n "$emu_pid" ]] && kill "$emu_pid" 2>/dev/null && wait "$emu_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts velora-emu with the options given (its standard error goes to
# $emu_log when set); sets emu_pid and dev, the device to point a client at.
start_emu() {
    coproc EMU { exec "$bin/velora-emu" "$@" 2>"${emu_log:-/dev/null}"; }
    emu_pid=$EMU_PID
    read -r -t 10 dev <&"${EMU[0]}" || fail "velora-emu printed no device"
}
stop_emu() { kill "$emu_pid"; wait "$emu_pid" 2>/dev/null; emu_pid=""; }
