# Sourced by the scripts that need a virtual X display: starts Xvfb on a
# display it chooses itself, waits until it is ready, exports DISPLAY and
# adds its process to the array `pids` for the caller's clean-up.
start_xvfb() {
    local ready
    ready=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
    pids+=($!)
    # Xvfb writes the display number once it accepts clients.
    for _ in $(seq 100); do
        [[ -s "$ready" ]] && break
        sleep 0.1
    done
    if [[ ! -s "$ready" ]]; then
        echo "$(basename "$0"): Xvfb did not start" >&2
        rm -f "$ready"
        return 1
    fi
    export DISPLAY=":$(tr -d '[:space:]' <"$ready")"
    rm -f "$ready"
}
