#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# An installed or unpacked monitor as a user runs it: in the client namespace of
# a private LAN, on an Xvfb display, driven by keys. The only server is the
# client's default gateway and answers only on its own address, so only the
# gateway fallback finds it, through the agent module MODULE. The monitor must
# find it, poll it, and end cleanly on Escape.
#   packaged_monitor_test.sh LAN_SH PRINTSIM MONITOR MODULE
# Exits 77 (skipped) where namespaces or Xvfb are not to be had.
set -u
lan_sh=$1 printsim=$2 monitor=$3 module=$4

bash "$lan_sh" check || exit $?
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: needs Xvfb and xdotool"; exit 77; }
lan=$(bash "$lan_sh" name)
work=$(mktemp -d)
trap 'bash "$lan_sh" down "$lan" >/dev/null 2>&1; rm -rf "$work"' EXIT
run() { bash "$lan_sh" exec "$lan" client -- "$@"; }
fail() { echo "FAIL: $*"; echo "--- simulator log"; cat "$work/sim.log"; exit 1; }
# await PATTERN: up to 10 s for the simulator to log it.
await() { for _ in $(seq 100); do grep -q "$1" "$work/sim.log" && return; sleep 0.1; done; false; }

bash "$lan_sh" up "$lan" --servers 1 --gateway-server 1 >/dev/null || exit 1
bash "$lan_sh" exec "$lan" server1 -- "$printsim" --bind "$(bash "$lan_sh" addr "$lan" server1)" --port 60000 \
    --max-seconds 60 >/dev/null 2>"$work/sim.log" &
display=:$((90 + RANDOM % 400))
run Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do run xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The dynamic loader names every file it opens.
run env LD_DEBUG=files "$monitor" 2>"$work/monitor.log" &
monitor_pid=$!
await "probe, answered" || fail "no probe reached the gateway (was the agent module found?)"
loaded=$(grep -o 'file=[^ ]*inetmib1[^ ]*' "$work/monitor.log" | sed 's/^file=//' | sort -u)
[ -n "$loaded" ] || fail "no agent module was loaded"
for file in $loaded; do
    [ "$(realpath "$file")" = "$(realpath "$module")" ] || fail "the agent module was loaded from $file, not $module"
done
sleep 3                               # the list appears 2 s after the last answer
run xdotool key Down Return           # the first (only) server, then OK
await "status request #2" || fail "the chosen server was not polled"
grep -q "10.213.0.100:.* status request" "$work/sim.log" || fail "the requests came from elsewhere"

run xdotool key Escape                # closes the main window through the shutdown
for _ in $(seq 100); do kill -0 "$monitor_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$monitor_pid" 2>/dev/null && { kill "$monitor_pid"; fail "the monitor did not end on Escape"; }
wait "$monitor_pid"
status=$?
[ "$status" = 0 ] || fail "the monitor ended with status $status"
echo "PASS: found through the gateway, polled and closed the shipped monitor"
