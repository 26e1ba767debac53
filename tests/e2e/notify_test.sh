#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped monitor in a LAN client: its exits; a run without a session bus, in a PID namespace of its own, ending
# on "Connect Failed!" (status 1, no process left, WM_CLASS as the desktop entry's); and the notifications that
# notify_service.py records on a private bus while notify_scenario.txt runs.
#   notify_test.sh LAN_SH PRINTSIM MONITOR DESKTOP_ENTRY
set -euo pipefail
lan_sh=$1 sim=$2 monitor=$3 entry=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/lib.sh"
need_lan && need Xvfb xdotool xprop dbus-daemon unshare
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || skip "needs python3-dbus and python3-gi"
lan_up --servers 1
mkdir -m 0700 "$work/run"  # an XDG_RUNTIME_DIR without a bus socket
visible() { on client xdotool search --onlyvisible --name "$1" | awk 'NR == 1' | grep .; }
choose() { wait_for 150 visible '^Print Server IP List$' && on client xdotool key Home Return; }

# name, environment, argument ("-": none), status, and the pattern of the one line on stdout or stderr
while read -r name env arg want stream pattern; do
  status=0 why=""
  on client env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $env "$monitor" ${arg%-} >"$work/out" 2>"$work/err" ||
    status=$?
  [ "$status" = "$want" ] || why="status $status, not $want"
  [ "$(cat "$work/out" "$work/err" | wc -l)" = 1 ] || [ "$stream" = out ] || why+=" more than one line"
  grep -Eq -- "$pattern" "$work/$stream" || why+=" no '$pattern'"
  row_result "$name" "${why:+$why: $(cat "$work/out" "$work/err" | head -n 3)}"
done <<'TABLE'
help      DISPLAY=:97  --help     0  out  ^Usage: usbkestrum \[--help \| --version\]$
version   DISPLAY=:97  --version  0  out  ^usbkestrum [0-9]+\.[0-9]+\.[0-9]+$
argument  DISPLAY=:97  --verbose  64 err  ^usbkestrum: .*--verbose.*--help
none      LANG=C       -          1  err  ^usbkestrum: no display
closed    DISPLAY=:97  -          1  err  ^usbkestrum: cannot open the display \(DISPLAY=:97\)$
TABLE

start_display
sim server1 "$work/sim1.log" --bind 0.0.0.0 --stop-after 4
sim1=$pid why=""
start client env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/run" unshare --pid --fork --kill-child \
  --mount-proc bash -c '"$1"; echo $? >"$2/status"; sleep 1; ps -e -o comm= | grep -vx "bash\|ps\|grep" >"$2/left"' \
  _ "$monitor" "$work"
choose || why="no server list"
class=$(on client xprop -id "$(wait_for 50 visible '^USB Kestrum \(Server' && visible '^USB Kestrum \(Server')" \
  WM_CLASS | sed 's/.*, "\(.*\)"$/\1/')
grep -qx "StartupWMClass=$class" "$entry" || why+=" WM_CLASS class '$class' is not the desktop entry's"
wait_for 100 visible '^usbkestrum$' && on client xdotool key Return || why+=" no \"Connect Failed!\" box"
wait_for 100 test -e "$work/left" || why+=" the monitor did not end"
[ "$(cat "$work/status")" = 1 ] || why+=" status $(cat "$work/status"), not 1"
[ ! -s "$work/left" ] || why+=" left behind: $(tr '\n' ' ' <"$work/left")"
row_result "no bus: \"Connect Failed!\", status 1, no process left, WM_CLASS" "$why"
kill "$sim1"

on client dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus.pid"
at_exit 'kill "$(cat "$work/bus.pid")"'
export DBUS_SESSION_BUS_ADDRESS=$(<"$work/bus")
start client /usr/bin/python3 "$here/notify_service.py" 60 >"$work/calls"
wait_for 50 grep -q '^ready$' "$work/calls" || fail "the notification service did not start"
sim server1 "$work/sim2.log" --bind 0.0.0.0 --scenario "$here/notify_scenario.txt"
start client env XDG_RUNTIME_DIR="$work/run" "$monitor"
why="" status=0
choose || why="no server list"
wait_for 300 eval '[ "$(grep -c "^CloseNotification" "$work/calls")" -ge 2 ]' || why="not all calls came"
sleep 2  # nothing more may follow
on client xdotool key Escape
wait_for 80 eval "! kill -0 $pid" && wait "$pid" || status=$?
echo "--- the calls the service recorded:"
sed 1d "$work/calls" | tee "$work/got"
diff <(grep -v "^#" "$here/notify_calls.txt") "$work/got" || why+=" not the calls of notify_calls.txt (<) but (>)"
[ "$status" = 0 ] || why+=" status $status after Escape"
row_result "notifications: paper out, fault, ready, off line, ready; none for the first reply or a lasting state" "$why"
finish
