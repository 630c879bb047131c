#!/usr/bin/env bash
# End-to-end test of the program against a real X server, with xclip as the other application:
#
#   x11_capture_test.sh PATH/TO/pellamor
#
# Runs under an Xvfb of its own (through run-under-xvfb.sh beside this file), in a throw-away HOME,
# and checks what reaches history.json and images/: capture, images from the clipboard and from file
# lists, permissions, the single-instance rule, termination and a restart. Exits 77 when Xvfb,
# xclip or python3 is missing.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
e2e_setup x11_capture_test xvfb "Xvfb xclip python3" "$@"

# Far from UTC with an odd offset, so that a local time written as UTC shows.
export TZ=PLM-5:45
mkdir -p "$work/files"
images_dir=$data_dir/images

# ---------------------------------------------------------------------------------------------------
# Helpers in Python: PNG files written and decoded without extra modules, and questions about the
# history file. `h` is the parsed history ([] while the file does not exist), `a` the extra arguments.

cat >"$work/tool.py" <<'PYTHON'
import calendar, json, os, pathlib, re, struct, sys, time, zlib

def png_bytes(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))

def pattern_rows(width, height, seed):
    return [bytes(v for x in range(width) for v in ((seed * 37 + x * 11) % 256, (seed * 5 + y * 23) % 256,
                                                     (seed + x * y) % 256)) for y in range(height)]

