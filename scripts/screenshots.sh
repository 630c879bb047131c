#!/usr/bin/env bash
# Takes the README's screenshots: the program under Xvfb with a compositor and a tray, in the light
# and the dark theme. Usage: scripts/screenshots.sh [build dir] [output dir]
# Needs Xvfb, openbox, xcompmgr, trayer, xdotool, xclip and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshots}
program="$PWD/$build/src/app/pellamor"
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    cat "$work/app.log" >&2 || true; rm -rf "$work"
}
trap cleanup EXIT

display=:$((70 + RANDOM % 20))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xsetroot -solid '#7a8797' 2>/dev/null || true
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 0.5
xcompmgr >/dev/null 2>&1 &
pids+=($!)

# A desktop without a tray, before the tray comes: on a fresh start the history opens as a window.
no_tray_shot() {
    local theme=$1 name=$2
    local home="$work/home-notray-$name"
    mkdir -p "$home/.config/Pellamor" "$home/run"
    chmod 700 "$home/run"
    printf '[General]\nthemePreference=%s\n' "$theme" >"$home/.config/Pellamor/Pellamor.conf"
    HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb "$program" >>"$work/app.log" 2>&1 &
    local app=$! window=""
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name '^Pellamor$' 2>/dev/null | head -n 1 || true)
        [[ -n $window ]] && break
        sleep 0.1
    done
    sleep 0.8
    if [[ -n $window ]]; then import -window "$window" -frame "$out/window-empty-$name.png"; fi
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
}
no_tray_shot 1 light
no_tray_shot 2 dark

trayer --edge top --align right --widthtype request --height 28 --transparent false --tint 0x2b2b2b \
    --SetDockType true >/dev/null 2>&1 &
pids+=($!)
sleep 1

