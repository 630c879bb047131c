#!/usr/bin/env bash
# The user's rules against a real X server, under openbox with xterm and xclip as the other
# applications: an excluded application's copy is not recorded (xclip run inside an active xterm), a
# copy from another window is; the one-time-code pattern skips a bare code and keeps a code in a
# sentence; a catastrophic pattern does not hold capture up; with the clipboard kept from going empty,
# what an exiting xclip copied stays on the clipboard and the history gets no new entry.
#
#   x11_rules_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, openbox, xterm, xclip, xdotool, xprop or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup x11_rules_test xvfb "Xvfb openbox xterm xclip xdotool xprop python3" "$@"

mkdir -p "$XDG_CONFIG_HOME/Pellamor"
cat >"$XDG_CONFIG_HOME/Pellamor/Pellamor.conf" <<'INI'
[General]
excludedApplications=XTerm
ignorePatterns="^\\s*\\d{6,8}\\s*$", (a+)+$
restoreEmptyClipboard=true
INI

start_wm
start_program || fail "$start_error"

# The WM_CLASS class of the active window.
active_class() { xprop -id "$(xdotool getactivewindow 2>/dev/null)" WM_CLASS 2>/dev/null | sed -n 's/.*", "\(.*\)"$/\1/p'; }
active_is() { [[ $(active_class) == "$1" ]]; }
# Copies $1 with an xclip that logs the requests it serves to $work/$2.log.
copy_logged() {
    printf '%s' "$1" | xclip -selection clipboard -verbose >"$work/$2.log" 2>&1 &
    pids+=($!)
}
# xclip has served $2 requests of the copy logged as $1: the program asked for the type list (1) and the text (2).
served() { grep -q "request number $2" "$work/$1.log"; }
entry_count() { python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$history" 2>/dev/null || echo 0; }

# Exclusion: xclip forked from a terminal owns the clipboard through a hidden window, so the terminal,
# the active window, is the application that copied.
xterm -class XTerm -e sh -c "until [ -e '$work/go' ]; do sleep 0.05; done; printf s1 | xclip -selection clipboard -verbose >'$work/s1.log' 2>&1; sleep 600" &
pids+=($!)
wait_for 10 active_is XTerm || fail "the xterm never became the active window (active: $(active_class))"
touch "$work/go"
wait_for 10 served s1 1 || fail "the program never asked the excluded copy for its types"

xterm -class OtherTerm -e sleep 600 &
pids+=($!)
wait_for 10 active_is OtherTerm || fail "the second terminal never became the active window"
copy_logged s2 s2
wait_for 5 has_entry s2 || fail "a copy from another application was not recorded"
has_entry s1 && fail "the excluded terminal's copy was recorded"
served s1 2 && fail "the program read the excluded copy's text"

# The one-time-code pattern: the code alone is read and skipped, a code in a sentence is kept.
copy_logged 123456 code
wait_for 10 served code 2 || fail "the program never read the copied code"
copy "1234567 apples"
wait_for 5 has_entry "1234567 apples" || fail "a code in a sentence was not recorded"
has_entry 123456 && fail "a one-time code was recorded"

# A pattern that backtracks without end costs its change a bounded time: the text is kept, and the next
# copy is recorded within a second.
runaway=$(printf 'a%.0s' $(seq 40))b
copy "$runaway"
wait_for 5 has_entry "$runaway" || fail "the text that made a pattern run away was not recorded"
copy "after the runaway"
wait_for 1 has_entry "after the runaway" || fail "capture was held up after a runaway pattern"

# An empty clipboard gets the newest entry back: the copying xclip ends once the program has read it.
count=$(entry_count)
copy_logged gone gone
wait_for 10 served gone 2 || fail "the program never read the copy before the emptying"
wait_for 5 has_entry gone || fail "the copy before the emptying was not recorded"
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null
count=$((count + 1))
wait_for 5 clipboard_is gone || fail "the emptied clipboard did not get its newest entry back"
[[ $(entry_count) == "$count" ]] || fail "putting the newest entry back added an entry"
echo "$e2e_name: OK"
