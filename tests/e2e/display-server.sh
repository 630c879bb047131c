# Sourced by run-under-xvfb.sh and run-under-sway.sh: starts a private display server, runs a command
# against it and takes everything down again, so that tests which own or read the clipboard never touch
# the session of whoever runs them.
#
#   run_under xvfb|sway|kwin COMMAND [ARGUMENT]...
#
# Under xvfb the command gets DISPLAY, QT_QPA_PLATFORM=xcb, PELLAMOR_XVFB_DISPLAY (the same display, so a
# script can tell that it already runs under a server of its own) and no WAYLAND_DISPLAY. Under sway, a
# headless compositor that offers the data-control interface, it gets WAYLAND_DISPLAY (the socket's
# absolute path), PELLAMOR_SWAY_DISPLAY (the same path), QT_QPA_PLATFORM=offscreen and no DISPLAY. Its
# standard input is /dev/null. Under kwin, a virtual KWin (PELLAMOR_KWIN, or kwin_wayland on the PATH)
# that grants the command's executable its restricted interfaces through a desktop file, the command gets
# WAYLAND_DISPLAY and PELLAMOR_KWIN_DISPLAY (the socket's absolute path), QT_QPA_PLATFORM=offscreen and
# DISPLAY (KWin's XWayland). Exits with the command's status, or 77 (the skip code CTest is told about) when a program the
# server needs is missing or cannot run.

server_pid=
child_pid=
server_scratch=

stop_all() {
    local pid
    for pid in "$child_pid" "$server_pid"; do
        if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        fi
    done
    [[ -n $server_scratch ]] && rm -rf "$server_scratch"
}

require() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "run-under: $tool is not installed; skipping" >&2
            exit 77
        fi
    done
}

