#!/usr/bin/env bash
# The private wine prefix of the Windows tests: "start" makes it once
# (wineboot -i) and starts its server, with nothing attached to the caller's
# output (a server holding CTest's pipe would keep CTest waiting); "stop"
# ends that server. No display: wine needs none for console programs.
# usage: wine_prefix.sh start|stop PREFIX
set -euo pipefail
export WINEPREFIX=$2 WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
case $1 in
    start)
        mkdir -p "$WINEPREFIX"
        # Refused when a server of this prefix runs already: that one serves.
        wineserver -p </dev/null >/dev/null 2>&1 || true
        if [[ ! -e "$WINEPREFIX/system.reg" ]]; then
            wineboot -i </dev/null >/dev/null 2>&1 || { echo "wineboot -i failed in $WINEPREFIX" >&2; exit 1; }
        fi
        wine cmd /c exit </dev/null >/dev/null 2>&1 || { echo "wine cannot run programs in $WINEPREFIX" >&2; exit 1; }
        ;;
    stop)
        wineserver -k </dev/null >/dev/null 2>&1 || true
        ;;
esac
