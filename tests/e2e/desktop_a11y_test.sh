#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped monitor read through AT-SPI (a11y_walk.py) on Xvfb in a LAN client with a private session
# bus: two servers answer; none does.   desktop_a11y_test.sh LAN_SH PRINTSIM MONITOR
set -euo pipefail
lan_sh=$1 sim=$2 monitor=$3
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # pyatspi is Debian's: not in another python3 on PATH
. "$here/../support/lib.sh"

need_lan
need Xvfb xdotool dbus-run-session
"$python" -c 'import pyatspi' 2>/dev/null || skip "needs python3-pyatspi"
lan_up --servers 2
start_display
# An 8-bit name, a status and user that change every few replies, and server1
# silent after 24 replies (which ends the first run).
sim server1 "$work/sim1.log" --bind 0.0.0.0 --scenario "$here/a11y_scenario.txt" --stop-after 24
sims=("$pid")
sim server2 "$work/sim2.log" --bind 0.0.0.0
sims+=("$pid")
walk() { on client dbus-run-session -- "$python" "$here/a11y_walk.py" "$1" "$monitor" || row_result "$1" failed; }
walk list
kill "${sims[@]}"
walk entry
[ "$_lib_fails" = 0 ] || fail "$_lib_fails of 2 runs"
echo "PASS: both runs"
