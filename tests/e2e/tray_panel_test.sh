#!/usr/bin/env bash
# The panel from the tray, as a person uses it: under a private Xvfb with a tray host (trayer),
# clicking Pellamor's tray icon drops the panel down under the icon; clicking an entry puts its text
# back on the clipboard, and the history gains no entry for it.
#
#   tray_panel_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, trayer, xdotool, xclip or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup tray_panel_test xvfb "Xvfb trayer xdotool xclip xwininfo python3" "$@"

# The program starts before any tray exists, as at login: its icon must appear once one does.
start_program || fail "$start_error"
start_tray

wait_for 10 has_icon || fail "the tray icon never appeared"

copy "the older entry"
wait_for 5 has_entries 1 || fail "the first copy was not captured"
copy "the newest entry"
wait_for 5 has_entries 2 || fail "the second copy was not captured"

find_icon
click_icon

# The panel: a mapped 340 wide window right under the icon.
wait_for 5 panel_shown || fail "clicking the tray icon showed no panel"
find_panel
((panel_y >= icon_y + icon_h && panel_y <= icon_y + icon_h + 20)) ||
    fail "the panel ($panel) is not right under the tray icon at y=$icon_y+$icon_h"
centre=$((panel_x + 170))
icon_centre=$((icon_x + icon_w / 2))
((panel_x + 340 <= 1280)) || fail "the panel ($panel) sticks out of the screen"
((centre == icon_centre || panel_x + 340 == 1280)) || fail "the panel ($panel) is not centred under the icon"

# The second listed entry ("the older entry"): header, search field, separator, section title, one
# row, then it.
# Clicking its text copies it back once the double-click interval has passed.
row_y=$((panel_y + 53 + 36 + 1 + 36 + 62 + 16))
xdotool mousemove $((panel_x + 100)) "$row_y" click 1
wait_for 5 clipboard_is "the older entry" ||
    fail "clicking the entry left the clipboard as '$(xclip -selection clipboard -o 2>/dev/null)'"

# The own write is not a new entry: a copy made afterwards is the witness that the program has looked
# at the clipboard since, and it is the only entry added.
copy "the witness"
wait_for 5 has_entry "the witness" || fail "the copy after the copy-back was not captured"
has_exactly "the witness" "the newest entry" "the older entry" ||
    fail "copying an entry back changed the history: $(cat "$history")"

# A second click on the icon closes the panel.
click_icon
wait_for 5 panel_hidden || fail "clicking the tray icon again did not close the panel"
echo "tray_panel_test: passed"
