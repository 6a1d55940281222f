#!/usr/bin/env bash
# A show as text against velora-emu on a real pseudo-terminal: read all,
# export, change one channel value in the JSON with a script, import, write
# that scene to the emulator, and verify the whole show clean.
# usage: cli_show_text.sh BIN_DIR
. "$(dirname "$0")/e2e.sh"

start_emu --demo
cli() { "$bin/velora-cli" --port "$dev" "$@"; }

cli --quiet read all "$work/show" || fail "read all"
cli --quiet export "$work/show" -o "$work/show.json" || fail "export"
cli export "$work/show" | cmp -s - "$work/show.json" || fail "two exports of the same files differ"

# Programme 2, scene 3, fixture 1, channel 1 becomes 123 (or 124 if it was 123).
python3 - "$work/show.json" <<'PY' || fail "editing the JSON"
import json, sys
path = sys.argv[1]
doc = json.load(open(path))
scene = doc["programmes"][1]["scenes"][2]
if scene == "dark":
    scene = [[0] * 16 for _ in range(16)]
scene[0][0] = 124 if scene[0][0] == 123 else 123
doc["programmes"][1]["scenes"][2] = scene
json.dump(doc, open(path, "w"), indent=1)
PY

cli --quiet import "$work/show.json" "$work/edited" || fail "import"
out=$(cli diff "$work/show" "$work/edited"); status=$?
[[ $status -eq 1 ]] || fail "diff of one changed channel ended with $status"
[[ "$out" == *"Scene 2/3 fixture 1 channel 1: "* && "$out" == *"1 difference" ]] || fail "diff said: $out"

cli --quiet write scenes=2/3-2/3 "$work/edited" || fail "writing the scene"
out=$(cli verify all "$work/edited" 2>&1); status=$?
[[ $status -eq 0 ]] || fail "verify after the write ended with $status: $out"
[[ "$out" == "velora-cli: verified 2048 blocks in "*": no differences" ]] || fail "verify said: $out"
echo "cli show as text: all checks passed"
