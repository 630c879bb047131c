#!/usr/bin/env bash
# How much memory the program holds after it has captured a 30 MB text: the resident set size when idle,
# and once the text is in history.json and the program has settled. Runs the built program under a
# private Xvfb with xclip as the other application:
#
#   bench/e2e_capture_rss.sh PATH/TO/pellamor
#
# The history keeps the text itself (about 60 MB as UTF-16), so about that much above the idle figure is
# what the capture cannot give back.
set -u

source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/e2e-common.sh"
e2e_setup e2e_capture_rss xvfb "Xvfb xclip python3" "$@"

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$app_pid/status"; }

start_program || fail "$start_error"
sleep 2
idle=$(rss_kib)
python3 -c 'import random, string, sys
r = random.Random(1)
sys.stdout.write("".join(r.choice(string.ascii_letters + " \n") for _ in range(30 * 1000 * 1000)))' >"$work/text"
xclip -quiet -selection clipboard -in "$work/text" >/dev/null 2>&1 &
pids+=($!)
saved() { [[ -s $history ]] && (($(stat -c %s "$history") > 29000000)); }
wait_for 120 saved || fail "the 30 MB text did not reach history.json within 120 s"
sleep 5
echo "idle: $((idle / 1024)) MiB; after the 30 MB text was captured and saved: $(($(rss_kib) / 1024)) MiB"
