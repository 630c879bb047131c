#!/usr/bin/env bash
# Runs a command against a private headless sway, a compositor that offers the data-control interface,
# so that tests which own or read the Wayland clipboard never touch the session of whoever runs them:
#
#   run-under-sway.sh COMMAND [ARGUMENT]...
#
# The command gets WAYLAND_DISPLAY (the socket's absolute path), QT_QPA_PLATFORM=offscreen, no DISPLAY,
# and PELLAMOR_SWAY_DISPLAY (the same path); its standard input is /dev/null. Exits with the command's
# status, or 77 (the skip code CTest is told about) when sway, wl-copy or wl-paste is missing.
set -u

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARGUMENT]..." >&2
    exit 2
fi
for tool in sway wl-copy wl-paste; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run-under-sway: $tool is not installed; skipping" >&2
        exit 77
    fi
done

sway_pid=
child_pid=
runtime=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-sway.XXXXXX") || exit 1
chmod 700 "$runtime"

stop_all() {
    if [[ -n $child_pid ]] && kill -0 "$child_pid" 2>/dev/null; then
        kill -TERM "$child_pid" 2>/dev/null
        wait "$child_pid" 2>/dev/null
    fi
    if [[ -n $sway_pid ]] && kill -0 "$sway_pid" 2>/dev/null; then
        kill -TERM "$sway_pid" 2>/dev/null
        wait "$sway_pid" 2>/dev/null
    fi
    rm -rf "$runtime"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# No bar, no background, no XWayland: nothing but the compositor and its clipboard.
printf 'xwayland disable\n' >"$runtime/config"

# sway refuses to run as root; as root it runs as nobody, in a folder of its own.
run_as=()
if [[ $(id -u) -eq 0 ]]; then
    if ! command -v setpriv >/dev/null 2>&1; then
        echo "run-under-sway: running as root needs setpriv to start sway as another user; skipping" >&2
        exit 77
    fi
    chown nobody "$runtime"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK HOME="$runtime" XDG_RUNTIME_DIR="$runtime" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${run_as[@]}" sway --config "$runtime/config" >"$runtime/sway.log" 2>&1 </dev/null &
sway_pid=$!

socket=
for _ in $(seq 200); do
    kill -0 "$sway_pid" 2>/dev/null || break
    for candidate in "$runtime"/wayland-*; do
        if [[ -S $candidate ]]; then
            socket=$candidate
            break 2
        fi
    done
    sleep 0.05
done
if [[ -z $socket ]]; then
    echo "run-under-sway: sway did not start" >&2
    cat "$runtime/sway.log" >&2
    exit 1
fi

export WAYLAND_DISPLAY=$socket
export PELLAMOR_SWAY_DISPLAY=$socket
export QT_QPA_PLATFORM=offscreen
unset DISPLAY
"$@" </dev/null &
child_pid=$!
wait "$child_pid"
status=$?
child_pid=
exit "$status"
