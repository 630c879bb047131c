#!/usr/bin/env bash
# The tray menu, as a person uses it: under a private Xvfb with a tray host (trayer), a right click on
# Pellamor's icon shows its menu; choosing "暂停记录" stops captures (xclip as the other application,
# history.json as the witness) and marks the icon, choosing it again resumes; what was copied during
# the pause never shows up.
#
#   tray_menu_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, trayer, xdotool, xclip, xprop, xwininfo or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup tray_menu_test xvfb "Xvfb trayer xdotool xclip xprop xwininfo python3" "$@"
settings=$XDG_CONFIG_HOME/Pellamor/Pellamor.conf

start_tray
start_program || fail "$start_error"

wait_for 10 has_icon || fail "the tray icon never appeared"
wait_for 5 settled icon_geometry || fail "the tray icon kept moving"
find_icon
icon_shot() { import -window root -crop "${icon_w}x${icon_h}+$icon_x+$icon_y" +repage rgb:- 2>/dev/null | md5sum; }

paused_setting() { sed -n 's/^monitoringPaused=//p' "$settings" 2>/dev/null; }

# The menu: a mapped override-redirect window of ours, neither the icon's nor a tooltip.
icon_id=$(printf '%d' "$(xwininfo -root -tree | awk '/\("pellamor" "Pellamor"\)/ && / [0-9]+x[0-9]+\+/ {print $1}' | head -n 1)")
menu_window() {
    local id
    for id in $(xdotool search --onlyvisible --classname pellamor 2>/dev/null); do
        [[ $id == "$icon_id" ]] && continue
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes' &&
            ! xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP; then
            echo "$id"
            return
        fi
    done
}
menu_shown() { [[ -n $(menu_window) ]]; }
menu_geometry() {
    local menu
    menu=$(menu_window)
    [[ -n $menu ]] && xwininfo -id "$menu" 2>/dev/null |
        awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}
menu_hidden() { ! menu_shown; }

# Right click on the icon, then a click on the menu's second entry, "暂停记录". The menu holds five
# entries of one height and a thin separator above the last: the second entry's middle lies at about
# 30 % of the menu's height.
choose_pause() {
    click_icon 3
    wait_for 5 menu_shown || fail "a right click on the tray icon showed no menu"
    wait_for 5 settled menu_geometry || fail "the menu kept moving"
    local x y w h
    read -r x y w h < <(menu_geometry)
    xdotool mousemove $((x + w / 2)) $((y + h * 30 / 100)) click 1
    wait_for 5 menu_hidden || fail "the menu stayed open after choosing an entry"
}

copy "before the pause"
wait_for 5 has_entry "before the pause" || fail "a copy before the pause was not captured"
command -v import >/dev/null 2>&1 && icon_before=$(icon_shot)

choose_pause
wait_for 5 test "$(paused_setting)" = true || fail "choosing 暂停记录 did not pause (monitoringPaused=$(paused_setting))"
icon_changed() { [[ $(icon_shot) != "$icon_before" ]]; }
if [[ -n ${icon_before:-} ]]; then
    wait_for 5 icon_changed || fail "the tray icon looks the same while paused"
fi
copy "during the pause"

choose_pause
wait_for 5 test "$(paused_setting)" = false || fail "choosing 暂停记录 again did not resume (monitoringPaused=$(paused_setting))"
if [[ -n ${icon_before:-} ]]; then
    wait_for 5 not icon_changed || fail "the tray icon still looks paused"
fi
# The clipboard still holds what was copied during the pause: resuming does not catch up on it, and the
# next copy is recorded. Both show once that copy is in the history.
copy "after the pause"
wait_for 5 has_entry "after the pause" || fail "a copy after resuming was not captured"
has_entry "during the pause" && fail "the copy made during the pause was recorded"
echo "tray_menu_test: passed"
