#!/usr/bin/env bash
# velora-cli sync against velora-emu on a real pseudo-terminal: a dry run
# lists the differences and writes nothing; a sync backs up what the
# controller held and writes exactly the blocks that differ, in ascending
# order; a second sync has nothing to write; the backup of a scene range,
# synced back, restores that range.
# usage: cli_sync.sh BIN_DIR
. "$(dirname "$0")/e2e.sh"
cli() { "$bin/velora-cli" --port "$dev" "$@"; }
# The blocks written since the log was last cleared, in the order sent.
written() {
    local lo hi
    grep -ao 'PC  -> emu  11 26 [0-9A-F][0-9A-F] [0-9A-F][0-9A-F]' "$emu_log" | while read -r _ _ _ _ _ lo hi; do
        echo -n "$((16#$hi$lo)) "
    done
}

emu_log=$work/emu.log
start_emu --demo --log
cli --quiet read all "$work/show" || fail "reading the demonstration show"
for ext in K5s K5p K5m; do cp "$work/show.$ext" "$work/new.$ext"; done
# Scene 1/4 channel 233 (block 7), programme 5's fade (block 2044) and MIDI
# key 70's entry (block 2047) changed; a raw slow mode flag of 1 where the
# controller holds it on (0xFFFF), which the verification takes as equal.
poke() { printf "\\x$3" | dd of="$work/new.$1" bs=1 seek="$2" conv=notrunc status=none; }
[[ $(od -An -tx1 -j1000 -N1 "$work/show.K5s") == " 11" ]] && fail "the demonstration show holds the planted byte"
poke K5s 1000 11
poke K5p 100 07
poke K5m 141 5a
[[ $(od -An -tx1 -j146 -N2 "$work/show.K5p") == " ff ff" ]] && { poke K5p 146 01; poke K5p 147 00; }

: >"$emu_log"
out=$(cli sync --dry-run all "$work/new" 2>&1); status=$?
[[ $status -eq 1 ]] || fail "a dry run with differences ended with $status: $out"
[[ "$out" == *"Scene 1/4 fixture 15 channel 9: "*" <> 17"* && "$out" == *"Fading programm 5: "* &&
    "$out" == *"MIDI key 70 "* && "$out" != *"Slow mode"* && "$out" == *" in 3 blocks"* ]] ||
    fail "dry run list: $out"
[[ -z $(written) ]] || fail "a dry run wrote blocks $(written)"

: >"$emu_log"
out=$(cli sync --backup-dir "$work/bk" all "$work/new" 2>"$work/sync.err"); status=$?
[[ $status -eq 0 && ! -s "$work/sync.err" ]] || fail "sync ended with $status: $(cat "$work/sync.err")"
[[ "$out" == *"velora-cli: synced 3 blocks (1 scene, settings, MIDI assignments) in "*"; backup $work/bk/"*"-all.K5s, .K5p, .K5m" ]] ||
    fail "sync summary: $out"
[[ $(written) == "7 2044 2047 " ]] || fail "sync wrote blocks $(written)"
backup=$(ls "$work/bk/"*-all.K5s) && backup=${backup%.K5s}
for ext in K5s K5p K5m; do cmp -s "$backup.$ext" "$work/show.$ext" || fail "backup $ext is not the old show"; done
cli --quiet verify all "$work/new" || fail "the controller does not equal the show after the sync"

out=$(cli sync --backup-dir "$work/bk" all "$work/new"); status=$?
[[ $status -eq 0 && "$out" == "velora-cli: nothing to write; backup $work/bk/"*"-all"*".K5s, .K5p, .K5m" ]] ||
    fail "second sync ended with $status: $out"
[[ $(ls "$work/bk" | wc -l) -eq 6 ]] || fail "the second backup replaced the first: $(ls "$work/bk")"

# The old scene 1/4 back from the backup, as a range of one scene.
: >"$emu_log"
cli --quiet sync --backup-dir "$work/bk" scenes=1/4 "$backup" || fail "syncing the backup's scene 1/4"
[[ $(written) == "7 " ]] || fail "restoring scene 1/4 wrote blocks $(written)"
range=$(ls "$work/bk/"*-scenes-1.4.K5s) || fail "no scene-range backup: $(ls "$work/bk")"
cmp -s <(head -c 1024 "$range" | tail -c 256) <(head -c 1024 "$work/new.K5s" | tail -c 256) ||
    fail "the range backup does not hold scene 1/4 as the controller held it"
[[ -z $(head -c 768 "$range" | tr -d '\0') && -z $(tail -c +1025 "$range" | tr -d '\0') ]] ||
    fail "the range backup holds more than its range"
cli --quiet verify scenes=1/4 "$work/show" || fail "scene 1/4 not restored"
echo "cli sync: all checks passed"
