# The common start of the end-to-end scripts, sourced by each of them:
#
#   source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
#   e2e_setup NAME SERVER "TOOL..." "$@"
#
# SERVER is xvfb or sway. e2e_setup takes the script's one argument, the program; exits 77 when a tool is
# missing; runs the calling script again under a display server of its own (run-under-SERVER.sh beside
# this file) unless it already runs under one; and gives it a throw-away HOME, configuration, cache and
# runtime folder, a session bus address that leads nowhere, and a clean-up on exit that ends the program
# and every process in pids and removes $work.
#
# Sets program, work, pids, app_pid, app_log, data_dir, history, lock_file and socket_file. Defines fail
# (prints the program's output and exits 1; a script may define its own after e2e_setup), wait_for,
# start_program, start_wm, the tray helpers (start_tray, has_icon, find_icon, click_icon), the panel helpers
# (panel_id, panel_shown, panel_hidden, find_panel) and the clipboard and history helpers (copy,
# clipboard_is, has_entries, has_entry), and kept_formats_round_trip.

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

e2e_setup() { # NAME SERVER "TOOL..." PROGRAM
    e2e_name=$1
    e2e_server=$2
    local tools=$3 tool
    shift 3
    if [[ $# -ne 1 || ! -x $1 ]]; then
        echo "usage: $0 PATH/TO/pellamor" >&2
        exit 2
    fi
    program=$(realpath "$1")
    for tool in $tools; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$e2e_name: $tool is not installed; skipping" >&2
            exit 77
        fi
    done

    # Never against the desktop's own display: its clipboard and its running copy of the program are not ours.
    if [[ $e2e_server == sway ]]; then
        if [[ -z ${WAYLAND_DISPLAY:-} || ${PELLAMOR_SWAY_DISPLAY:-} != "${WAYLAND_DISPLAY:-}" ]]; then
            exec bash "$e2e_dir/run-under-sway.sh" bash "${BASH_SOURCE[-1]}" "$program"
        fi
    elif [[ -z ${DISPLAY:-} || ${PELLAMOR_XVFB_DISPLAY:-} != "${DISPLAY:-}" ]]; then
        exec bash "$e2e_dir/run-under-xvfb.sh" bash "${BASH_SOURCE[-1]}" "$program"
    fi

    work=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-$e2e_name.XXXXXX") || exit 1
    pids=()
    app_pid=
    trap e2e_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    # A common umask, so that private modes must come from the program and not from us.
    umask 022
    export HOME=$work/home
    unset XDG_DATA_HOME
    export XDG_CONFIG_HOME=$work/config
    export XDG_CACHE_HOME=$work/cache
    export XDG_RUNTIME_DIR=$work/runtime
    # A bus address that leads nowhere: the program must not reach the session bus of whoever runs the test.
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
    mkdir -p "$HOME" "$XDG_CONFIG_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"

    data_dir=$HOME/.local/share/Pellamor
    history=$data_dir/history.json
    lock_file=$XDG_RUNTIME_DIR/com.pellamor.app.lock
    socket_file=$XDG_RUNTIME_DIR/com.pellamor.app.socket
    app_log=$work/app.log
}

e2e_cleanup() {
    local pid
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill -KILL "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}

fail() {
    echo "$e2e_name: FAIL: $*" >&2
    [[ -f $app_log ]] && sed 's/^/  pellamor: /' "$app_log" >&2
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS >= deadline)) && return 1
        sleep 0.1
    done
}

# A private session bus for the program and the command line, ended with the script; on_bus tells
# whether the program has taken its name there.
start_session_bus() {
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" >"$work/bus.log" 2>&1 &
    pids+=($!)
    wait_for 10 test -S "$work/bus" || fail "the private session bus did not start"
}
on_bus() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:com.pellamor.app 2>/dev/null | grep -q 'boolean true'
}

# The command after it fails (for wait_for).
not() { ! "$@"; }

