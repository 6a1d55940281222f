#!/usr/bin/env bash
# Checks that every folder of the program includes only from itself or from
# the folders below it. The layers, lowest first; folders on one line are
# siblings and may not include each other.
#
# usage: scripts/check-layers.sh [source root]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

layers=(
    "platform"
    "image"
    "link"
    "files"
    "upgrade"
    "engine"
    "shell editors emulator"
    "desktop serial_qt serial_win32"
    "app"
    "tests bench"
    "tools"
)
declare -A rank
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files --cached --others --exclude-standard '*.h' '*.cpp')
else
    files=$(find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | grep -v '^build')
fi

bad=0
while IFS= read -r file; do
    from=${file%%/*}
    [[ -n "${rank[$from]:-}" ]] || continue
    while IFS= read -r line; do
        target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^/"]*\)\/.*/\1/p' <<<"$line")
        [[ -n "$target" && "$target" != "$from" ]] || continue
        if [[ -z "${rank[$target]:-}" ]]; then
            echo "$file: includes from $target/, which is in no layer: $line"
            bad=1
        elif (( rank[$target] >= rank[$from] )); then
            echo "$file: $from/ includes from $target/, which is not below it: $line"
            bad=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done <<<"$files"

if (( bad )); then
    echo "check-layers: a folder includes from one that is not below it" >&2
    exit 1
fi
echo "check-layers: every include points down"
