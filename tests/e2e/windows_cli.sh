#!/usr/bin/env bash
# velora-cli.exe under wine against velora-emu, whose pseudo-terminal is the
# COM7 of a private wine prefix: version, a full read byte-identical to the
# Linux velora-cli's and a file replaced, a show as text through a file with a non-ASCII name and
# through the standard output, a write and a clean verify, a firmware upgrade,
# Ctrl-C (SIGINT to the wine process) and a failed save that keeps the old set.
# usage: windows_cli.sh LINUX_BIN_DIR VELORA_CLI_EXE WINEPREFIX
. "$(dirname "$0")/e2e.sh"
exe=$2
export WINEPREFIX=$3 WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
cd "$work"

# Starts the emulator and makes its device the prefix's COM7.
start_com7() {
    start_emu "$@"
    ln -sfn "$dev" "$WINEPREFIX/dosdevices/com7"
}
wcli() { wine "$exe" --port COM7 "$@"; }

# 1. The version, and the whole memory read as the Linux program reads it.
start_com7 --demo
out=$(wcli version </dev/null 2>&1) || fail "version: $out"
[[ "$out" == *1.05b* ]] || fail "version said: $out"
wcli --quiet read all win </dev/null || fail "read all"
"$bin/velora-cli" --port "$dev" --quiet read all linux || fail "the Linux read all"
for ext in K5s K5p K5m; do cmp win.$ext linux.$ext || fail "$ext differs from the Linux program's"; done
# Read again over a set that is there: each file is replaced.
printf 'old' >>win.K5p
wcli --quiet read settings win </dev/null || fail "read settings over an existing file"
cmp win.K5p linux.K5p || fail "the existing settings file was not replaced"

# 2. A show as text: to a file named in Polish and to the standard output
# (byte for byte the same), imported back into the same three files.
wcli --quiet export win -o "łódź.json" </dev/null || fail "export to a non-ASCII name"
[[ -s "łódź.json" ]] || fail "łódź.json missing"
wcli export win </dev/null >stdout.json || fail "export to the standard output"
cmp -s stdout.json "łódź.json" || fail "export to the standard output differs from -o"
wcli --quiet import "łódź.json" "kopia-ł" </dev/null || fail "import from a non-ASCII name"
for ext in K5s K5p K5m; do cmp win.$ext "kopia-ł.$ext" || fail "imported $ext differs"; done

# 3. A write of two scenes, then a clean verify of everything.
wcli --quiet write scenes=1/1-1/2 win </dev/null || fail "write scenes"
out=$(wcli verify all win </dev/null 2>&1); status=$?
[[ $status -eq 0 && "$out" == "velora-cli: verified 2048 blocks in "*": no differences" ]] ||
    fail "verify ended with $status: $out"

# 4. A firmware upgrade, installed and verified.
head -c 200 /dev/urandom >fw.bin
"$bin/velora-mkupg" --version 1.06 --image fw.bin --address F800 --output kq318_106.upg >/dev/null ||
    fail "velora-mkupg"
out=$(wcli --yes upgrade kq318_106.upg </dev/null 2>&1); status=$?
[[ $status -eq 0 && "$out" == *"installed 13 records"*"verified them"* ]] || fail "upgrade ended with $status: $out"
stop_emu

# 5. Ctrl-C: a SIGINT to the wine process reaches the console handler; the
# write stops, says so and ends with 130.
start_com7 --paced
wine "$exe" --port COM7 write all win </dev/null >cut.out 2>&1 &
cli_pid=$!
sleep 3
kill -INT $cli_pid
wait $cli_pid; status=$?
[[ $status -eq 130 ]] || fail "an interrupted write ended with $status: $(cat cut.out)"
grep -q "^velora-cli: interrupted after .* written" cut.out || fail "no word of the interruption: $(cat cut.out)"
stop_emu

# 6. A save that fails keeps the old set: the scene file, replaced first,
# cannot be replaced (immutable: wine, run as root, would replace a read-only
# one), so none of the three is.
start_com7
cp win.K5s old.K5s; cp win.K5p old.K5p; cp win.K5m old.K5m
if chattr +i old.K5s 2>/dev/null; then
    wcli --quiet read all old </dev/null 2>fail.err; status=$?
    chattr -i old.K5s
    [[ $status -eq 2 ]] || fail "a failed save ended with $status: $(cat fail.err)"
    grep -q "none of the files was changed" fail.err || fail "failed save said: $(cat fail.err)"
    for ext in K5s K5p K5m; do cmp win.$ext old.$ext || fail "old.$ext was changed"; done
    [[ $(ls -A | grep -c '\.tmp$') -eq 0 ]] || fail "temporary files left: $(ls -A)"
else
    echo "windows_cli: no immutable files here (chattr +i refused): the failed save is not tried"
fi
echo "velora-cli.exe under wine: all checks passed"
