#!/usr/bin/env bash
# Runs a command against a private Xvfb server, so that tests which own or read the clipboard never
# touch the desktop of whoever runs them:
#
#   run-under-xvfb.sh COMMAND [ARGUMENT]...
#
# The command gets DISPLAY, QT_QPA_PLATFORM=xcb and PELLAMOR_XVFB_DISPLAY (the same display, so a
# script can tell that it already runs under a server of its own); its standard input is /dev/null.
# Exits with the command's status, or 77 (the skip code CTest is told about) when Xvfb is missing.
set -u

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARGUMENT]..." >&2
    exit 2
fi
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "run-under-xvfb: Xvfb is not installed; skipping" >&2
    exit 77
fi

xvfb_pid=
child_pid=
xvfb_log=$(mktemp "${TMPDIR:-/tmp}/pellamor-xvfb.XXXXXX") || exit 1

stop_all() {
    if [[ -n $child_pid ]] && kill -0 "$child_pid" 2>/dev/null; then
        kill -TERM "$child_pid" 2>/dev/null
        wait "$child_pid" 2>/dev/null
    fi
    if [[ -n $xvfb_pid ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill -TERM "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -f "$xvfb_log"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

display_answers() {
    if command -v xdpyinfo >/dev/null 2>&1; then
        xdpyinfo -display "$1" >/dev/null 2>&1
    else
        [[ -S /tmp/.X11-unix/X${1#:} ]]
    fi
}

# Numbers from 90 up keep clear of the displays a desktop or a developer's own Xvfb usually take.
# Another server may grab a number between our check and our start; such an Xvfb dies at once and
# the next number is tried.
display=
for number in $(seq 90 189); do
    [[ -e /tmp/.X$number-lock || -e /tmp/.X11-unix/X$number ]] && continue
    Xvfb ":$number" -nolisten tcp -screen 0 1280x1024x24 >"$xvfb_log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        kill -0 "$xvfb_pid" 2>/dev/null || break
        if display_answers ":$number"; then
            display=":$number"
            break
        fi
        sleep 0.05
    done
    # Answered, and by our server rather than one that took the number first.
    if [[ -n $display ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
        break
    fi
    display=
    kill -TERM "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
done
if [[ -z $display ]]; then
    echo "run-under-xvfb: could not start Xvfb on any display from :90 to :189" >&2
    cat "$xvfb_log" >&2
    exit 1
fi

export DISPLAY=$display
export PELLAMOR_XVFB_DISPLAY=$display
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# In the background, so that a TERM from CTest's timeout reaches the trap at once and is passed on.
"$@" &
child_pid=$!
wait "$child_pid"
status=$?
child_pid=
exit "$status"
