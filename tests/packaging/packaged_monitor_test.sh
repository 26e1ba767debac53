#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A shipped monitor on Xvfb in a LAN client, driven by keys: its only server is the default gateway, so
# only the fallback through MODULE finds it; it must poll it and end cleanly on Escape.
#   packaged_monitor_test.sh LAN_SH PRINTSIM MONITOR MODULE
set -euo pipefail
. "$(dirname "$0")/../support/lib.sh"
lan_sh=$1 sim=$2 monitor=$3 module=$4

need_lan
need Xvfb xdotool
lan_up --servers 1 --gateway-server 1
sim server1 "$work/sim.log" --bind 10.213.0.1 --port 60000 --max-seconds 60
start_display 800x600x24
# The dynamic loader names every file it opens.
start client env LD_DEBUG=files "$monitor" 2>"$work/monitor.txt"
monitor_pid=$pid
wait_for 100 grep -q "probe, answered" "$work/sim.log" || fail "no probe reached the gateway (no agent module?)"
loaded=$(grep -o 'file=[^ ]*inetmib1[^ ]*' "$work/monitor.txt" | sed 's/^file=//' | sort -u)
[ -n "$loaded" ] || fail "no agent module was loaded"
for file in $loaded; do
  [ "$(realpath "$file")" = "$(realpath "$module")" ] || fail "the agent module was loaded from $file, not $module"
done
sleep 3                               # the list appears 2 s after the last answer
on client xdotool key Down Return     # the first (only) server, then OK
wait_for 100 grep -q "status request #2" "$work/sim.log" || fail "the chosen server was not polled"
grep -q "10.213.0.100:.* status request" "$work/sim.log" || fail "the requests came from elsewhere"
on client xdotool key Escape          # closes the main window through the shutdown
wait_for 100 eval "! kill -0 $monitor_pid" || fail "the monitor did not end on Escape"
status=0
wait "$monitor_pid" || status=$?
[ "$status" = 0 ] || fail "the monitor ended with status $status"
echo "PASS: found through the gateway, polled and closed the shipped monitor"
