#!/bin/bash
# The shipped program itself, as a user runs it: in the client namespace of a
# private test LAN, on an Xvfb display, driven by keys. It must find the
# server, poll the one picked, and end cleanly on Escape.
#   shipped_monitor_test.sh LAN_SH PRINTSIM MONITOR
# Exits 77 (skipped) where namespaces or Xvfb are not to be had.
set -u
lan_sh=$1 printsim=$2 monitor=$3

bash "$lan_sh" check || exit $?
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: needs Xvfb and xdotool"; exit 77; }
lan=$(bash "$lan_sh" name)
work=$(mktemp -d)
trap 'bash "$lan_sh" down "$lan" >/dev/null 2>&1; rm -rf "$work"' EXIT
run() { bash "$lan_sh" exec "$lan" client -- "$@"; }
fail() { echo "FAIL: $*"; echo "--- simulator log"; cat "$work/sim.log"; exit 1; }

bash "$lan_sh" up "$lan" --servers 1 >/dev/null || exit 1
bash "$lan_sh" exec "$lan" server1 -- "$printsim" --bind 0.0.0.0 --port 60000 --max-seconds 60 \
    >/dev/null 2>"$work/sim.log" &
display=:$((90 + RANDOM % 400))
run Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do run xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

run "$monitor" 2>"$work/monitor.log" &
monitor_pid=$!

# The list appears once the search is over (2 s after the last answer).
for _ in $(seq 100); do grep -q "probe, answered" "$work/sim.log" && break; sleep 0.1; done
grep -q "probe, answered" "$work/sim.log" || fail "the monitor sent no discovery probe"
sleep 3
run xdotool key Down Return           # the first (only) server, then OK

for _ in $(seq 100); do grep -q "status request #2" "$work/sim.log" && break; sleep 0.1; done
grep -q "status request #2" "$work/sim.log" || fail "the chosen server was not polled"
grep -q "10.213.0.100:.* status request" "$work/sim.log" || fail "the requests came from elsewhere"

run xdotool key Escape                # closes the main window through the shutdown
for _ in $(seq 100); do kill -0 "$monitor_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$monitor_pid" 2>/dev/null; then
    kill "$monitor_pid"
    fail "the monitor did not end on Escape"
fi
wait "$monitor_pid"
status=$?
[ "$status" = 0 ] || fail "the monitor ended with status $status"
echo "PASS: found, polled and closed the shipped monitor"
