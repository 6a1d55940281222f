#!/usr/bin/env bash
# velora-cli and the ports it cannot use, on real pseudo-terminals: a second
# velora-cli that names a device in use by another name (a link) is refused,
# and a search names every port it tried with why it could not use it.
# usage: cli_ports.sh BIN_DIR
. "$(dirname "$0")/e2e.sh"

# 1. One device, two names: while a paced read holds the device, a second
#    velora-cli naming it through a link is refused and the read goes on.
emu_log="$work/emu.log"
start_emu --paced --log --link "$work/velora"
"$bin/velora-cli" --port "$dev" read scenes "$work/held" 2>"$work/held.err" &
first=$!
# The first frame in the emulator's log: the first velora-cli holds the port.
for _ in $(seq 100); do grep -q "PC  -> emu" "$emu_log" 2>/dev/null && break; sleep 0.1; done
grep -q "PC  -> emu" "$emu_log" || fail "the first velora-cli sent no frame"
"$bin/velora-cli" --port "$work/velora" version >/dev/null 2>"$work/second.err"; status=$?
[[ $status -eq 2 ]] || fail "a second velora-cli on the link ended with $status"
grep -q "$work/velora: in use by another program" "$work/second.err" ||
    fail "the refusal: $(cat "$work/second.err")"
kill -INT "$first"; wait "$first"; status=$?
[[ $status -eq 130 ]] || fail "the first velora-cli ended with $status: $(cat "$work/held.err")"
grep -q "Communication error" "$work/held.err" && fail "the first read was disturbed: $(cat "$work/held.err")"
stop_emu

# 2. A search over a path that cannot be opened and a device that never
#    answers names both, for the search command and for a command that
#    searches because no port was named.
unset emu_log
start_emu --fault silence@1-
for command in search version; do
    VELORA_PORTS="$work/no-such-port:$dev" "$bin/velora-cli" "$command" >/dev/null 2>"$work/search.err"
    status=$?
    [[ $status -eq 2 ]] || fail "$command over dead ports ended with $status"
    grep -qx "velora-cli: $work/no-such-port: no such device" "$work/search.err" ||
        fail "$command does not name the missing port: $(cat "$work/search.err")"
    grep -qx "velora-cli: $dev: opened, but nothing answered" "$work/search.err" ||
        fail "$command does not name the silent device: $(cat "$work/search.err")"
done
echo "cli ports: all checks passed"
