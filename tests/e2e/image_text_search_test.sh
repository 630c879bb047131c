#!/usr/bin/env bash
# Finding a screenshot by a word in it, as a person does: under a private Xvfb with a tray host and
# text recognition switched on in the settings file, copy a generated picture of an English sentence,
# another picture and a text, wait until both pictures are read, open the panel from the tray icon and
# type a word of the first sentence. The first and the last result are both that picture: exactly it
# is listed.
#
#   image_text_search_test.sh PATH/TO/pellamor
#
# Exits 77 when Xvfb, trayer, xdotool, xclip, xwininfo, ImageMagick or Tesseract's English and
# Simplified Chinese data are missing.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [[ $# -ne 1 || ! -x $1 ]]; then
    echo "usage: $0 PATH/TO/pellamor" >&2
    exit 2
fi
program=$(realpath "$1")
for tool in Xvfb trayer xdotool xclip xwininfo convert identify python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "image_text_search_test: $tool is not installed; skipping" >&2
        exit 77
    fi
done
tessdata=
for dir in ${TESSDATA_PREFIX:+"$TESSDATA_PREFIX" "$TESSDATA_PREFIX/tessdata"} /usr/share/tesseract-ocr/5/tessdata \
    /usr/share/tesseract-ocr/4.00/tessdata /usr/share/tessdata; do
    if [[ -f $dir/eng.traineddata && -f $dir/chi_sim.traineddata ]]; then
        tessdata=$dir
        break
    fi
done
if [[ -z $tessdata ]]; then
    echo "image_text_search_test: Tesseract's eng and chi_sim data are not installed; skipping" >&2
    exit 77
fi
if [[ -z ${DISPLAY:-} || ${PELLAMOR_XVFB_DISPLAY:-} != "${DISPLAY:-}" ]]; then
    exec bash "$here/run-under-xvfb.sh" bash "${BASH_SOURCE[0]}" "$program"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-imagetext.XXXXXX") || exit 1
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home
unset XDG_DATA_HOME
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Pellamor"
mkdir -m 700 "$XDG_RUNTIME_DIR"
history=$HOME/.local/share/Pellamor/history.json
recognised=$HOME/.local/share/Pellamor/ocr.json
# Recognition on before the start; the panel stays open after Return, so several results can be copied.
printf '[General]\nrecognizeImageText=true\npopoverStayOpen=true\n' >"$XDG_CONFIG_HOME/Pellamor/Pellamor.conf"

fail() {
    echo "image_text_search_test: FAIL: $*" >&2
    [[ -f $work/app.log ]] && sed 's/^/  pellamor: /' "$work/app.log" >&2
    [[ -f $recognised ]] && sed 's/^/  ocr.json: /' "$recognised" >&2
    exit 1
}

wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS >= deadline)) && return 1
        sleep 0.2
    done
}

# Screenshots of a sentence each, black on white at a screen's usual size; the sizes tell them apart.
picture() {
    convert -size "$1" xc:white -font DejaVu-Sans -pointsize 32 -fill black -annotate +24+72 "$2" "$3" ||
        fail "ImageMagick could not draw $3"
}
picture 900x120 "The quarterly invoice was approved" "$work/target.png"
picture 760x120 "Meeting moved to Friday morning" "$work/other.png"

trayer --edge top --align right --widthtype request --height 28 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
QT_QPA_PLATFORM=xcb "$program" >"$work/app.log" 2>&1 &
pids+=($!)

icon_geometry() { xwininfo -root -tree | awk '/\("pellamor" "Pellamor"\)/ && $0 ~ /[0-9]+x[0-9]+\+/ {print $(NF-1), $NF}' | head -n 1; }
has_icon() { [[ -n $(icon_geometry) ]]; }
wait_for 20 has_icon || fail "the tray icon never appeared"

has_entries() { python3 -c 'import json,sys; sys.exit(0 if len(json.load(open(sys.argv[1]))) >= int(sys.argv[2]) else 1)' "$history" "$1" 2>/dev/null; }
xclip -selection clipboard -t image/png -i "$work/target.png"
wait_for 20 has_entries 1 || fail "the first picture was not captured"
xclip -selection clipboard -t image/png -i "$work/other.png"
wait_for 20 has_entries 2 || fail "the second picture was not captured"
printf '%s' "lunch order" | xclip -selection clipboard
wait_for 20 has_entries 3 || fail "the text was not captured"

# Read at the lowest priority, after the history has been quiet for a moment: slow on a busy machine.
read_both() { grep -q invoice "$recognised" 2>/dev/null && grep -q Friday "$recognised" 2>/dev/null; }
wait_for 150 read_both || fail "the pictures were not read"

read -r icon_size icon_position < <(icon_geometry)
icon_x=${icon_position#+}
icon_y=${icon_x#*+}
icon_x=${icon_x%%+*}
icon_w=${icon_size%%x*}
icon_h=${icon_size#*x}
icon_h=${icon_h%%+*}
xdotool mousemove $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click 1

panel_shown() {
    local id
    for id in $(xwininfo -root -tree | awk '/"Pellamor"/ && / 340x[0-9]+\+/ {print $1}'); do
        xwininfo -id "$id" | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}
wait_for 20 panel_shown || fail "clicking the tray icon showed no panel"

# The clipboard holds a picture of this size (the program writes the entry back as an image).
clipboard_picture() {
    local size
    xclip -selection clipboard -o -t TARGETS 2>/dev/null | grep -qx 'image/png' || return 1
    size=$(xclip -selection clipboard -o -t image/png 2>/dev/null | identify -format '%wx%h' - 2>/dev/null)
    [[ $size == "$1" ]]
}

# The field has focus: typing goes straight into it; the search follows each keystroke.
xdotool type --delay 80 "invoice"
# Home selects the first result, End the last; Return copies the selected one. Both must be the
# picture of the invoice. Between them the clipboard gets another text, so the second copy is seen.
# Results may still be settling right after the last keystroke: each step is tried until it holds.
copy_selected() {
    xdotool key "$1" Return
    wait_for 3 clipboard_picture 900x120
}
wait_for 30 copy_selected Home ||
    fail "the first result is not the picture with the word (clipboard: $(xclip -selection clipboard -o -t TARGETS 2>/dev/null | tr '\n' ' '))"
printf '%s' "placeholder" | xclip -selection clipboard
wait_for 20 has_entries 4 || fail "the placeholder text was not captured"
wait_for 30 copy_selected End ||
    fail "the last result is not the picture with the word: more than that entry is listed"
echo "image_text_search_test: passed"
