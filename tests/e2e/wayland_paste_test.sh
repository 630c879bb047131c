#!/usr/bin/env bash
# Pasting on a wlroots compositor through the program, as a launcher or a script asks for it: under a
# headless sway of its own with a private session bus, foot runs `cat > FILE` and has the focus; ten
# times in a row `pellamor paste ID` gives the focus back to it and types the paste, and each time the
# entry arrives. Then what is copied while a password manager's window is active (a foot with the
# app_id keepassxc, on the default list of excluded applications) is not recorded; the copy made in
# the next window is.
#
#   wayland_paste_test.sh PATH/TO/pellamor
#
# Exits 77 when sway, swaymsg, foot, wl-copy, dbus-daemon, dbus-send or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup wayland_paste_test sway "sway swaymsg foot wl-copy dbus-daemon dbus-send python3" "$@"

start_session_bus

start_program || fail "$start_error"
wait_for 10 on_bus || fail "the program did not take the name com.pellamor.app on the session bus"
kept_formats_round_trip
printf '%s' "pasted on sway " | wl-copy --foreground 2>/dev/null &
pids+=($!)
wait_for 10 has_entry "pasted on sway " || fail "the copy was not captured"
id=$("$program" list | awk -F'\t' '$2 == "pasted on sway " {print $1; exit}')

out=$work/out
foot --app-id foot sh -c "stty -icanon -echo; cat > '$out'" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -e "$out" || fail "foot did not start"
arrived() { [[ $(cat "$out") == "$expected" ]]; }

expected=
for round in $(seq 10); do
    expected+="pasted on sway "
    "$program" paste "$id" || fail "pellamor paste exited with $? in round $round"
    wait_for 5 arrived || fail "round $round: foot's file holds '$(cat "$out")'"
done

# sway's window list, through its IPC socket beside the display's.
export SWAYSOCK
SWAYSOCK=$(ls "$(dirname "$WAYLAND_DISPLAY")"/sway-ipc.*.sock 2>/dev/null | head -n 1)
focused_app() {
    swaymsg -t get_tree 2>/dev/null | python3 -c '
import json, sys
def walk(node):
    if node.get("focused"):
        print(node.get("app_id") or "")
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))'
}
is_focused() { [[ $(focused_app) == "$1" ]]; }
copy_in() { # APP_ID TEXT
    foot --app-id "$1" sh -c 'sleep 600' >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 is_focused "$1" || fail "the window $1 did not get the focus (focused: '$(focused_app)')"
    printf '%s' "$2" | wl-copy --foreground 2>/dev/null &
    pids+=($!)
}
copy_in keepassxc "copied in the password manager"
copy_in notes "copied in the next window"
wait_for 10 has_entry "copied in the next window" || fail "the copy in the next window was not captured"
has_entry "copied in the password manager" && fail "a copy made in an excluded application was recorded"
echo "wayland_paste_test: 10 of 10 pastes arrived; the excluded application's copy was not recorded"
