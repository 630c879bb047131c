#!/usr/bin/env bash
# End-to-end test of the program on a Wayland compositor with the data-control interface, with wl-copy as
# the other application:
#
#   wayland_capture_test.sh PATH/TO/pellamor
#
# Runs under a headless sway of its own (through run-under-sway.sh beside this file), in a throw-away
# HOME. The program has no window with focus at any time, so every capture below is one a plain Wayland
# client would have missed. Exits 77 when sway, wl-clipboard or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup wayland_capture_test sway "sway wl-copy wl-paste python3" "$@"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

copy() { # TEXT-OR-FILE [TYPE]
    local type=${2:-}
    if [[ -n $type ]]; then
        wl-copy --foreground --type "$type" <"$1" 2>/dev/null &
    else
        printf '%s' "$1" | wl-copy --foreground 2>/dev/null &
    fi
    pids+=($!)
}
# Copies TEXT for one paste only, and returns once the program has read it: the wl-copy ends then.
copy_read() { # TEXT
    printf '%s' "$1" | wl-copy --foreground --paste-once 2>/dev/null &
    local copier=$!
    pids+=($copier)
    wait_for 10 not kill -0 "$copier" 2>/dev/null
}

# The entries of history.json as "type<TAB>content" lines, newest first.
entries() {
    python3 - "$history" <<'PY' 2>/dev/null
import json, sys
for entry in json.load(open(sys.argv[1], encoding="utf-8")):
    print(entry["type"] + "\t" + entry["content"].replace("\n", "\\n"))
PY
}

wait_for_entries() { # COUNT
    for _ in $(seq 100); do
        [[ $(entries | wc -l) -eq $1 ]] && return 0
        sleep 0.05
    done
    return 1
}

# What the clipboard holds at the start is read, and stays out of the history.
printf '%s' "copied before the start" | wl-copy --foreground --paste-once 2>/dev/null &
before_start=$!
pids+=($before_start)
start_program || { fail "$start_error"; exit 1; }
wait_for 10 not kill -0 "$before_start" 2>/dev/null || { fail "the program never read the clipboard at its start"; exit 1; }

copy $'text from a Wayland client, 你好\nsecond line'
wait_for_entries 1 || fail "the copied text was not captured: $(entries)"
[[ $(entries | head -n1) == $'text\ttext from a Wayland client, 你好\\nsecond line' ]] ||
    fail "wrong first entry: $(entries | head -n1)"

# The same text again from another client is a change but not a new entry.
copy_read $'text from a Wayland client, 你好\nsecond line' || fail "the program did not read the repeated copy"

python3 - "$work/picture.png" <<'PY'
import struct, sys, zlib
width, height = 3, 2
raw = b"".join(b"\x00" + b"\xff\x00\x00" * width for _ in range(height))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
copy "$work/picture.png" image/png
newest_is_image() { [[ $(entries | head -n1) == image$'\t'* ]]; }
wait_for 5 newest_is_image || fail "the copied image was not captured: $(entries)"
# The repeated text made no entry: the image is the only one since.
[[ $(entries | wc -l) -eq 2 ]] || fail "a repeated copy made a new entry: $(entries)"
image=$(entries | head -n1)
if [[ $image == image$'\t'* ]]; then
    [[ -s $HOME/.local/share/Pellamor/images/${image#image$'\t'} ]] || fail "the image file is missing"
else
    fail "the newest entry is not an image: $image"
fi

# With data-control the program has nothing to say about how it watches the clipboard.
if grep -q "cannot watch" "$app_log"; then
    fail "the program says it cannot watch the clipboard: $(cat "$app_log")"
fi

kill -TERM "$app_pid"
wait "$app_pid"
status=$?
app_pid=
[[ $status -eq 0 ]] || fail "exit status $status after SIGTERM"

# With the clipboard kept from going empty, what an exiting wl-copy offered is offered again by the
# program, and the history gets no new entry.
settings=$XDG_CONFIG_HOME/Pellamor/Pellamor.conf
mkdir -p "$(dirname "$settings")"
if grep -q '^\[General\]' "$settings" 2>/dev/null; then
    sed -i '/^\[General\]/a restoreEmptyClipboard=true' "$settings"
else
    printf '[General]\nrestoreEmptyClipboard=true\n' >>"$settings"
fi
if start_program; then
    count=$(entries | wc -l)
    printf gone | wl-copy --foreground 2>/dev/null &
    gone_pid=$!
    wait_for_entries $((count + 1)) || fail "the copy before the emptying was not captured: $(entries)"
    kill "$gone_pid"
    wait "$gone_pid" 2>/dev/null
    pasted_gone() { [[ $(wl-paste --no-newline 2>/dev/null) == gone ]]; }
    wait_for 5 pasted_gone || fail "the emptied clipboard did not get its newest entry back"
    [[ $(entries | wc -l) -eq $((count + 1)) ]] || fail "putting the newest entry back added an entry: $(entries)"
    kill -TERM "$app_pid"
    wait "$app_pid"
    app_pid=
else
    fail "$start_error"
fi

if [[ $failures -ne 0 ]]; then
    echo "--- program output" >&2
    cat "$app_log" >&2
    exit 1
fi
echo "wayland_capture_test: all checks passed"
