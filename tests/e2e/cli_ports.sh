#!/usr/bin/env bash
# velora-cli and the ports it cannot use, on real pseudo-terminals: a search
# names every port it tried with why it could not use it.
# usage: cli_ports.sh BIN_DIR
. "$(dirname "$0")/e2e.sh"

# A search over a path that cannot be opened and a device that never answers
# names both, for the search command and for a command that searches because
# no port was named.
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