display_answers() {
    if command -v xdpyinfo >/dev/null 2>&1; then
        xdpyinfo -display "$1" >/dev/null 2>&1
    else
        [[ -S /tmp/.X11-unix/X${1#:} ]]
    fi
}

start_xvfb() {
    require Xvfb
    server_scratch=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-xvfb.XXXXXX") || exit 1
    local log=$server_scratch/xvfb.log number display=
    # Numbers from 90 up keep clear of the displays a desktop or a developer's own Xvfb usually take.
    # Another server may grab a number between our check and our start; such an Xvfb dies at once and
    # the next number is tried. -noreset: by default Xvfb resets when its last client leaves and refuses
    # connections while it does, so a test that connects again just after would find no server.
    for number in $(seq 90 189); do
        [[ -e /tmp/.X$number-lock || -e /tmp/.X11-unix/X$number ]] && continue
        Xvfb ":$number" -nolisten tcp -noreset -screen 0 1280x1024x24 >"$log" 2>&1 &
        server_pid=$!
        for _ in $(seq 100); do
            kill -0 "$server_pid" 2>/dev/null || break
            if display_answers ":$number"; then
                display=":$number"
                break
            fi
            sleep 0.05
        done
        # Answered, and by our server rather than one that took the number first.
        if [[ -n $display ]] && kill -0 "$server_pid" 2>/dev/null; then
            break
        fi
        display=
        kill -TERM "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
        server_pid=
    done
    if [[ -z $display ]]; then
        echo "run-under-xvfb: could not start Xvfb on any display from :90 to :189" >&2
        cat "$log" >&2
        exit 1
    fi
    export DISPLAY=$display
    export PELLAMOR_XVFB_DISPLAY=$display
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}

start_sway() {
    require sway wl-copy wl-paste
    server_scratch=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-sway.XXXXXX") || exit 1
    chmod 700 "$server_scratch"
    # No bar, no background, no XWayland: nothing but the compositor and its clipboard.
    printf 'xwayland disable\n' >"$server_scratch/config"
    # sway refuses to run as root; as root it runs as nobody, in a folder of its own.
    local run_as=()
    if [[ $(id -u) -eq 0 ]]; then
        if ! command -v setpriv >/dev/null 2>&1; then
            echo "run-under-sway: running as root needs setpriv to start sway as another user; skipping" >&2
            exit 77
        fi
        chown nobody "$server_scratch"
        run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK HOME="$server_scratch" XDG_RUNTIME_DIR="$server_scratch" \
        WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        "${run_as[@]}" sway --config "$server_scratch/config" >"$server_scratch/sway.log" 2>&1 </dev/null &
    server_pid=$!
    local socket= candidate
    for _ in $(seq 200); do
        kill -0 "$server_pid" 2>/dev/null || break
        for candidate in "$server_scratch"/wayland-*; do
            if [[ -S $candidate ]]; then
                socket=$candidate
                break 2
            fi
        done
        sleep 0.05
    done
    if [[ -z $socket ]]; then
        echo "run-under-sway: sway did not start" >&2
        cat "$server_scratch/sway.log" >&2
        exit 1
    fi
    export WAYLAND_DISPLAY=$socket
    export PELLAMOR_SWAY_DISPLAY=$socket
    export QT_QPA_PLATFORM=offscreen
    unset DISPLAY
}

# $1: the executable KWin is to grant fake input and its window list to.
start_kwin() {
    local kwin=${PELLAMOR_KWIN:-kwin_wayland}
    require "$kwin" Xwayland xterm
    # The Debian binary carries a file capability that some containers refuse to run.
    if ! "$kwin" --version >/dev/null 2>&1; then
        echo "run-under-kwin: $kwin cannot run here (set PELLAMOR_KWIN to a copy without capabilities); skipping" >&2
        exit 77
    fi
    server_scratch=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-kwin.XXXXXX") || exit 1
    chmod 700 "$server_scratch"
    # KWin offers its restricted interfaces to a client whose executable a desktop file names.
    mkdir -p "$server_scratch/data/applications"
    printf '[Desktop Entry]\nType=Application\nName=Pellamor test\nExec=%s\nX-KDE-Wayland-Interfaces=%s\n' \
        "$(readlink -f "$1")" org_kde_kwin_fake_input,org_kde_plasma_window_management \
        >"$server_scratch/data/applications/com.pellamor.test.desktop"
    # KWin picks the X11 display itself and tells it to the programs it starts once XWayland is up.
    printf '#!/bin/sh\necho "$DISPLAY" >"%s/display.new" && mv "%s/display.new" "%s/display"\n' \
        "$server_scratch" "$server_scratch" "$server_scratch" >"$server_scratch/tell-display"
    chmod +x "$server_scratch/tell-display"
    env -u DISPLAY -u WAYLAND_DISPLAY -u KWIN_WAYLAND_NO_PERMISSION_CHECKS -u QT_QPA_PLATFORM \
        HOME="$server_scratch" XDG_RUNTIME_DIR="$server_scratch" XDG_DATA_HOME="$server_scratch/data" \
        XDG_CONFIG_HOME="$server_scratch/config" XDG_CACHE_HOME="$server_scratch/cache" \
        "$kwin" --virtual --xwayland --socket kwin-test --width 1024 --height 768 \
        "$server_scratch/tell-display" >"$server_scratch/kwin.log" 2>&1 </dev/null &
    server_pid=$!
    for _ in $(seq 400); do
        kill -0 "$server_pid" 2>/dev/null || break
        [[ -S $server_scratch/kwin-test && -s $server_scratch/display ]] && break
        sleep 0.05
    done
    if [[ ! -s $server_scratch/display ]]; then
        echo "run-under-kwin: kwin did not start" >&2
        cat "$server_scratch/kwin.log" >&2
        exit 1
    fi
    export WAYLAND_DISPLAY=$server_scratch/kwin-test
    export PELLAMOR_KWIN_DISPLAY=$WAYLAND_DISPLAY
    export QT_QPA_PLATFORM=offscreen
    DISPLAY=$(cat "$server_scratch/display")
    export DISPLAY
}

run_under() {
    local server=$1
    shift
    if [[ $# -eq 0 ]]; then
        echo "usage: run-under-$server.sh COMMAND [ARGUMENT]..." >&2
        exit 2
    fi
    trap stop_all EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    case $server in
    xvfb) start_xvfb ;;
    sway) start_sway ;;
    kwin) start_kwin "$1" ;;
    *)
        echo "run_under: unknown server $server" >&2
        exit 2
        ;;
    esac
    # In the background, so that a TERM from CTest's timeout reaches the trap at once and is passed on.
    "$@" </dev/null &
    child_pid=$!
    wait "$child_pid"
    local status=$?
    child_pid=
    exit "$status"
}
