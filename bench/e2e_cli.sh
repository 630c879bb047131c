#!/usr/bin/env bash
# How fast the command line answers with the program running, under a private Xvfb and a private
# session bus:
#
#   bench/e2e_cli.sh PATH/TO/pellamor
#
# Wall times on a busy machine are mostly waiting for a processor; the CPU time of each command is
# printed too.
# - `pellamor list` over a history of 1000 entries, from the process's start to its exit, next to
#   `pellamor --version`, which is the process start alone (loading the program and its libraries);
# - `pellamor copy ID` from start to exit: the program has put the entry on the clipboard before it
#   answers, which xclip confirms after each run;
# - `pellamor get` of a 30 MB text into a pipe, compared byte for byte, and the program's resident
#   memory before, and 1 s after;
# - from just before xclip starts until the Changed signal reaches dbus-monitor (xclip's own start
#   included).
set -u

source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/e2e-common.sh"
e2e_setup e2e_cli xvfb "Xvfb xclip python3 dbus-daemon dbus-monitor" "$@"

python3 - "$program" "$work" <<'PYTHON'
import json, os, random, re, signal, statistics, subprocess, sys, time, uuid

program, work = sys.argv[1], sys.argv[2]
runs = 30
children = []

home = os.environ["HOME"]
bus = "unix:path=" + os.path.join(work, "bus")
env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus, QT_QPA_PLATFORM="xcb")


def spawn(arguments, **kwargs):
    child = subprocess.Popen(arguments, env=env, **kwargs)
    children.append(child)
    return child


def wait_until(check, what, limit=10):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if check():
            return
        time.sleep(0.005)
    sys.exit("timed out waiting for " + what)


def run(*arguments, stdin=None):
    return subprocess.run([program] + list(arguments), env=env, input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=True).stdout


cpu = {}


def timed(*arguments):
    """Wall milliseconds; the process's own CPU milliseconds (user + system) go to cpu[arguments]."""
    before = os.times()
    start = time.perf_counter()
    subprocess.run([program] + list(arguments), env=env, stdout=subprocess.DEVNULL, check=True)
    wall = (time.perf_counter() - start) * 1000
    after = os.times()
    used = (after.children_user - before.children_user + after.children_system - before.children_system) * 1000
    cpu.setdefault(arguments[0] if arguments[0] != "list" else " ".join(arguments), []).append(used)
    return wall


def rss(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def clipboard():
    return subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL).stdout


try:
    spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus],
          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: os.path.exists(os.path.join(work, "bus")), "the session bus")

    # 1000 entries of 10 to 2000 characters.
    folder = os.path.join(home, ".local", "share", "Pellamor")
    os.makedirs(os.path.join(folder, "images"), mode=0o700)
    os.chmod(folder, 0o700)
    rng = random.Random(7)
    alphabet = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,;:-\n"
    entries = [{"id": str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper(), "type": "text",
                "content": "".join(rng.choice(alphabet) for _ in range(rng.randint(10, 2000))),
                "isPinned": False,
                "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(1741944413 - 60 * i))}
               for i in range(1000)]
    with open(os.open(os.path.join(folder, "history.json"), os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        json.dump(entries, f, separators=(",", ":"))

    app = spawn([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    def on_bus():
        reply = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                "string:com.pellamor.app"], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout
        return b"boolean true" in reply
    wait_until(on_bus, "the program on the bus")
    if len(run("list").splitlines()) != 1000:
        sys.exit("list does not print 1000 entries")

    version_ms = [timed("--version") for _ in range(runs)]
    list_ms = [timed("list") for _ in range(runs)]
    json_ms = [timed("list", "--json") for _ in range(runs)]

    ids = [line.split(b"\t")[0].decode() for line in run("list", "--limit", str(runs)).splitlines()]
    copy_ms = []
    for i in range(runs):
        copy_ms.append(timed("copy", ids[i]))
        if clipboard() != entries[i]["content"].encode():
            sys.exit("after copy the clipboard does not hold entry %d" % i)

    # Changed: from just before xclip starts until dbus-monitor has the signal.
    monitor = spawn(["dbus-monitor", "--session",
                     "type='signal',interface='com.pellamor.History1',member='Changed'"],
                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
    time.sleep(0.5)  # dbus-monitor subscribes before printing anything that could be waited for
    changed_ms = []
    for i in range(runs):
        text = "changed %d %s" % (i, uuid.uuid4())
        start = time.time()
        subprocess.run(["xclip", "-selection", "clipboard", "-in"], input=text.encode(), env=env, check=True)
        while True:
            line = monitor.stdout.readline()
            found = re.match(r"signal time=([0-9.]+) .*member=Changed", line)
            if found:
                changed_ms.append((float(found.group(1)) - start) * 1000)
                break
        wait_until(lambda: run("list", "--limit", "1").split(b"\t", 1)[1].rstrip(b"\n") == text.encode(),
                   "the copy in the history")

    # 30 MB of text through a pipe.
    big = ("0123456789abcdef" * (30 * 1000 * 1000 // 16)).encode()
    big_id = run("add", stdin=big).decode().strip()
    wait_until(lambda: run("list", "--limit", "1").startswith(big_id.encode()), "the 30 MB entry")
    time.sleep(1)
    rss_before = rss(app.pid)
    get_ms = []
    peak = 0
    for _ in range(5):
        start = time.perf_counter()
        got = subprocess.run([program, "get", big_id], env=env, stdout=subprocess.PIPE, check=True).stdout
        get_ms.append((time.perf_counter() - start) * 1000)
        peak = max(peak, rss(app.pid))
        if got != big:
            sys.exit("get of the 30 MB entry is not byte-exact")
    time.sleep(1)
    rss_after = rss(app.pid)
    start = time.perf_counter()
    subprocess.run(["cat"], input=big, stdout=subprocess.DEVNULL, check=True)
    pipe_ms = (time.perf_counter() - start) * 1000

    def row(name, values):
        print("%-52s %7.1f ms %7.1f ms %7.1f ms" % (name, min(values), statistics.median(values), max(values)))
    print("pellamor command line, program running, Xvfb, private session bus (%d runs each)" % runs)
    print("%-52s %10s %10s %10s" % ("", "min", "median", "max"))
    row("process start alone (pellamor --version)", version_ms)
    row("pellamor list, 1000 entries, start to exit", list_ms)
    row("pellamor list --json, 1000 entries, start to exit", json_ms)
    row("pellamor copy ID, start to exit (clipboard holds it)", copy_ms)
    row("xclip start -> Changed at dbus-monitor", changed_ms)
    row("pellamor get, 30 MB text into a pipe (5 runs)", get_ms)
    print("CPU time of the command itself (user + system), median: " +
          ", ".join("%s %.0f ms" % (name, statistics.median(values)) for name, values in cpu.items()))
    print("%-52s %7.1f ms" % ("cat of the same 30 MB through a pipe", pipe_ms))
    print("%-52s %7.1f MiB before, %.1f MiB peak, %.1f MiB 1 s after" % ("program VmRSS around the gets",
                                                                        rss_before, peak, rss_after))
finally:
    for child in reversed(children):
        child.send_signal(signal.SIGTERM)
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
PYTHON
