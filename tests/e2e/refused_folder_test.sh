#!/usr/bin/env bash
# A data folder that is a symbolic link is refused, and nothing is lost: under a private Xvfb with a
# window manager (openbox) and no tray, with ~/.local/share/Pellamor a link to another folder, the program
# says so in one line, keeps recording in a history held in memory (the second listed entry can be copied
# back from the window), and writes nothing into the link's target, not even when it quits.
#
#   refused_folder_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, openbox, xprop, xdotool, xwininfo or xclip is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup refused_folder_test xvfb "Xvfb openbox xprop xdotool xwininfo xclip" "$@"

start_wm

elsewhere=$work/elsewhere
mkdir -p "$elsewhere" "$(dirname "$data_dir")"
ln -s "$elsewhere" "$data_dir"
mkdir -p "$XDG_CONFIG_HOME/Pellamor"
printf '[General]\nshortcutKey=⌃ + ⌥ + V\n' >"$XDG_CONFIG_HOME/Pellamor/Pellamor.conf"

start_program || fail "$start_error"
refusal="Pellamor: Refusing to use $data_dir: it is a symbolic link"
refused() { grep -qxF "$refusal" "$app_log"; }
wait_for 5 refused || fail "no line '$refusal'"
[[ $(grep -c 'Refusing to use' "$app_log") -eq 1 ]] || fail "the refusal was printed more than once"

wait_for 10 panel_shown || fail "no history window appeared without a tray"

for text in "kept in memory" "the newest copy"; do
    copy_read "$text" || fail "the program did not read '$text'"
done
# Opening selects the first row: hide and bring back the window, then copy the second row.
xdotool key ctrl+alt+v
wait_for 5 panel_hidden || fail "Control+Alt+V did not hide the window"
xdotool key ctrl+alt+v
wait_for 5 panel_shown || fail "Control+Alt+V did not bring the window back"
id=$(panel_id)
has_focus() { [[ $(xdotool getwindowfocus 2>/dev/null) == $((id)) ]]; }
wait_for 3 has_focus || fail "the window has no focus for the keys"
xdotool key Down Return
wait_for 5 clipboard_is "kept in memory" ||
    fail "Down, Return put '$(xclip -o -selection clipboard 2>/dev/null)' on the clipboard, not the earlier copy"

kill -TERM "$app_pid"
wait "$app_pid"
status=$?
app_pid=
[[ $status -eq 0 ]] || fail "exit status $status after SIGTERM"
[[ -L $data_dir && $(readlink "$data_dir") == "$elsewhere" ]] || fail "the link in the data folder's place was changed"
written=$(find "$elsewhere" -mindepth 1 -printf '%P ')
[[ -z $written ]] || fail "the program wrote into the link's target: $written"
echo "refused_folder_test: passed"
