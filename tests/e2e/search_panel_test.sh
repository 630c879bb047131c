#!/usr/bin/env bash
# Searching from the panel, as a person does: under a private Xvfb with a tray host, open the panel
# from the tray icon, type a query, click the only result; the clipboard then holds that entry.
#
#   search_panel_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, trayer, xdotool, xclip or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup search_panel_test xvfb "Xvfb trayer xdotool xclip xwininfo python3" "$@"

trayer --edge top --align right --widthtype request --height 28 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
start_program || fail "$start_error"

icon_geometry() { xwininfo -root -tree | awk '/\("pellamor" "Pellamor"\)/ && $0 ~ /[0-9]+x[0-9]+\+/ {print $(NF-1), $NF}' | head -n 1; }
has_icon() { [[ -n $(icon_geometry) ]]; }
wait_for 10 has_icon || fail "the tray icon never appeared"

copy() { printf '%s' "$1" | xclip -selection clipboard; }
has_entries() { python3 -c 'import json,sys; sys.exit(0 if len(json.load(open(sys.argv[1]))) >= int(sys.argv[2]) else 1)' "$history" "$1" 2>/dev/null; }
count=0
for text in "weekly report draft" "明天的会议纪要" "lunch order" "the newest entry"; do
    copy "$text"
    count=$((count + 1))
    wait_for 5 has_entries $count || fail "'$text' was not captured"
done
copy "something else"
wait_for 5 has_entries 5 || fail "the last copy was not captured"

read -r icon_size icon_position < <(icon_geometry)
icon_x=${icon_position#+}
icon_y=${icon_x#*+}
icon_x=${icon_x%%+*}
icon_w=${icon_size%%x*}
icon_h=${icon_size#*x}
icon_h=${icon_h%%+*}
xdotool mousemove $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click 1

panel_geometry() {
    local id
    for id in $(xwininfo -root -tree | awk '/"Pellamor"/ && / 340x[0-9]+\+/ {print $1}'); do
        if xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
            xwininfo -root -tree | awk -v id="$id" '$1 == id {print $(NF-1)}'
            return
        fi
    done
}
panel_shown() { [[ -n $(panel_geometry) ]]; }
wait_for 5 panel_shown || fail "clicking the tray icon showed no panel"
panel=$(panel_geometry)
panel_x=${panel#*+}
panel_y=${panel_x#*+}
panel_x=${panel_x%%+*}
sleep 0.3

# The field has focus: typing goes straight into it. "hy" finds 会议 by its pinyin initials.
xdotool type --delay 60 "hy"
sleep 0.5
# The only result: header, search field, separator, section title, then the row.
row_y=$((panel_y + 53 + 36 + 1 + 36 + 20))
xdotool mousemove $((panel_x + 100)) "$row_y" click 1
clipboard_is() { [[ $(xclip -selection clipboard -o 2>/dev/null) == "$1" ]]; }
wait_for 5 clipboard_is "明天的会议纪要" ||
    fail "clicking the result left the clipboard as '$(xclip -selection clipboard -o 2>/dev/null)'"
echo "search_panel_test: passed"