# Starts the program in the background, its output added to $app_log, and waits until it holds the
# single-instance lock (the lock file names its holder's process id). False, with the reason in
# $start_error, when it ended or took no lock within 10 s.
start_program() {
    if [[ $e2e_server == xvfb ]]; then
        QT_QPA_PLATFORM=xcb "$program" >>"$app_log" 2>&1 &
    else
        "$program" >>"$app_log" 2>&1 &
    fi
    app_pid=$!
    local _
    for _ in $(seq 200); do
        [[ $(head -n 1 "$lock_file" 2>/dev/null) == "$app_pid" ]] && return 0
        if ! kill -0 "$app_pid" 2>/dev/null; then
            start_error="the program exited right after its start"
            return 1
        fi
        sleep 0.05
    done
    start_error="the program took no lock at $lock_file within 10 s"
    return 1
}

# The panel or the history window, whichever is up: the id of a mapped window of ours 340 wide, or nothing.
panel_id() {
    local id
    for id in $(xwininfo -root -tree | awk '/"Pellamor"/ && / 340x[0-9]+\+/ {print $1}'); do
        if xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
            echo "$id"
            return
        fi
    done
}
panel_shown() { [[ -n $(panel_id) ]]; }
# The panel has the keyboard.
panel_focused() { [[ -n $(panel_id) && $(xdotool getwindowfocus 2>/dev/null) == "$(($(panel_id)))" ]]; }
# The pixels of the panel's list, below the header and the search field (and its blinking caret).
panel_list_shot() { import -window "$(panel_id)" -crop 340x2000+0+90 +repage rgb:- 2>/dev/null | md5sum; }
panel_hidden() { ! panel_shown; }

# The panel's size and place, as WIDTHxHEIGHT+X+Y, or nothing.
panel_geometry() {
    local id
    id=$(panel_id)
    [[ -n $id ]] && xwininfo -root -tree | awk -v id="$id" '$1 == id {print $(NF-1)}'
}

