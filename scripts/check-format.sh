#!/usr/bin/env bash
# Checks that every tracked C++ file is laid out as .clang-format says.
# usage: scripts/check-format.sh [source root]; scripts/check-format.sh --fix rewrites them.
set -euo pipefail
fix=0
if [[ "${1:-}" == "--fix" ]]; then fix=1; shift; fi
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.h' '*.cpp')
else
    mapfile -t files < <(find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | grep -v '^build')
fi

if (( fix )); then
    clang-format -i "${files[@]}"
    exit 0
fi
# One clang-format for every file: it names each file that differs.
mapfile -t bad < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 |
                   sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*clang-format.*/\1/p' | sort -u)
if (( ${#bad[@]} )); then
    printf 'check-format: not laid out as .clang-format says: %s\n' "${bad[@]}" >&2
    echo "check-format: scripts/check-format.sh --fix rewrites them" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format says"
