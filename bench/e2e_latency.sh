#!/usr/bin/env bash
# How fast a copy in another application reaches history.json, and how much memory the program holds
# before and after 40 copies (with 1000 entries: e2e_idle_rss.sh). Runs the built program under a
# private Xvfb with xclip as the other application:
#
#   bench/e2e_latency.sh PATH/TO/pellamor
#
# Latency is measured from just before xclip starts until the new entry can be read from history.json,
# so it includes xclip's own start, the program's reaction and the background save.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/e2e-common.sh"
e2e_setup e2e_latency xvfb "Xvfb xclip python3" "$@"

python3 - "$program" "$work" "$history" "$lock_file" <<'PYTHON'
import json, os, signal, statistics, struct, subprocess, sys, time, uuid, zlib

program, work, path, lock = sys.argv[1:5]
runs = 20
owners, apps = [], []


def png(width, height, seed):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + bytes((seed * 7 + x * 3 + y) % 256 for x in range(width * 3)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def start():
    log = open(os.path.join(work, "app.log"), "ab")
    app = subprocess.Popen([program], stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    apps.append(app)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and app.poll() is None:
        try:
            with open(lock) as f:
                if f.readline().strip() == str(app.pid):
                    return app
        except OSError:
            pass
        time.sleep(0.01)
    sys.exit("the program did not start (see %s)" % log.name)


def stop(app):
    app.send_signal(signal.SIGTERM)
    app.wait(10)


def read_history(path, last):
    """The parsed history when the file changed since `last`, else None."""
    try:
        st = os.stat(path)
    except FileNotFoundError:
        return None, last
    stamp = (st.st_ino, st.st_mtime_ns, st.st_size)
    if stamp == last:
        return None, last
    with open(path, "rb") as f:
        return json.loads(f.read()), stamp


def copy_and_time(path, arguments, arrived):
    """Milliseconds from just before xclip starts until arrived(history) holds."""
    _, last = read_history(path, None)
    start_time = time.perf_counter()
    owners.append(subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-in"] + arguments,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    deadline = start_time + 10
    while time.perf_counter() < deadline:
        h, last = read_history(path, last)
        if h is not None and arrived(h):
            return (time.perf_counter() - start_time) * 1000
        time.sleep(0.001)
    sys.exit("a copy did not reach history.json within 10 s")


def vm(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1]) / 1024
    return float("nan")


try:
    app = start()
    time.sleep(2)
    rss_empty = vm(app.pid, "VmRSS")

    text_ms = []
    for i in range(runs):
        text = "benchmark text %d %s" % (i, uuid.uuid4())
        file = os.path.join(work, "text-%d" % i)
        with open(file, "w") as f:
            f.write(text)
        text_ms.append(copy_and_time(path, [file], lambda h: bool(h) and h[0]["content"] == text))
        time.sleep(0.1)

    png_ms = []
    for i in range(runs):
        file = os.path.join(work, "image-%d.png" % i)
        with open(file, "wb") as f:
            f.write(png(32, 24, i))
        before = None
        with open(path) as f:
            before = len(json.load(f))
        png_ms.append(copy_and_time(path, ["-target", "image/png", file],
                                    lambda h: len(h) == before + 1 and h[0]["type"] == "image"))
        time.sleep(0.1)

    rss_small = vm(app.pid, "VmRSS")
    stop(app)

    print("Pellamor end to end, Xvfb with xclip as the other application")
    print("%-48s %10s %10s" % ("", "median", "max"))
    print("%-48s %7.1f ms %7.1f ms" % ("text copy -> history.json (%d copies)" % runs,
                                         statistics.median(text_ms), max(text_ms)))
    print("%-48s %7.1f ms %7.1f ms" % ("32x24 PNG copy -> history.json (%d copies)" % runs,
                                         statistics.median(png_ms), max(png_ms)))
    print("%-48s %7.2f MiB" % ("VmRSS 2 s after start, empty history", rss_empty))
    print("%-48s %7.2f MiB" % ("VmRSS after those 40 copies", rss_small))
finally:
    for process in apps + owners:
        if process.poll() is None:
            process.kill()
            process.wait()
PYTHON