# Sets panel (its geometry), panel_x, panel_y and panel_h from the panel that is up.
find_panel() {
    panel=$(panel_geometry)
    panel_x=${panel#*+}
    panel_y=${panel_x#*+}
    panel_x=${panel_x%%+*}
    panel_h=${panel#*x}
    panel_h=${panel_h%%+*}
}

# A window manager (openbox, which needs xprop here), up when this returns; ended with the script.
start_wm() {
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
    wait_for 10 has_wm || fail "openbox did not start"
}

# A tray host along the top edge of the screen, ended with the script.
start_tray() {
    trayer --edge top --align right --widthtype request --height 28 --SetDockType true >/dev/null 2>&1 &
    pids+=($!)
}

# The tray icon: a window of class pellamor embedded in the tray (not a 340 wide window of ours), as
# "WIDTHxHEIGHT +X+Y", or nothing.
icon_geometry() { xwininfo -root -tree | awk '/\("pellamor" "Pellamor"\)/ && / [0-9]+x[0-9]+\+/ && $0 !~ /340x/ {print $(NF-1), $NF}' | head -n 1; }
has_icon() { [[ -n $(icon_geometry) ]]; }

# True once the output of the command after it is the same, and not empty, on two calls in a row: with
# wait_for, waits until a window has stopped moving (a tray placing its icons, a menu being placed).
settled_output=
settled() {
    local now
    now=$("$@")
    if [[ -n $now && $now == "$settled_output" ]]; then
        settled_output=
        return 0
    fi
    settled_output=$now
    return 1
}

# Sets icon_x, icon_y, icon_w and icon_h from the tray icon.
find_icon() {
    local icon_size icon_position
    read -r icon_size icon_position < <(icon_geometry)
    icon_x=${icon_position#+}
    icon_y=${icon_x#*+}
    icon_x=${icon_x%%+*}
    icon_w=${icon_size%%x*}
    icon_h=${icon_size#*x}
    icon_h=${icon_h%%+*}
}

# Clicks the middle of the icon find_icon found last, with mouse button $1 (1 when not given).
click_icon() { xdotool mousemove $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) click "${1:-1}"; }

copy() { printf '%s' "$1" | xclip -selection clipboard; }
# An xterm named $1 whose Ctrl+Shift+V pastes the clipboard, its input reaching `cat` into the file $2
# key by key: the window a paste goes to. Sets target (its window) and target_pid.
start_target() {
    : >"$2"
    xterm -name "$1" -xrm 'XTerm*VT100.translations: #override Ctrl Shift <Key>V: insert-selection(CLIPBOARD)' \
        -e sh -c "stty -icanon -echo; cat > '$2'" 2>/dev/null &
    pids+=($!)
    target_pid=$!
    target=$(xdotool search --sync --classname "$1" | head -n 1)
}
# Copies $1 and waits until the program has read it: the type list and the text, two transfers served by
# an xclip that reports each one. For a history kept in memory, where no file shows the capture.
copy_read() {
    local log=$work/xclip-$RANDOM.log
    printf '%s' "$1" | xclip -selection clipboard -verbose >"$log" 2>&1 &
    pids+=($!)
    wait_for 10 grep -q 'request number 2' "$log"
}
# Asked with a time limit: an owner that never answers would otherwise hold the caller for good.
clipboard_is() { [[ $(timeout 2 xclip -selection clipboard -o 2>/dev/null) == "$1" ]]; }
# The history file holds at least $1 entries.
has_entries() { python3 -c 'import json,sys; sys.exit(0 if len(json.load(open(sys.argv[1]))) >= int(sys.argv[2]) else 1)' "$history" "$1" 2>/dev/null; }
# The history file holds exactly the texts given, in any order, each once.
has_exactly() { python3 -c 'import json,sys; sys.exit(0 if sorted(e["content"] for e in json.load(open(sys.argv[1]))) == sorted(sys.argv[2:]) else 1)' "$history" "$@" 2>/dev/null; }
# The history file holds an entry of the text $1.
has_entry() { python3 -c 'import json,sys; sys.exit(0 if any(e["content"] == sys.argv[2] for e in json.load(open(sys.argv[1]))) else 1)' "$history" "$1" 2>/dev/null; }

# Formatted text and a cut file list, each offered together with its text by an owner of several types
# ($PELLAMOR_TEST_OWNER: x11_stubborn_owner or wayland_owner); after a copy of something else the entry is
# chosen again from the command line, and the clipboard must offer every kept format byte for byte, the
# cut as a copy. Needs the program running on the private session bus. Calls fail on the first difference.
kept_formats_round_trip() {
    kept_formats_case x 'text/html=<b>x</b>'
    kept_formats_case /tmp/a x-special/gnome-copied-files=cut$'\n'file:///tmp/a text/uri-list=file:///tmp/a$'\r\n'
}
kept_formats_case() { # TEXT TYPE=VALUE... offered beside the text
    local text=$1 pair type value id listed wanted=()
    shift
    local mode=records types=(xclip -selection clipboard -out -target TARGETS)
    [[ $e2e_server == sway ]] && mode=offers types=(wl-paste --list-types)
    "$PELLAMOR_TEST_OWNER" "$mode" "text/plain=$text" "$@" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 has_entry "$text" || fail "the copy of '$text' with its formats was not captured"
    if [[ $e2e_server == sway ]]; then
        printf '%s' "after $text" | wl-copy --foreground 2>/dev/null &
        pids+=($!)
    else
        copy "after $text"
    fi
    wait_for 10 has_entry "after $text" || fail "the copy after '$text' was not captured"
    id=$("$program" list | awk -F'\t' -v text="$text" '$2 == text {print $1; exit}')
    "$program" copy "$id" || fail "copy of '$text' exited with $?"
    for pair in "$@"; do wanted+=("${pair%%=*}"); done
    offers_all() {
        listed=$'\n'$(timeout 2 "${types[@]}" 2>/dev/null)$'\n'
        for type in "${wanted[@]}"; do [[ $listed == *$'\n'"$type"$'\n'* ]] || return 1; done
    }
    wait_for 10 offers_all || fail "choosing '$text' offers${listed//$'\n'/ }and not all of ${wanted[*]}"
    for pair in "$@"; do
        type=${pair%%=*}
        value=${pair#*=}
        # A cut comes back as a copy.
        [[ $type == x-special/gnome-copied-files ]] && value=copy${value#cut}
        printf '%s' "$value" >"$work/expected"
        if [[ $e2e_server == sway ]]; then
            timeout 2 wl-paste --no-newline --type "$type" >"$work/served" 2>/dev/null
        else
            timeout 2 xclip -selection clipboard -out -target "$type" >"$work/served" 2>/dev/null
        fi
        cmp -s "$work/expected" "$work/served" || fail "choosing '$text' offers $type as '$(cat "$work/served")', not '$value'"
    done
}
