#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped monitor on Xvfb, under openbox or no window manager, in a LAN client: each row picks a
# server (or types the address of one that ignores the search), checks only it is polled, may open About,
# closes, and the program must end with status 0, or 1 where the silent server's "Connect Failed!" ended it.
#   desktop_monitor_test.sh LAN_SH PRINTSIM MONITOR WM   (WM: openbox or none)
set -euo pipefail
lan_sh=$1 sim=$2 monitor=$3 wm=$4
. "$(dirname "$0")/../support/lib.sh"

# servers: 1 or 2 answer; tab: Tab x3 round OK and Cancel first; pick: Home,
# Down or a click on the last entry then OK, or typed; about: the window menu
# by shift-f10 or the Menu key; close: escape, wmctrl (the manager's), alt-f4,
# or box: the server falls silent after three replies and its warning ends it.
table="
one-tab-click  openbox 1 1 click shift-f10 alt-f4
two-down       openbox 2 0 down  menu      wmctrl
two-home       openbox 2 0 home  -         escape
one-tab-down   none    1 1 down  menu      alt-f4
two-click      none    2 0 click shift-f10 escape
typed          none    1 0 typed -         box
"
need_lan
need Xvfb xdotool
[ "$wm" = none ] || need openbox wmctrl
lan_up --servers 2
start_display
if [ "$wm" = openbox ]; then
  start client openbox --sm-disable >/dev/null 2>&1
  wait_for 100 on client wmctrl -m || fail "openbox did not start"
fi
visible() { on client xdotool search --onlyvisible --name "$1" | awk 'NR == 1' | grep .; }
# "Print Server IP List" in template units of 6 x 13 pixels: entries 12 px high from y = 16.
readonly LIST_X=60 ENTRY_Y0=22 ENTRY_H=12 OK_X=56 OK_Y=175

listed() {  # the list shows every server once each was asked; sets list
  local k
  wait_for 100 visible '^Print Server IP List$' || { why="the server list did not open"; return 1; }
  list=$(visible '^Print Server IP List$')
  for ((k = 1; k <= servers; k++)); do
    wait_for 50 grep -q "probe, answered" "$log/sim$k" || { why="server $k was not asked"; return 1; }
  done
  sleep 0.5  # the answers reach the list
}

drive() {  # sets why; $servers $tab $pick $about $close $expect $log
  local list k
  [ "$pick" = typed ] || listed || return
  [ "$tab" = 0 ] || on client xdotool key Tab Tab Tab
  case "$pick" in
    home) on client xdotool key Home Return ;;
    down) on client xdotool key Down Return ;;
    click) on client xdotool mousemove --window "$list" $LIST_X $((ENTRY_Y0 + (servers - 1) * ENTRY_H)) click 1
      on client xdotool mousemove --window "$list" $OK_X $OK_Y click 1 ;;
    typed) wait_for 100 visible '^Please Input IP Address$' || { why="the address entry did not open"; return; }
      on client xdotool key Tab type 10.213.0.1
      on client xdotool key Return ;;
  esac
  wait_for 50 visible "^USB Kestrum \\(Server IP: 10\\.213\\.0\\.$expect\\)\$" ||
    { why="the main window does not name 10.213.0.$expect"; return; }
  wait_for 50 grep -q "status request #2" "$log/sim$expect" || { why="10.213.0.$expect was not polled"; return; }
  for ((k = 1; k <= servers; k++)); do
    [ "$k" = "$expect" ] || ! grep -q "status request" "$log/sim$k" || { why="10.213.0.$k was polled too"; return; }
  done
  if [ "$about" != - ]; then
    if [ "$about" = menu ]; then on client xdotool key Menu; else on client xdotool key shift+F10; fi
    sleep 0.3
    # The underlined letter in some rows, the arrow keys in others.
    if [ "$servers" = 2 ]; then on client xdotool key Down Return; else on client xdotool key a; fi
    wait_for 50 visible '^About USB Kestrum$' || { why="$about did not lead to the About box"; return; }
    on client xdotool key Return
    wait_for 50 eval "! visible '^About USB Kestrum\$'" || { why="the About box did not close"; return; }
  fi
  case "$close" in
    escape) on client xdotool key Escape ;;
    alt-f4) on client xdotool key alt+F4 ;;
    wmctrl) on client wmctrl -c "USB Kestrum (Server IP: 10.213.0.$expect)" ;;
    box) wait_for 100 visible '^usbkestrum$' || { why="no warning when the server fell silent"; return; }
      on client xdotool key Return ;;
  esac
  wait_for 80 eval "! kill -0 $monitor_pid" || why="the monitor did not end after $close"
}

while read -r name row_wm servers tab pick about close; do
  [ -n "$name" ] && [ "$row_wm" = "$wm" ] || continue
  log=$work/$name why="" expect=1 sims=() status=0 silent=()
  mkdir -p "$log"
  [ "$pick" = home ] || expect=$servers
  [ "$pick" != typed ] || silent=(--no-discovery --stop-after 3)
  for ((k = 1; k <= servers; k++)); do
    start server$k "$sim" --bind 0.0.0.0 --max-seconds 60 "${silent[@]}" >/dev/null 2>"$log/sim$k"
    sims+=("$pid")
  done
  sleep 0.3  # the simulators bind their sockets
  start client "$monitor" 2>"$log/monitor"
  monitor_pid=$pid
  drive || true
  kill "$monitor_pid" 2>/dev/null || true
  wait "$monitor_pid" || status=$?
  want=0
  [ "$pick" != typed ] || want=1
  [ -n "$why" ] || [ "$status" = "$want" ] || why="the monitor ended with status $status, not $want"
  kill "${sims[@]}" 2>/dev/null || true
  [ -z "$why" ] || { tail -n 8 "$log"/*; on client xdotool key Escape || true; }
  row_result "$name ($wm: $servers server(s), tab $tab, $pick, about $about, $close)" "$why"
done <<<"$table"
finish
