#!/usr/bin/env bash
# A desktop without a system tray: under a private Xvfb with a window manager (openbox) but no tray
# host, the history must open by itself as an ordinary window after the wait for a tray, say so in one
# line, keep recording, hide when closed; once a tray appears (trayer), the icon docks and opens the
# panel.
#
#   no_tray_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, openbox, trayer, xdotool, xclip, xprop, xwininfo or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup no_tray_test xvfb "Xvfb openbox trayer xdotool xclip xprop xwininfo python3" "$@"
message='No system tray found: the history opens as a window; bind the command pellamor to a shortcut to open it.'

# A window manager draws the frames and keeps the task bar's list; no tray anywhere.
start_wm

# The first mapped window of ours whose first window type is the given one (the docked icon's window
# lists an override type before NORMAL, the panel UTILITY before it).
window_of_type() { # TYPE
    local id
    for id in $(xdotool search --onlyvisible --classname pellamor 2>/dev/null); do
        if xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -Eq "= _NET_WM_WINDOW_TYPE_$1(,|\$)"; then
            echo "$id"
            return
        fi
    done
}
history_window() { window_of_type NORMAL; }
has_history_window() { [[ -n $(history_window) ]]; }

start=$(date +%s%N)
start_program || fail "$start_error"
# It opens after the program's wait for a tray (3 s); the limit here only ends a run that went wrong, so a
# busy machine does not fail it. The time it took is printed.
wait_for 20 has_history_window || fail "no history window appeared within 20 s"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
echo "no_tray_test: the window appeared after $elapsed_ms ms"
window=$(history_window)

[[ $(xprop -id "$window" WM_NAME) == 'WM_NAME(STRING) = "Pellamor"' ||
    $(xprop -id "$window" _NET_WM_NAME) == '_NET_WM_NAME(UTF8_STRING) = "Pellamor"' ]] ||
    fail "the window is titled $(xprop -id "$window" _NET_WM_NAME)"
grep -qxF "$message" "$app_log" || fail "the one-line message is missing"
[[ $(grep -c 'No system tray' "$app_log") -eq 1 ]] || fail "the message was printed more than once"

# Decorated by the window manager, listed in the task bar, centred on the 1280 x 1024 screen.
extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //')
[[ -n $extents && $extents != "0, 0, 0, 0" && $extents == *,* ]] || fail "the window has no frame: '$extents'"
xprop -id "$window" _NET_WM_STATE | grep -q SKIP_TASKBAR && fail "the window is kept out of the task bar"
read -r x y w h < <(xwininfo -id "$window" |
    awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
[[ $w -eq 340 ]] || fail "the window is $w wide, not 340"
centre_x=$((x + w / 2))
centre_y=$((y + h / 2))
((centre_x >= 620 && centre_x <= 660 && centre_y >= 480 && centre_y <= 545)) ||
    fail "the window (${w}x$h at $x,$y) is not centred on the screen"

# Recording goes on.
printf 'copied without a tray' | xclip -selection clipboard
wait_for 5 has_entry 'copied without a tray' || fail "a copy was not captured while windowed"

# The window manager's close (Alt+F4) hides it; the program keeps running.
xdotool windowactivate --sync "$window" >/dev/null 2>&1
xdotool key --clearmodifiers alt+F4
window_gone() { ! has_history_window; }
wait_for 5 window_gone || fail "closing the window did not hide it"
# Still running: it records the next copy.
printf 'copied after closing' | xclip -selection clipboard
wait_for 5 has_entry 'copied after closing' || fail "closing the window ended the program"

# A tray turns up: the icon docks, and a click on it drops the panel down under it.
start_tray
wait_for 10 has_icon || fail "the tray icon never docked"
wait_for 5 settled icon_geometry || fail "the tray icon kept moving"
find_icon
click_icon
panel_window() { window_of_type UTILITY; }
has_panel() { [[ -n $(panel_window) ]]; }
wait_for 5 has_panel || fail "clicking the docked icon showed no panel"
has_history_window && fail "the docked icon opened the window instead of the panel"
echo "no_tray_test: passed"
