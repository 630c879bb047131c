#!/usr/bin/env bash
# How fast a copy in another application reaches history.json, and how much memory the program holds
# with a full history. Runs the built program under a private Xvfb with xclip as the other application:
#
#   bench/e2e_latency.sh [PATH/TO/pellamor]     (default: build/src/app/pellamor of this checkout)
#
# Latency is measured from just before xclip starts until the new entry can be read from history.json,
# so it includes xclip's own start, the program's reaction and the background save.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=${1:-$here/../build/src/app/pellamor}
if [[ ! -x $program ]]; then
    echo "usage: $0 [PATH/TO/pellamor]  ($program is not an executable)" >&2
    exit 2
fi
program=$(realpath "$program")
for tool in Xvfb xclip python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "e2e_latency: $tool is not installed" >&2
        exit 1
    fi
done

if [[ -z ${DISPLAY:-} || ${PELLAMOR_XVFB_DISPLAY:-} != "${DISPLAY:-}" ]]; then
    exec bash "$here/../tests/e2e/run-under-xvfb.sh" bash "${BASH_SOURCE[0]}" "$program"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellamor-bench.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

python3 - "$program" "$work" <<'PYTHON'
import json, os, random, signal, statistics, struct, subprocess, sys, time, uuid, zlib

program, work = sys.argv[1], sys.argv[2]
runs = 20
owners, apps = [], []


def png(width, height, seed):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + bytes((seed * 7 + x * 3 + y) % 256 for x in range(width * 3)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def environment(home):
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_RUNTIME_DIR=runtime,
               DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(home, "no-bus"))
    env.pop("XDG_DATA_HOME", None)
    return env


def start(home):
    env = environment(home)
    log = open(os.path.join(home, "pellamor.log"), "ab")
    app = subprocess.Popen([program], env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    apps.append(app)
    lock = os.path.join(env["XDG_RUNTIME_DIR"], "com.pellamor.app.lock")
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


def history_path(home):
    return os.path.join(home, ".local", "share", "Pellamor", "history.json")


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


def write_large_history(home, count):
    folder = os.path.dirname(history_path(home))
    os.makedirs(os.path.join(folder, "images"), mode=0o700)
    os.chmod(folder, 0o700)
    rng = random.Random(7)
    alphabet = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,;:-"
    newest = 1741944413  # 2025-03-14T09:26:53Z
    entries = []
    for i in range(count):
        length = rng.randint(10, 2000)
        entries.append({
            "id": str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper(),
            "type": "text",
            "content": "".join(rng.choice(alphabet) for _ in range(length)),
            "isPinned": False,
            "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(newest - 60 * i)),
        })
    path = history_path(home)
    with open(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w", encoding="utf-8") as f:
        json.dump(entries, f, ensure_ascii=False, separators=(",", ":"))
    return os.path.getsize(path)


rows = []
try:
    home = os.path.join(work, "home")
    os.makedirs(home)
    app = start(home)
    time.sleep(2)
    rss_empty = vm(app.pid, "VmRSS")
    path = history_path(home)

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

    big_home = os.path.join(work, "home-1000")
    os.makedirs(big_home)
    size = write_large_history(big_home, 1000)
    app = start(big_home)
    time.sleep(2)
    rss_big, hwm_big = vm(app.pid, "VmRSS"), vm(app.pid, "VmHWM")
    with open(history_path(big_home)) as f:
        kept = len(json.load(f))
    stop(app)
    if kept != 1000:
        sys.exit("the program did not keep the 1000 stored entries (%d left)" % kept)

    print("Pellamor end to end, Xvfb with xclip as the other application")
    print("%-48s %10s %10s" % ("", "median", "max"))
    print("%-48s %7.1f ms %7.1f ms" % ("text copy -> history.json (%d copies)" % runs,
                                         statistics.median(text_ms), max(text_ms)))
    print("%-48s %7.1f ms %7.1f ms" % ("32x24 PNG copy -> history.json (%d copies)" % runs,
                                         statistics.median(png_ms), max(png_ms)))
    print("%-48s %7.2f MiB" % ("VmRSS 2 s after start, empty history", rss_empty))
    print("%-48s %7.2f MiB" % ("VmRSS after those 40 copies", rss_small))
    print("%-48s %7.2f MiB  (VmHWM %.2f MiB)" % ("VmRSS 2 s after start, 1000 entries (%.1f MB)" % (size / 1e6),
                                                rss_big, hwm_big))
finally:
    for process in apps + owners:
        if process.poll() is None:
            process.kill()
            process.wait()
PYTHON
