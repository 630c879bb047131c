#!/usr/bin/env bash
# The panel without the mouse, as a person uses it: under a private Xvfb with a window manager
# (openbox) and no tray, the history comes up as a window; pressing the bound shortcut (xdotool) hides it
# and brings it back with the keyboard focus, starting `pellamor` again brings it up, and Down, Down,
# Return copies the third listed entry. A lock file and a socket left by a crash do not block the start,
# and fifty starts in a burst leave the running program responsive.
#
#   shortcut_relaunch_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, openbox, xprop, xdotool, xwininfo, xclip or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup shortcut_relaunch_test xvfb "Xvfb openbox xprop xdotool xwininfo xclip python3" "$@"
pass() { echo "shortcut_relaunch_test: ok: $*"; }

start_wm

# What a crash leaves: a lock file holding garbage and a socket nobody listens on.
printf '\x01garbage' >"$lock_file"
python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' "$socket_file" ||
    fail "could not leave a dead socket"

# Each start with an empty log: what a start says is checked by itself.
start_listening() {
    : >"$app_log"
    start_program || fail "$start_error"
    wait_for 10 listens || fail "nothing listens at $socket_file"
}
listens() { [[ -S $socket_file ]] && python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1])' "$socket_file" 2>/dev/null; }

# Openbox keeps Alt+Space for its window menu: the default shortcut is taken, and the program says so.
start_listening
[[ $(stat -c %a "$lock_file") == 600 ]] || fail "the lock file is $(stat -c %a "$lock_file"), not 600"
pass "a garbage lock file and a dead socket do not block the start; the lock file is 0600"
taken_line() { grep -qx "Failed to bind shortcut: ⌥ + Space is taken by another program" "$app_log"; }
wait_for 10 taken_line || fail "no line says that Alt+Space is taken"
pass "Alt+Space, taken by the window manager, is reported"
kill "$app_pid"
wait "$app_pid"

# A combination nobody holds.
mkdir -p "$XDG_CONFIG_HOME/Pellamor"
printf '[General]\nshortcutKey=⌃ + ⌥ + V\n' >"$XDG_CONFIG_HOME/Pellamor/Pellamor.conf"
xdotool mousemove 600 300
start_listening

# No tray here: after its wait for one, the program shows the history as a window, once.
wait_for 10 panel_shown || fail "no history window appeared without a tray"
grep -q "^No system tray found" "$app_log" || fail "no line says that there is no tray"
id=$(panel_id)
xdotool windowactivate --sync "$id" 2>/dev/null
has_focus() { [[ $(xdotool getwindowfocus 2>/dev/null) == $((id)) ]]; }
wait_for 3 has_focus || fail "the window ($((id))) cannot take the focus ($(xdotool getwindowfocus 2>/dev/null))"

xdotool key ctrl+alt+v
wait_for 5 panel_hidden || fail "Control+Alt+V did not hide the window"
xdotool key ctrl+alt+v
wait_for 5 panel_shown || fail "Control+Alt+V again did not bring the window back"
id=$(panel_id)
wait_for 3 has_focus || fail "the window ($((id))) does not have the keyboard focus ($(xdotool getwindowfocus 2>/dev/null))"
grep -q "Failed to bind shortcut" "$app_log" && fail "Control+Alt+V was reported as not bound"
pass "Control+Alt+V hides the window and brings it back with the keyboard focus"

second_start() {
    local output status
    output=$(timeout 10 "$program" 2>/dev/null)
    status=$?
    [[ $status -eq 0 && $output == "Duplicate instance detected. Quitting." ]] ||
        fail "a second start exited $status with '$output'"
}
# A second start quits once the running program has acted on its request.
second_start
panel_shown || fail "starting pellamor again hid the window"
xdotool key ctrl+alt+v
wait_for 5 panel_hidden || fail "Control+Alt+V did not hide the window"
second_start
wait_for 5 panel_shown || fail "starting pellamor again did not bring the window back"
pass "starting pellamor again brings the window up, and the second start quits with the line"

# The list from the keyboard: the first row is selected, Down moves, Return copies.
for text in first second third fourth; do
    copy "$text"
    wait_for 5 has_entry "$text" || fail "'$text' was not captured"
done
id=$(panel_id)
xdotool windowactivate --sync "$id" 2>/dev/null
wait_for 3 has_focus || fail "the window does not take the focus back"
# Opening selects the first row: hide and bring back the window.
xdotool key ctrl+alt+v
wait_for 5 panel_hidden || fail "Control+Alt+V did not hide the window"
xdotool key ctrl+alt+v
wait_for 5 panel_shown || fail "Control+Alt+V did not bring the window back"
id=$(panel_id)
wait_for 3 has_focus || fail "the window has no focus for the keys"
xdotool key Down Down Return
wait_for 5 clipboard_is second || fail "Down, Down, Return put '$(xclip -o -selection clipboard 2>/dev/null)' on the clipboard, not the third listed entry"
pass "Down, Down, Return copies the third listed entry"

burst=()
for _ in $(seq 50); do
    timeout 20 "$program" >>"$work/burst.out" 2>/dev/null &
    burst+=($!)
done
failed=0
for pid in "${burst[@]}"; do wait "$pid" || failed=$((failed + 1)); done
((failed == 0)) || fail "$failed of fifty rapid starts did not exit 0"
[[ $(grep -c '^Duplicate instance detected. Quitting.$' "$work/burst.out") -eq 50 ]] ||
    fail "the fifty rapid starts printed: $(sort "$work/burst.out" | uniq -c)"
kill -0 "$app_pid" 2>/dev/null || fail "the running program died under fifty rapid starts"
panel_shown && xdotool key ctrl+alt+v
wait_for 5 panel_hidden || fail "after the burst the shortcut no longer hides the window"
second_start
wait_for 5 panel_shown || fail "after the burst a start no longer brings the window up"
pass "fifty rapid starts all quit with the line; the running program still answers"
echo "shortcut_relaunch_test: passed"
