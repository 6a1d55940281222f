#!/usr/bin/env bash
# A firmware upgrade from end to end on a real pseudo-terminal: velora-mkupg
# packs a firmware image, velora-cli installs and verifies it in velora-emu,
# and the emulator's memory file, read after it has stopped, holds the image.
# Then the refusals: a file with one flipped stored byte is refused before
# the port is opened; a version question not answered sends nothing after the
# version query. Differences end with 2
# (Abort) or 1 (ignored); an interrupted upgrade ends with 130 and a warning.
# usage: cli_upgrade.sh BIN_DIR
. "$(dirname "$0")/e2e.sh"
# The emulator keeps its memory in mem.bin and logs every frame to emu.log.
emu_log=$work/emu.log
start_logged_emu() {
    : >"$emu_log"
    start_emu --memory "$work/mem.bin" --log "$@"
}
cli() { "$bin/velora-cli" --port "$dev" "$@" >"$work/cli.out" 2>"$work/cli.err"; }
frames_received() { grep -c "PC  -> emu" "$work/emu.log"; }
# Only the version query that follows the chosen port reached the controller.
only_version_query() {
    [[ $(frames_received) -eq 1 ]] && grep "PC  -> emu" "$work/emu.log" | grep -q "version query"
}

data=262144             # the memory file: the data memory, then the firmware memory
address=$((0xFF80))     # the image runs across 0xFFFF
size=1000

# 1. The image, and its upgrade file.
head -c $size /dev/urandom >"$work/fw.bin"
"$bin/velora-mkupg" --version 1.06 --image "$work/fw.bin" --address FF80 --output "$work/kq318_106.upg" >/dev/null ||
    fail "velora-mkupg"

# 2. Installed and verified; the firmware memory holds the image and nothing more.
start_logged_emu
cli --yes upgrade "$work/kq318_106.upg"; status=$?
[[ $status -eq 0 ]] || fail "install ended with $status: $(cat "$work/cli.err")"
grep -q "^velora-cli: installed 63 records of .* in .* and verified them in " "$work/cli.out" &&
    [[ $(wc -l <"$work/cli.out") -eq 1 ]] || fail "not one closing line: $(cat "$work/cli.out")"
[[ -s "$work/cli.err" ]] && fail "a clean upgrade wrote to the standard error: $(cat "$work/cli.err")"
[[ $(grep -c "(#[0-9]* write)" "$work/emu.log") -eq 63 ]] || fail "not 63 records written"
stop_emu
[[ $(stat -c %s "$work/mem.bin") -eq $((data + 0x1E01F)) ]] || fail "memory file size"
cmp -n $size -i $((data + address)):0 "$work/mem.bin" "$work/fw.bin" || fail "the firmware memory differs from the image"
[[ $(od -An -tx1 -j $((data + address + size)) -N1 "$work/mem.bin") == " ff" ]] || fail "a byte past the image was written"
[[ $(od -An -tx1 -j $((data + address - 1)) -N1 "$work/mem.bin") == " ff" ]] || fail "a byte before the image was written"

# 3. The emulator takes its firmware memory back from the file: a clean verification.
start_logged_emu
cli --yes upgrade --verify-only "$work/kq318_106.upg"; status=$?
[[ $status -eq 0 ]] || fail "verification after a restart ended with $status: $(cat "$work/cli.err")"

# 4. One flipped stored byte (the last one of the last record): refused, the
# file named, and nothing reaches the controller.
cp "$work/kq318_106.upg" "$work/kq318_flipped.upg"
last=$(($(stat -c %s "$work/kq318_flipped.upg") - 1))
byte=$(od -An -tu1 -j $last -N1 "$work/kq318_flipped.upg" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$work/kq318_flipped.upg" bs=1 seek=$last conv=notrunc status=none
stop_emu
start_logged_emu
cli --yes upgrade "$work/kq318_flipped.upg"; status=$?
[[ $status -eq 2 ]] || fail "a flipped byte ended with $status"
grep -q "^velora-cli: $work/kq318_flipped.upg: Invalid file contents !" "$work/cli.err" ||
    fail "no refusal message: $(cat "$work/cli.err")"
[[ $(frames_received) -eq 0 ]] || fail "frames before the file was accepted: $(cat "$work/emu.log")"

# 5. Without --yes the install question is answered No: nothing is sent.
stop_emu
start_logged_emu
cli upgrade "$work/kq318_106.upg"; status=$?
[[ $status -eq 2 ]] || fail "an unanswered question ended with $status"
grep -q "^velora-cli: .*Do you want to install .*\[No\]" "$work/cli.err" || fail "no install question: $(cat "$work/cli.err")"
only_version_query || fail "frames after an unanswered question"

# 6. A file whose record 31 differs from what was installed: Abort ends with
# 2, Ignore with 1. Version 1.05 against the controller's 1.05b asks nothing.
cp "$work/fw.bin" "$work/fw2.bin"
printf '\x00\xff' | dd of="$work/fw2.bin" bs=1 seek=500 conv=notrunc status=none
cmp -s "$work/fw.bin" "$work/fw2.bin" && fail "the second image is the same"
"$bin/velora-mkupg" --version 1.05 --image "$work/fw2.bin" --address FF80 -o "$work/kq318_105.upg" >/dev/null ||
    fail "velora-mkupg"
cli upgrade --verify-only "$work/kq318_105.upg"; status=$?
[[ $status -eq 2 ]] || fail "an aborted verification ended with $status"
grep -q "Upgrade veryfication error : line 31 .*\[Abort\]" "$work/cli.err" || fail "no Abort: $(cat "$work/cli.err")"
cli --ignore-differences upgrade --verify-only "$work/kq318_105.upg"; status=$?
[[ $status -eq 1 ]] || fail "ignored differences ended with $status: $(cat "$work/cli.err")"
grep -q "^velora-cli: .*Veryfication finished with warnings !" "$work/cli.err" || fail "no closing warning"

# 7. Interrupted in the install pass: 130.
"$bin/velora-cli" --port "$dev" --yes upgrade "$work/kq318_106.upg" 2>"$work/cli.err" &
cli_pid=$!
sleep 2
kill -INT $cli_pid
wait $cli_pid; status=$?
[[ $status -eq 130 ]] || fail "an interrupted upgrade ended with $status"
grep -q "^velora-cli: interrupted while installing; the controller's firmware may be incomplete" "$work/cli.err" ||
    fail "an interrupted install gave no warning: $(cat "$work/cli.err")"

# 8. The command line.
"$bin/velora-cli" upgrade 2>/dev/null; [[ $? -eq 2 ]] || fail "upgrade without a file"
"$bin/velora-cli" --verify-only version 2>/dev/null; [[ $? -eq 2 ]] || fail "--verify-only without upgrade"
cli upgrade "$work/no-such.upg"; status=$?
[[ $status -eq 2 ]] && grep -q "^velora-cli: .*no-such.upg: No such file or directory" "$work/cli.err" ||
    fail "a missing file: $status $(cat "$work/cli.err")"
"$bin/velora-mkupg" --help | grep -q "^Usage: velora-mkupg" || fail "velora-mkupg --help"
"$bin/velora-mkupg" --version 1.6 --list x -o y 2>/dev/null; [[ $? -eq 2 ]] || fail "velora-mkupg with a bad version"
echo "cli upgrade: all checks passed"
