#!/usr/bin/env bash
# Searching from the panel, as a person does: under a private Xvfb with a tray host, open the panel
# from the tray icon, type a query, click the only result; the clipboard then holds that entry.
#
#   search_panel_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, trayer, xdotool, xclip, ImageMagick or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup search_panel_test xvfb "Xvfb trayer xdotool xclip xwininfo import python3" "$@"

start_tray
start_program || fail "$start_error"

wait_for 10 has_icon || fail "the tray icon never appeared"

count=0
for text in "weekly report draft" "明天的会议纪要" "lunch order" "the newest entry"; do
    copy "$text"
    count=$((count + 1))
    wait_for 5 has_entries $count || fail "'$text' was not captured"
done
copy "something else"
wait_for 5 has_entries 5 || fail "the last copy was not captured"

find_icon
click_icon
wait_for 5 panel_shown || fail "clicking the tray icon showed no panel"
find_panel
wait_for 5 panel_focused || fail "the panel did not take the keyboard"

# The field has focus: typing goes straight into it. "hy" finds 会议 by its pinyin initials.
unfiltered=$(panel_list_shot)
xdotool type --delay 60 "hy"
list_changed() { [[ $(panel_list_shot) != "$unfiltered" ]]; }
wait_for 5 list_changed || fail "typing did not change the list"
wait_for 5 settled panel_list_shot || fail "the panel's list kept moving"
# The only result: header, search field, separator, section title, then the row.
row_y=$((panel_y + 53 + 36 + 1 + 36 + 20))
xdotool mousemove $((panel_x + 100)) "$row_y" click 1
wait_for 5 clipboard_is "明天的会议纪要" ||
    fail "clicking the result left the clipboard as '$(xclip -selection clipboard -o 2>/dev/null)'"
echo "search_panel_test: passed"
