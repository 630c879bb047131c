#!/usr/bin/env bash
# How much memory the program holds when idle with a history of 1000 entries, 50 of them images, on a
# desktop with a window manager (openbox) and a tray (trayer), under a private Xvfb:
#
#   bench/e2e_idle_rss.sh PATH/TO/pellamor
#
# VmRSS is read from /proc once the icon is in the tray and the figure has settled (it moved by less than
# 256 KiB over 3 s); VmHWM is the peak up to then.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/e2e-common.sh"
e2e_setup e2e_idle_rss xvfb "Xvfb openbox trayer xprop xwininfo python3" "$@"

start_wm
start_tray

mkdir -p "$data_dir/images"
chmod 700 "$data_dir"
python3 - "$data_dir" <<'PYTHON'
import json, os, random, struct, sys, time, uuid, zlib

folder = sys.argv[1]
rng = random.Random(7)


def png(width, height, seed):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    pattern = bytes((seed * 7 + x) % 256 for x in range(width * 3 + height))
    rows = b"".join(b"\0" + pattern[y:y + width * 3] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


alphabet = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,;:-\n会议记录数据安排"
entries = []
for i in range(1000):
    entry = {"id": str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper(), "type": "text",
             "isPinned": False, "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(1741944413 - 60 * i))}
    if i % 20 == 3:
        name = str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper() + ".png"
        with open(os.path.join(folder, "images", name), "wb") as f:
            f.write(png(800, 600, i))
        entry.update(type="image", content=name)
    else:
        entry["content"] = "".join(rng.choice(alphabet) for _ in range(rng.randint(20, 2000)))
    entries.append(entry)
with open(os.open(os.path.join(folder, "history.json"), os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
    json.dump(entries, f, ensure_ascii=False, separators=(",", ":"))
PYTHON

kib() { awk -v key="$1:" '$1 == key {print $2}' "/proc/$app_pid/status"; }
start_program || fail "$start_error"
wait_for 20 has_icon || fail "the icon did not reach the tray within 20 s"
samples=()
settled() {
    samples+=("$(kib VmRSS)")
    local n=${#samples[@]} low high value
    ((n >= 7)) || return 1
    low=${samples[n - 1]} high=$low
    for value in "${samples[@]:n-7}"; do
        ((value < low)) && low=$value
        ((value > high)) && high=$value
    done
    ((high - low < 256))
}
settle() { until settled; do sleep 0.5; ((${#samples[@]} < 120)) || return 1; done; }
settle || fail "the resident size did not settle within 60 s"
awk -v rss="${samples[-1]}" -v hwm="$(kib VmHWM)" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
    printf "idle VmRSS, 1000 entries (50 images), tray and window manager: %.1f MiB (VmHWM %.1f MiB); load %s\n",
        rss / 1024, hwm / 1024, load }'
