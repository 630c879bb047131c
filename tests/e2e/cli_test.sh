#!/usr/bin/env bash
# The command line against the running program, as scripts and launchers use it: under a private Xvfb
# and a private session bus, with xclip as the other application. Covers the order of list, copy back
# without a new entry, add and get byte for byte (a NUL included), pause and resume, ignore-next,
# formatted text and files chosen again, and the history file read while the program is not running.
#
#   cli_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, xclip, dbus-daemon, dbus-send or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup cli_test xvfb "Xvfb xclip dbus-daemon dbus-send python3" "$@"

start_session_bus

pellamor() { "$program" "$@"; }
# A field of `list --json` ("id" or "preview"), one a line, in history order.
listed() {
    local json
    json=$(pellamor list --json) || return
    python3 -c 'import json,sys; print("\n".join(e[sys.argv[1]] for e in json.loads(sys.argv[2])))' "$1" "$json"
}
id_of() {
    local lines
    lines=$(pellamor list) || return
    awk -F'\t' -v text="$1" '$2 == text {print $1; exit}' <<<"$lines"
}
lists() { [[ $'\n'$(listed preview)$'\n' == *$'\n'"$1"$'\n'* ]]; }

start_program || fail "$start_error"
wait_for 10 on_bus || fail "the program did not take the name com.pellamor.app on the session bus"

# list: newest first.
copy a
wait_for 5 lists a || fail "a copy of a was not captured"
copy b
wait_for 5 lists b || fail "a copy of b was not captured"
previews=$(listed preview)
[[ ${previews//$'\n'/ } == "b a" ]] || fail "list --json does not list b before a: $(listed preview)"

# copy: the clipboard holds the entry, and the history gains nothing. A copy made afterwards is the
# witness that the program has looked at the clipboard since.
before=$(listed id)
pellamor copy "$(id_of a)" || fail "copy exited with $?"
wait_for 5 clipboard_is a || fail "after copy the clipboard holds '$(xclip -selection clipboard -o 2>/dev/null)', not a"
copy c
wait_for 5 lists c || fail "a copy of c was not captured"
[[ $(listed id | tail -n +2) == "$before" ]] || fail "copying an entry back changed the history: $(listed preview)"

# add, then get byte for byte: a NUL is kept as in a captured text, and so is a space.
printf 'x\0y' >"$work/nul.txt"
printf 'x y' >"$work/space.txt"
# A long text whose emoji (a surrogate pair inside the program) straddles the program's writing stretches.
python3 -c 'import sys; sys.stdout.write("a" * 262143 + "\U0001F34E" + "é中" * 1000)' >"$work/long.txt"
for sample in long nul space; do
    id=$(pellamor add <"$work/$sample.txt") || fail "add of the $sample sample exited with $?"
    ids=$(listed id)
    [[ ${ids%%$'\n'*} == "$id" ]] || fail "add printed $id, but the newest entry is ${ids%%$'\n'*}"
    pellamor get "$id" >"$work/$sample.out" || fail "get of the $sample sample exited with $?"
    cmp "$work/$sample.txt" "$work/$sample.out" || fail "get does not return what add was given ($sample)"
done
# An ID may come as a line of list's output on standard input.
lines=$(pellamor list)
pellamor get <<<"$lines" >"$work/stdin.out" || fail "get with a list line on standard input failed"
cmp "$work/space.txt" "$work/stdin.out" || fail "get with a list line on standard input returned other bytes"
# An ID on standard input that names no entry: the error names it, whoever read it.
printf 'no-such-id\tpreview\n' | pellamor pin 2>"$work/pin.err"
status=$?
[[ $status == 1 ]] && grep -qx 'pellamor: No entry with the id "no-such-id"' "$work/pin.err" ||
    fail "pin of an unknown ID on standard input exited with $status and said: $(cat "$work/pin.err")"

# pause: nothing is recorded; resume: the next copy is, and what came during the pause never shows up.
before=$(listed id)
pellamor pause || fail "pause exited with $?"
copy "during the pause"
wait_for 5 clipboard_is "during the pause" || fail "xclip did not take the clipboard"
[[ $(listed id) == "$before" ]] || fail "a copy during the pause changed the history"
pellamor resume || fail "resume exited with $?"
copy "after the pause"
wait_for 5 lists "after the pause" || fail "a copy after resuming was not captured"
lists "during the pause" && fail "the copy made during the pause was recorded"
[[ $(listed id | tail -n +2) == "$before" ]] || fail "the history changed around the pause: $(listed preview)"

# ignore-next: one change is passed over, the one after it is recorded. Once the program has read the
# skipped text, the next copy is a change of its own.
pellamor ignore-next || fail "ignore-next exited with $?"
copy_read 'skipped' || fail "the program did not read the skipped copy"
copy "recorded"
wait_for 5 lists "recorded" || fail "the copy after the skipped one was not recorded"
lists "skipped" && fail "ignore-next did not skip the next copy"

kept_formats_round_trip

# Not running: list reads the history file, copy says so and exits 1.
expected=$(listed id)
kill -TERM "$app_pid"
wait "$app_pid"
app_pid=
off_bus() { ! on_bus; }
wait_for 10 off_bus || fail "the name stayed on the bus after the program ended"
[[ $(listed id) == "$expected" ]] || fail "list without the program differs: $(listed preview)"
pellamor get "$(id_of b)" >"$work/b.out" && [[ $(cat "$work/b.out") == b ]] || fail "get without the program failed"
pellamor copy "$(id_of a)" 2>"$work/copy.err"
status=$?
[[ $status == 1 ]] || fail "copy without the program exited with $status, not 1"
grep -qx 'pellamor: Pellamor is not running' "$work/copy.err" || fail "copy without the program said: $(cat "$work/copy.err")"
echo "cli_test: passed"
