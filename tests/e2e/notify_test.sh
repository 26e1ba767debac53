#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped monitor on the desktop, in a LAN client: its exits (--help, --version, a wrong argument, no
# display, a display that cannot be opened); a run without a session bus, in a PID namespace of its own, that
# ends on "Connect Failed!" with status 1 and leaves no process behind, its WM_CLASS read against the desktop
# entry; and its notifications, recorded by notify_service.py on a private session bus while the simulated
# printer goes out of paper, into a fault, ready, off line and ready again.
#   notify_test.sh LAN_SH PRINTSIM MONITOR DESKTOP_ENTRY
set -euo pipefail
lan_sh=$1 sim=$2 monitor=$3 entry=$4
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # Debian's python3-dbus and python3-gi are there
. "$here/../support/lib.sh"

need_lan
need Xvfb xdotool xprop dbus-daemon unshare
"$python" -c 'import dbus, gi' 2>/dev/null || skip "needs python3-dbus and python3-gi"
lan_up --servers 1
mkdir -m 0700 "$work/run"  # an XDG_RUNTIME_DIR without a bus socket
visible() { on client xdotool search --onlyvisible --name "$1" | awk 'NR == 1' | grep .; }

# name, environment, argument, status, "out" or "err" and a pattern its only line must match
while read -r name env arg want stream pattern; do
  [ -n "$name" ] || continue
  status=0
  [ "$arg" != - ] || arg=""
  on client env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $env "$monitor" $arg \
    >"$work/out" 2>"$work/err" || status=$?
  why=""
  [ "$status" = "$want" ] || why="status $status, not $want"
  [ "$stream" = out ] || [ "$(wc -l <"$work/err")" = 1 ] || why+=" stderr is not one line"
  grep -Eq -- "$pattern" "$work/$stream" || why+=" no '$pattern'"
  row_result "$name" "$why"
  [ -z "$why" ] || cat "$work/out" "$work/err"
done <<'TABLE'
help      DISPLAY=:97          --help     0  out  ^Usage: usbkestrum \[--help \| --version\]$
version   DISPLAY=:97          --version  0  out  ^usbkestrum [0-9]+\.[0-9]+\.[0-9]+$
argument  DISPLAY=:97          --verbose  64 err  ^usbkestrum: .*--verbose.*--help
none      LANG=C               -          1  err  ^usbkestrum: no display
closed    DISPLAY=:97          -          1  err  ^usbkestrum: cannot open the display \(DISPLAY=:97\)$
TABLE

start_display
# Without a bus: its own PID namespace shows what the run leaves behind once the monitor has ended.
sim server1 "$work/sim1.log" --bind 0.0.0.0 --stop-after 4
sim1=$pid
start client env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/run" unshare --pid --fork --mount-proc bash -c \
  '"$1" 2>"$2/monitor.log"; echo $? >"$2/status"; sleep 1; ps -e -o comm= | grep -v "^bash$\|^ps$\|^grep$" >"$2/left"' \
  _ "$monitor" "$work"
why=""
if wait_for 150 visible '^Print Server IP List$'; then
  on client xdotool key Home Return
  wait_for 50 visible '^USB Kestrum \(Server IP: 10\.213\.0\.1\)$' || why="no main window"
  class=$(on client xprop -id "$(visible '^USB Kestrum \(Server IP')" WM_CLASS | sed 's/.*, "\(.*\)"$/\1/')
  wanted=$(sed -n 's/^StartupWMClass=//p' "$entry")
  [ "$class" = "$wanted" ] || why+=" WM_CLASS class '$class', the desktop entry's StartupWMClass '$wanted'"
  wait_for 100 visible '^usbkestrum$' && on client xdotool key Return || why+=" no \"Connect Failed!\" box"
else
  why="the server list did not open"
fi
wait_for 100 test -e "$work/left" || true
[ "$(cat "$work/status" 2>/dev/null)" = 1 ] || why+=" status $(cat "$work/status" 2>/dev/null), not 1"
[ -z "$(cat "$work/left" 2>/dev/null)" ] || why+=" left behind: $(tr '\n' ' ' <"$work/left")"
row_result "no bus: \"Connect Failed!\" ends with 1, no process is left, WM_CLASS as the desktop entry's" "$why"
kill "$sim1"

# Notifications: a private session bus, the recording service, the scenario, and the window closed by Escape.
on client dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus.pid"
at_exit 'kill "$(cat "$work/bus.pid")"'
export DBUS_SESSION_BUS_ADDRESS
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
start client "$python" "$here/notify_service.py" 60 >"$work/calls"
wait_for 50 grep -q '^ready$' "$work/calls" || fail "the notification service did not start"
sim server1 "$work/sim2.log" --bind 0.0.0.0 --scenario "$here/notify_scenario.txt"
start client env XDG_RUNTIME_DIR="$work/run" "$monitor"
monitor_pid=$pid
why="" status=0
if wait_for 150 visible '^Print Server IP List$'; then
  on client xdotool key Home Return
  wait_for 300 eval '[ "$(grep -c "^CloseNotification" "$work/calls")" -ge 2 ]' || why="not all calls came"
  sleep 2  # nothing more may follow
  on client xdotool key Escape
  wait "$monitor_pid" || status=$?
else
  why="the server list did not open"
fi
echo "--- the calls the service recorded:"
sed 1d "$work/calls"
sed 1d "$work/calls" | diff <(grep -v "^#" "$here/notify_calls.txt") - >&2 || why+=" calls differ from the expected ones (above: expected <, got >)"
[ "$status" = 0 ] || why+=" status $status after Escape"
row_result "notifications: paper out, fault, ready, off line, ready; the first reply and a lasting state unannounced" "$why"
finish