def png_layout(path):
    """(width, height, colour type, palette, transparency, inflated rows) of an 8-bit non-interlaced PNG,
    as written by the program; raises ValueError when the file is broken."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, palette, trns = 8, b"", None, None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise ValueError("truncated PNG file")
        if kind == b"IHDR":
            width, height, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            trns = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    else:
        raise ValueError("PNG file without IEND")
    if depth != 8 or interlace:
        raise ValueError("unexpected PNG layout: depth %d, interlace %d" % (depth, interlace))
    raw = zlib.decompress(idat)
    if len(raw) != height * (width * {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype] + 1):
        raise ValueError("the pixel data does not fill the image")
    return width, height, ctype, palette, trns, raw

def decode_png(path):
    """(width, height, RGBA rows): slow in Python, so only for the small images whose pixels are compared."""
    width, height, ctype, palette, trns, raw = png_layout(path)
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        previous = line
    def rgba(row):
        out = bytearray()
        for x in range(width):
            px = row[x * channels:(x + 1) * channels]
            if ctype == 0:
                out += bytes((px[0], px[0], px[0], 255))
            elif ctype == 4:
                out += bytes((px[0], px[0], px[0], px[1]))
            elif ctype == 2:
                out += px + b"\xff"
            elif ctype == 6:
                out += px
            else:
                i = px[0]
                out += palette[3 * i:3 * i + 3] + bytes((trns[i] if trns and i < len(trns) else 255,))
        return bytes(out)
    return width, height, [rgba(r) for r in rows]

def load(path):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        return json.loads(f.read().decode("utf-8"))

def texts(h):
    return [e["content"] for e in h if e.get("type") == "text"]

def images(h):
    return [e["content"] for e in h if e.get("type") == "image"]

def summary(h):
    shown = ", ".join("%s %r" % (e.get("type"), e.get("content")[:40]) for e in h[:4])
    return "%d entries%s%s" % (len(h), ": " if h else "", shown) + (", ..." if len(h) > 4 else "")

UUID = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
STAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")

def problems(data_dir):
    """Everything wrong with the stored history: format, order, and the files of image entries."""
    path = os.path.join(data_dir, "history.json")
    with open(path, "rb") as f:
        raw = f.read()
    try:
        h = json.loads(raw.decode("utf-8"))
    except ValueError as error:
        return ["history.json does not parse: %s" % error]
    found = []
    if not isinstance(h, list):
        return ["history.json is not an array"]
    if raw != json.dumps(h, ensure_ascii=False, separators=(",", ":")).encode("utf-8"):
        found.append("history.json is not compact JSON in the expected member order")
    now = time.time()
    for i, e in enumerate(h):
        keys = list(e) if isinstance(e, dict) else None
        if keys not in (["id", "type", "content", "isPinned", "timestamp"],
                        ["id", "type", "content", "isPinned", "pinTimestamp", "timestamp"]):
            found.append("entry %d has the members %s" % (i, keys))
            continue
        if not UUID.match(e["id"]):
            found.append("entry %d: id %r is not an upper-case UUID" % (i, e["id"]))
        if e["type"] not in ("text", "image") or not isinstance(e["content"], str) or e["isPinned"] is not False:
            found.append("entry %d: unexpected type, content or pin state" % i)
        if not STAMP.match(e["timestamp"]):
            found.append("entry %d: timestamp %r is not of the form 2025-03-14T09:26:53Z" % (i, e["timestamp"]))
        else:
            moment = calendar.timegm(time.strptime(e["timestamp"], "%Y-%m-%dT%H:%M:%SZ"))
            if abs(moment - now) > 600:
                found.append("entry %d: timestamp %s is not the time of capture in UTC" % (i, e["timestamp"]))
        if e["type"] == "image":
            name = e["content"]
            if not (name.endswith(".png") and UUID.match(name[:-4])):
                found.append("entry %d: image name %r is not <UUID>.png" % (i, name))
            file = os.path.join(data_dir, "images", name)
            try:
                png_layout(file)
            except (OSError, ValueError, KeyError, zlib.error, struct.error) as error:
                found.append("entry %d: image file %s is missing or broken (%s)" % (i, name, error))
    stamps = [e.get("timestamp", "") for e in h if isinstance(e, dict)]
    if stamps != sorted(stamps, reverse=True):
        found.append("entries are not newest first")
    if len({e.get("id") for e in h if isinstance(e, dict)}) != len(h):
        found.append("ids are not unique")
    referenced = set(images(h))
    for name in sorted(os.listdir(os.path.join(data_dir, "images"))):
        if name not in referenced:
            found.append("images/%s belongs to no entry" % name)
    return found

def known_ids():
    path = os.environ.get("PELLAMOR_E2E_KNOWN")
    if not path or not os.path.exists(path):
        return set()
    with open(path) as f:
        return set(json.load(f))

def new_entries(h):
    """The entries added since the last `remember`, newest first."""
    known = known_ids()
    return [e for e in h if e.get("id") not in known]

command, args = sys.argv[1], sys.argv[2:]
if command == "pattern":
    out, width, height, seed = args[0], int(args[1]), int(args[2]), int(args[3])
    with open(out, "wb") as f:
        f.write(png_bytes(width, height, pattern_rows(width, height, seed)))
elif command == "noise":
    out, width, height = args[0], int(args[1]), int(args[2])
    with open(out, "wb") as f:
        f.write(png_bytes(width, height, [os.urandom(width * 3) for _ in range(height)]))
elif command == "same-image":
    # The program may store another PNG layout; the pixels must be those of the source.
    sys.exit(0 if decode_png(args[0]) == decode_png(args[1]) else 1)
elif command == "wait":
    # wait HISTORY SECONDS EXPRESSION [ARG]...: succeeds as soon as the expression holds.
    path, limit, expression, a = args[0], float(args[1]), args[2], args[3:]
    start, h, new, error = time.monotonic(), [], [], None
    while True:
        try:
            h, error = load(path), None
            new = new_entries(h)
            if eval(expression):
                sys.exit(0)
        except ValueError as e:
            error = e
        if time.monotonic() - start >= limit:
            print(("history unreadable: %s" % error) if error else "new: %s; history: %s" % (summary(new), summary(h)),
                  file=sys.stderr)
            sys.exit(1)
        time.sleep(0.02)
elif command == "problems":
    found = problems(args[0])
    for line in found:
        print(line)
    sys.exit(1 if found else 0)
elif command == "entries":
    print(json.dumps(load(args[0]), ensure_ascii=False))
elif command == "remember":
    with open(os.environ["PELLAMOR_E2E_KNOWN"], "w") as f:
        json.dump([e["id"] for e in load(args[0])], f)
elif command == "new-images":
    print("\n".join(images(new_entries(load(args[0])))))
elif command == "widths":
    print(" ".join(sorted((str(png_layout(path)[0]) for path in args), key=int)))
elif command == "many":
    # many FOLDER COUNT LIST: images 1 to COUNT pixels wide, listed in order as file URLs in LIST.
    with open(args[2], "w") as listing:
        for width in range(1, int(args[1]) + 1):
            path = os.path.join(args[0], "many-%d.png" % width)
            with open(path, "wb") as f:
                f.write(png_bytes(width, 2, pattern_rows(width, 2, width)))
            listing.write(pathlib.Path(path).as_uri() + "\r\n")
elif command == "urls":
    print("".join(pathlib.Path(path).as_uri() + "\r\n" for path in args), end="")
PYTHON

tool() {
    python3 "$work/tool.py" "$@"
}

passed=0
failed=0
pass() {
    passed=$((passed + 1))
    echo "ok: $1"
}
fail() {
    failed=$((failed + 1))
    echo "FAIL: $1"
}
# Nothing after this makes sense any more.
abort() {
    fail "$1"
    if [[ -s $app_log ]]; then
        echo "--- program output"
        tail -n 20 "$app_log"
    fi
    echo "e2e: $passed passed, $failed failed"
    exit 1
}

# `history_holds SECONDS EXPRESSION [ARG]...` waits until the expression holds; what the history looked
# like on a timeout goes to $history_state.
history_state=
history_holds() {
    local seconds=$1
    shift
    tool wait "$history" "$seconds" "$@" 2>"$work/wait.err"
    local status=$?
    history_state=$(cat "$work/wait.err")
    return $status
}
# What was added since the last `remember`.
export PELLAMOR_E2E_KNOWN=$work/known.json
remember() { tool remember "$history"; }
new_images() { tool new-images "$history"; }
history_problems() {
    tool problems "$data_dir" 2>&1
}

# Another application takes the clipboard and keeps it until the next one does. -quiet keeps xclip in
# the foreground, so the test knows its process.
offer_file() { # FILE [TARGET]
    local arguments=(-quiet -selection clipboard -in "$1")
    [[ $# -ge 2 ]] && arguments+=(-target "$2")
    xclip "${arguments[@]}" >/dev/null 2>>"$work/xclip.log" &
    pids+=($!)
}
offer_counter=0
offer_text() { # TEXT [TARGET]
    offer_counter=$((offer_counter + 1))
    local file=$work/offer-$offer_counter
    printf '%s' "$1" >"$file"
    offer_file "$file" "${@:2}"
}

# Offers TEXT from an xclip that reports each transfer it serves, and starts the program. Returns once
# the program has looked at what the clipboard held at its start.
start_over_text() { # TEXT
    local log=$work/watched-$offer_counter.log
    offer_counter=$((offer_counter + 1))
    printf '%s' "$1" | xclip -selection clipboard -verbose >"$log" 2>&1 &
    pids+=($!)
    wait_for 5 clipboard_is "$1" || abort "xclip did not take the clipboard"
    local served
    served=$(grep -c 'request number' "$log")
    start_program || abort "$start_error"
    looked() { (($(grep -c 'request number' "$log") > served)); }
    wait_for 10 looked || abort "the program never looked at the clipboard at its start"
}

# Sends a signal and waits up to SECONDS for the end; sets $exit_code (empty when still running).
exit_code=
stop_program() { # SIGNAL SECONDS
    local _
    kill "-$1" "$app_pid"
    exit_code=
    for _ in $(seq $(($2 * 20))); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            wait "$app_pid"
            exit_code=$?
            app_pid=
            return
        fi
        sleep 0.05
    done
}

newest_type() {
    tool entries "$history" | python3 -c 'import json, sys; h = json.load(sys.stdin); print(h[0]["type"] if h else "")'
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

count_files() {
    find "$1" -mindepth 1 -maxdepth 1 | wc -l
}

# ---------------------------------------------------------------------------------------------------
echo "== start: what is on the clipboard at launch stays out"

start_over_text "copied before the start"
# The first change after the start is the witness: it is the only entry.
offer_text "the first change after the start"
if history_holds 5 'texts(h) == a' "the first change after the start"; then
    pass "nothing captured at launch"
else
    fail "the clipboard at launch was captured: $history_state"
fi

# ---------------------------------------------------------------------------------------------------
echo "== text"

first="first text: ünïcödé ✓"
remember
mark=$(now_ms)
offer_text "$first"
if history_holds 5 'texts(new) == a and not images(new)' "$first"; then
    pass "a copied text is captured (within $(($(now_ms) - mark)) ms)"
else
    abort "the copied text did not arrive as the one new entry within 5 s: $history_state"
fi

# ---------------------------------------------------------------------------------------------------
echo "== image/png"

tool pattern "$work/files/one.png" 6 4 1
remember
files_before=$(count_files "$images_dir")
offer_file "$work/files/one.png" image/png
if history_holds 5 'len(images(new)) == 1 and not texts(new)'; then
    pass "an image/png copy gives one image entry"
    name=$(new_images)
    if [[ $(count_files "$images_dir") -eq $((files_before + 1)) && -f $images_dir/$name ]]; then
        pass "one new PNG file in images/, named as the entry says"
    else
        fail "images/ holds $(find "$images_dir" -mindepth 1 -printf '%f ') for the entry $name"
    fi
    if tool same-image "$images_dir/$name" "$work/files/one.png"; then
        pass "the stored PNG has the copied pixels"
    else
        fail "the stored PNG differs from the copied one"
    fi
else
    fail "no single new image entry within 5 s: $history_state"
fi

# ---------------------------------------------------------------------------------------------------
echo "== file lists (text/uri-list)"

# A space to decode and an upper-case extension.
tool pattern "$work/files/shot one.png" 3 5 2
tool pattern "$work/files/TWO.PNG" 5 3 3
tool urls "$work/files/shot one.png" "$work/files/TWO.PNG" >"$work/two.uris"
remember
files_before=$(count_files "$images_dir")
offer_file "$work/two.uris" text/uri-list
if history_holds 5 'len(images(new)) == 2 and not texts(new)'; then
    pass "a list of two local PNG files gives two image entries"
    matched=0
    while IFS= read -r name; do
        for source in "$work/files/shot one.png" "$work/files/TWO.PNG"; do
            tool same-image "$images_dir/$name" "$source" && matched=$((matched + 1))
        done
    done < <(new_images)
    if [[ $matched -eq 2 && $(count_files "$images_dir") -eq $((files_before + 2)) ]]; then
        pass "their files hold the pixels of both listed images"
    else
        fail "the stored files do not match the two listed images ($matched of 2 matched)"
    fi
else
    fail "no two new image entries within 5 s: $history_state"
fi

tool many "$work/files" 22 "$work/many.uris"
remember
offer_file "$work/many.uris" text/uri-list
# A text copied once the list is in: when it arrives, nothing more of the list can follow.
if history_holds 8 'len(new) >= 20' && offer_text "after the list" && history_holds 5 'texts(new)[:1] == a' "after the list"; then
    # The images are told apart by their widths, 1 to 22 in list order.
    mapfile -t names < <(new_images)
    widths=$(tool widths "${names[@]/#/$images_dir/}")
    if [[ $widths == "$(seq -s ' ' 1 20)" ]]; then
        pass "a list of 22 images gives the first 20"
    else
        fail "a list of 22 images gave images of the widths $widths"
    fi
else
    fail "a list of 22 images and a text did not arrive within 8 s: $history_state"
fi

# ---------------------------------------------------------------------------------------------------
echo "== storage"

found=$(history_problems)
if [[ -z $found ]]; then
    pass "history.json is well formed, in order, stamped in UTC, and every image file is there"
else
    fail "stored history: $found"
fi

modes_ok=1
while IFS= read -r -d '' folder; do
    mode=$(stat -c %a "$folder")
    [[ $mode == 700 ]] || { modes_ok=0; fail "${folder#"$HOME"/} has mode $mode, not 700"; }
done < <(find "$data_dir" -type d -print0)
while IFS= read -r -d '' file; do
    mode=$(stat -c %a "$file")
    [[ $mode == 600 ]] || { modes_ok=0; fail "${file#"$HOME"/} has mode $mode, not 600"; }
done < <(find "$data_dir" -type f -print0)
[[ $modes_ok == 1 ]] && pass "folders are 0700, files 0600"

stray=$(find "$data_dir" -mindepth 1 -maxdepth 1 ! -name history.json ! -name images ! -name formats -printf '%f ')
if [[ -z $stray ]]; then
    pass "no stray files next to history.json"
else
    fail "stray files in the data folder: $stray"
fi

# ---------------------------------------------------------------------------------------------------
echo "== second instance"

before_sum=$(sha256sum "$history")
before_stamp=$(stat -c %Y.%i "$history")
before_images=$(ls "$images_dir")
for attempt in 1 2; do
    timeout 10 "$program" >"$work/second.out" 2>"$work/second.err"
    status=$?
    if [[ $status -eq 0 ]] && cmp -s "$work/second.out" <(printf 'Duplicate instance detected. Quitting.\n'); then
        pass "second instance ($attempt) prints the line and exits 0"
    else
        fail "second instance ($attempt): exit code $status$([[ $status -eq 124 ]] && echo " (still running after 10 s)"), output '$(head -c 200 "$work/second.out" | cat -v)'"
    fi
done
if [[ $(sha256sum "$history") == "$before_sum" && $(stat -c %Y.%i "$history") == "$before_stamp" \
    && $(ls "$images_dir") == "$before_images" ]]; then
    pass "the second instances left history.json and images/ alone"
else
    fail "a second instance changed the stored history"
fi
kill -0 "$app_pid" 2>/dev/null || abort "the first instance died while a second one started"

# ---------------------------------------------------------------------------------------------------
echo "== termination"

# A large image in flight when the signal comes: whatever the program had taken in must be on disk
# whole after exit, with no entry lacking its file and no file lacking its entry.
offer_text "last text before the signal"
history_holds 5 'texts(h)[:1] == a' "last text before the signal" || fail "last text not captured: $history_state"
tool noise "$work/files/large.png" 1100 900
offer_file "$work/files/large.png" image/png
sleep 0.02
stop_program TERM 3
if [[ -z $exit_code ]]; then
    abort "the program was still running 3 s after SIGTERM"
elif [[ $exit_code -eq 0 ]]; then
    pass "SIGTERM ends the program with exit code 0 within 3 s"
else
    fail "after SIGTERM the exit code was $exit_code"
fi
found=$(history_problems)
if [[ $(newest_type) == image ]]; then
    echo "note: the large image copied just before the signal was saved"
else
    echo "note: the large image copied just before the signal was not taken in"
fi
if [[ -z $found ]]; then
    pass "after SIGTERM the stored history is whole and consistent"
else
    fail "after SIGTERM: $found"
fi
failure_lines=$(grep -c 'Failed to' "$app_log")
[[ $failure_lines -eq 0 ]] || fail "the program reported $failure_lines failures: $(grep 'Failed to' "$app_log" | head -3)"

# ---------------------------------------------------------------------------------------------------
echo "== restart"

tool entries "$history" >"$work/before-restart.json"
start_over_text "copied before the restart"
tool entries "$history" >"$work/after-restart.json"
if cmp -s "$work/before-restart.json" "$work/after-restart.json"; then
    pass "after a restart the history is the same, and the clipboard at launch stays out"
else
    fail "the history changed over the restart"
fi
offer_text "after the restart"
if history_holds 5 'h[1:] == json.load(open(a[1])) and h[0]["content"] == a[0]' "after the restart" \
    "$work/before-restart.json"; then
    pass "a copy after the restart adds one entry in front of the kept ones"
else
    fail "after the restart and a copy: $history_state"
fi
stop_program TERM 3
[[ $exit_code == 0 ]] || fail "the restarted program did not end with 0 within 3 s of SIGTERM (${exit_code:-still running})"

echo "e2e: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