# A history as a user would have it: a pinned address, texts, a link and a picture.
seed_history() {
    python3 - "$1" <<'PY'
import datetime, json, os, struct, sys, uuid, zlib
folder = os.path.join(sys.argv[1], ".local/share/Pellamor")
os.makedirs(os.path.join(folder, "images"), mode=0o700, exist_ok=True)
def png(path, w, h, pixel):
    raw = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(w)) for y in range(h))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    open(path, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                           + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
image = str(uuid.uuid4()).upper() + ".png"
png(os.path.join(folder, "images", image), 480, 270,
    lambda x, y: (min(255, 120 + y // 2), max(0, 160 - y // 2), min(255, 90 + x // 4)))
now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
stamp = lambda minutes: (now - datetime.timedelta(minutes=minutes)).strftime("%Y-%m-%dT%H:%M:%SZ")
entry = lambda kind, content, minutes, pinned=False: dict(
    [("id", str(uuid.uuid4()).upper()), ("type", kind), ("content", content), ("isPinned", pinned)]
    + ([("pinTimestamp", stamp(0))] if pinned else []) + [("timestamp", stamp(minutes))])
history = [
    entry("text", "上海市浦东新区世纪大道 100 号", 60 * 30, True),
    entry("text", "会议纪要：周五下午三点，三楼会议室，带上季度报表", 2),
    entry("image", image, 5),
    entry("text", "一段较长的文字，用来展示列表中的两行截断效果：第一句话，第二句话，第三句话，第四句话。", 9),
    entry("text", "https://pellamor.example/docs/getting-started", 60 * 26),
]
open(os.path.join(folder, "history.json"), "w").write(json.dumps(history, ensure_ascii=False, separators=(",", ":")))
PY
}

run_theme() {
    local theme=$1 name=$2
    local home="$work/home-$name"
    mkdir -p "$home/.config/Pellamor" "$home/run"
    chmod 700 "$home/run"
    printf '[General]\nthemePreference=%s\n' "$theme" >"$home/.config/Pellamor/Pellamor.conf"
    start_app() {
        HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb "$program" >>"$work/app.log" 2>&1 &
        app=$!
        sleep 1.5
    }
    stop_app() {
        kill "$app" 2>/dev/null || true
        wait "$app" 2>/dev/null || true
    }
    click_tray() {
        # The tray grows as icons join it, so look the icon up each time.
        local icon
        icon=$(xwininfo -root -tree | awk '/\("pellamor" "Pellamor"\)/ {print $NF}' | tail -n 1)
        local x=${icon#+} y
        y=${x#*+}
        x=${x%%+*}
        xdotool mousemove $((x + 11)) $((y + 12)) click 1
        sleep 0.8
    }
    shoot() { import -window root -crop "$1" +repage "$out/$2-$name.png"; }

    start_app
    click_tray
    shoot 380x300+900+20 panel-empty
    stop_app

    seed_history "$home"
    start_app
    click_tray
    xdotool mousemove 1100 "${HOVER_Y:-150}"
    sleep 0.5
    shoot 380x600+900+20 panel
    xdotool mousemove 1050 "${IMAGE_Y:-310}" click --repeat 2 --delay 90 1
    sleep 0.8
    shoot 540x440+740+20 image-preview
    xdotool key Escape
    sleep 0.3
    # "清除全部", then the footer's offer to take it back.
    local size position
    read -r size position < <(xwininfo -root -tree | awk '/"Pellamor"/ && / 340x[0-9]+\+/ {print $(NF-1), $NF}' | head -n 1)
    local ph=${size#340x} px=${position#+}
    local py=${px#*+}
    ph=${ph%%+*}
    px=${px%%+*}
    xdotool mousemove $((px + 340 - 50)) $((py + ph - 21)) click 1
    sleep 0.5
    shoot 380x300+900+20 panel-undo
    stop_app
    seed_history "$home"
    start_app
    click_tray
    xdotool mousemove 1050 "${TEXT_Y:-240}" click --repeat 2 --delay 90 1
    sleep 0.8
    shoot 540x440+740+20 text-preview
    stop_app

    # The settings under the gear, scrolled to the top and to the bottom, and the privacy policy.
    start_app
    click_tray
    xdotool mousemove 1250 57 click 1
    sleep 0.8
    shoot 340x490+940+55 settings
    xdotool mousemove 1120 300 click --repeat 15 5
    sleep 0.5
    shoot 340x490+940+55 settings-bottom
    xdotool mousemove 1100 "${PRIVACY_Y:-439}" click 1
    sleep 1
    shoot 480x620+400+90 privacy
    stop_app

    # A clean-up period that would remove entries asks first.
    seed_history "$home"
    HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb "$program" --surface=settings >>"$work/app.log" 2>&1 &
    app=$!
    sleep 1.5
    xdotool mousemove 1120 300 click --repeat 15 5
    sleep 0.5
    xdotool mousemove "${AUTOCLEAR_X:-1180}" "${AUTOCLEAR_Y:-120}" click 1
    sleep 0.8
    shoot 340x490+940+55 settings-autoclear
    stop_app

    # Recording paused: the tray menu with its check mark, and the panel's 已暂停 capsule.
    printf '[General]\nthemePreference=%s\nmonitoringPaused=true\n' "$theme" >"$home/.config/Pellamor/Pellamor.conf"
    start_app
    click_tray
    shoot 380x200+900+0 panel-paused
    xdotool key Escape
    sleep 0.3
    local icon
    icon=$(xwininfo -root -tree | awk '/\("pellamor" "Pellamor"\)/ {print $NF}' | tail -n 1)
    local ix=${icon#+} iy
    iy=${ix#*+}
    ix=${ix%%+*}
    xdotool mousemove $((ix + 11)) $((iy + 12)) click 3
    sleep 0.8
    xdotool mousemove 1200 47
    sleep 0.4
    shoot 320x130+960+0 tray-menu
    xdotool key Escape
    stop_app
    printf '[General]\nthemePreference=%s\n' "$theme" >"$home/.config/Pellamor/Pellamor.conf"

    # The desktop widget, full and, with a fresh history, empty.
    printf '[General]\nthemePreference=%s\nshowDesktopWidget=true\n' "$theme" >"$home/.config/Pellamor/Pellamor.conf"
    start_app
    xdotool mousemove 315 180
    sleep 0.5
    shoot 380x380+80+80 widget
    stop_app
    rm -rf "$home/.local/share/Pellamor"
    start_app
    shoot 380x380+80+80 widget-empty
    stop_app
}

run_theme 1 light
run_theme 2 dark
