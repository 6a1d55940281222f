#!/usr/bin/env bash
# velora-cli against velora-emu on a real pseudo-terminal: the show as text
# (export, one channel changed in the JSON, import, that scene written and the
# whole show verified), a full "&All" write, the read back compared byte for
# byte, a clean verify, and a verify that finds a planted difference.
# usage: cli_roundtrip.sh BIN_DIR
. "$(dirname "$0")/e2e.sh"
cli() { "$bin/velora-cli" --port "$dev" "$@"; }

# 1. Take the demonstration show as the data to write.
start_emu --demo
cli read all "$work/show" || fail "reading the demonstration show"
for ext in K5s K5p K5m; do [[ -s "$work/show.$ext" ]] || fail "show.$ext missing"; done
[[ $(stat -c %s "$work/show.K5s") -eq 261632 ]] || fail "scene file size"
[[ $(stat -c %s "$work/show.K5p") -eq 202 ]] || fail "settings file size"
[[ $(stat -c %s "$work/show.K5m") -eq 256 ]] || fail "MIDI file size"

# 1a. The show as text: programme 2, scene 3, fixture 1, channel 1 becomes
# 123 (124 if it was 123) in the JSON; the import has that one difference;
# written to the controller, the edited show verifies clean.
cli --quiet export "$work/show" -o "$work/show.json" || fail "export"
cli export "$work/show" | cmp -s - "$work/show.json" || fail "export to standard output differs from -o"
python3 - "$work/show.json" <<'PY' || fail "editing the JSON"
import json, sys
doc = json.load(open(sys.argv[1]))
scene = doc["programmes"][1]["scenes"][2]
if scene == "dark":
    scene = [[0] * 16 for _ in range(16)]
scene[0][0] = 124 if scene[0][0] == 123 else 123
doc["programmes"][1]["scenes"][2] = scene
json.dump(doc, open(sys.argv[1], "w"), indent=1)
PY
cli --quiet import "$work/show.json" "$work/edited" || fail "import"
out=$(cli diff "$work/show" "$work/edited"); status=$?
[[ $status -eq 1 && "$out" == *"Scene 2/3 fixture 1 channel 1: "* && "$out" == *"1 difference" ]] ||
    fail "diff of one changed channel ended with $status: $out"
cli --quiet write scenes=2/3-2/3 "$work/edited" || fail "writing the scene"
out=$(cli verify all "$work/edited" 2>&1); status=$?
[[ $status -eq 0 && "$out" == "velora-cli: verified 2048 blocks in "*": no differences" ]] ||
    fail "verify after the write ended with $status: $out"
stop_emu

# 2. Write it to an empty controller, read it back, compare.
start_emu
cli read all "$work/empty" || fail "reading the empty controller"
cmp -s "$work/show.K5s" "$work/empty.K5s" && fail "the empty controller already holds the show"
cli write all "$work/show" || fail "writing the show"
cli read all "$work/back" || fail "reading back"
for ext in K5s K5p K5m; do cmp "$work/show.$ext" "$work/back.$ext" || fail "read back differs: $ext"; done

# 3. A clean verify, then one with a planted difference.
cli verify all "$work/show"; status=$?
[[ $status -eq 0 ]] || fail "clean verify ended with $status"
cp "$work/show.K5s" "$work/planted.K5s"; cp "$work/show.K5p" "$work/planted.K5p"; cp "$work/show.K5m" "$work/planted.K5m"
printf '\x5a' | dd of="$work/planted.K5s" bs=1 seek=1000 conv=notrunc status=none
[[ $(od -An -tx1 -j1000 -N1 "$work/show.K5s") == " 5a" ]] && printf '\x5b' | dd of="$work/planted.K5s" bs=1 seek=1000 conv=notrunc status=none
cli verify all "$work/planted" 2>"$work/verify.err"; status=$?
[[ $status -eq 1 ]] || fail "verify of a planted difference ended with $status"
grep -q "Veryfication error : scene 4 kanał 233" "$work/verify.err" || fail "difference message: $(cat "$work/verify.err")"

# 4. A read that is cut short saves no file.
stop_emu
start_emu --fault drop@50
cli read scenes "$work/cut"; status=$?
[[ $status -ne 0 ]] || fail "an interrupted read ended with 0"
[[ -e "$work/cut.K5s" ]] && fail "an interrupted read saved a file"
echo "cli round trip: all checks passed"
