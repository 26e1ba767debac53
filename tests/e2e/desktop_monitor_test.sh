#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped monitor on an Xvfb display, under openbox or no window manager, in
# the client namespace of a private test LAN. Each row picks a server from the
# list, checks that only it is polled, may open the About box, closes the window
# and expects the program to end by itself with status 0.
#   desktop_monitor_test.sh LAN_SH PRINTSIM MONITOR WM   (WM: openbox or none)
# Exits 77 (skipped) without namespaces, Xvfb or the window manager.
set -u
lan_sh=$1 printsim=$2 monitor=$3 wm=$4

# servers 1 or 2 answer (10.213.0.1, .2); tab: Tab x3 round OK and Cancel first;
# pick home (Home, Return), down (Down, Return) or click (the last entry, then OK);
# about: the system menu by shift-f10 or menu, then the About entry; close: escape,
# wmctrl (the manager's polite close) or alt-f4. The caret starts on the first entry.
table="
one-home            openbox  1  0  home   -          wmctrl
one-tab-click       openbox  1  1  click  shift-f10  alt-f4
two-down            openbox  2  0  down   menu       wmctrl
two-tab-home        openbox  2  1  home   shift-f10  alt-f4
two-click           openbox  2  0  click  -          escape
bare-one-tab-down   none     1  1  down   menu       alt-f4
bare-two-home       none     2  0  home   shift-f10  escape
bare-two-tab-click  none     2  1  click  menu       alt-f4
"

bash "$lan_sh" check || exit $?
tools="Xvfb xdotool"; [ "$wm" = openbox ] && tools="$tools openbox wmctrl"
for tool in $tools; do command -v "$tool" >/dev/null || { echo "SKIP: needs $tool"; exit 77; }; done

lan=$(bash "$lan_sh" name)
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; bash "$lan_sh" down "$lan" >/dev/null 2>&1; rm -rf "$work"' EXIT
# Run in a node; the last exec leaves the started program with the pid that $! gives.
on() { local node=$1; shift; exec bash "$lan_sh" exec "$lan" "$node" -- "$@"; }
run() { (on client "$@"); }
start() { on "$@" & }  # start NODE COMMAND...: in the background
wait_for() {  # wait_for TENTHS COMMAND...: true once COMMAND succeeds
    local tenths=$1; shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
visible() { run xdotool search --onlyvisible --name "$1" | head -1 | grep .; }

bash "$lan_sh" up "$lan" --servers 2 >/dev/null || exit 1

# The display, in the client namespace, where the monitor runs.
exec 3>"$work/display"
start client Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1
pids+=($!)
exec 3>&-
wait_for 100 grep -q . "$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
wait_for 100 run xdpyinfo || { echo "FAIL: no display $DISPLAY"; exit 1; }
if [ "$wm" = openbox ]; then
    start client openbox --sm-disable >/dev/null 2>&1
    pids+=($!)
    wait_for 100 run wmctrl -m || { echo "FAIL: openbox did not start"; exit 1; }
fi

# Pixels in "Print Server IP List" (template units of 6 x 13 pixels): the list
# box from (29, 15), its entries 12 pixels high from y = 16; OK at (29, 166), 55 x 19.
readonly LIST_X=60 ENTRY_Y0=22 ENTRY_H=12 OK_X=56 OK_Y=175

fails=0
run_row() {  # run_row NAME SERVERS TAB PICK ABOUT CLOSE
    local name=$1 servers=$2 tab=$3 pick=$4 about=$5 close=$6
    local log="$work/$name" k expect=1 sims=() why=""
    mkdir -p "$log"
    for ((k = 1; k <= servers; k++)); do
        start server$k "$printsim" --bind 0.0.0.0 --port 60000 --max-seconds 60 >/dev/null 2>"$log/sim$k.log"
        sims+=($!)
    done
    sleep 0.3  # the simulators bind their sockets
    start client "$monitor" 2>"$log/monitor.log"
    local monitor_pid=$!
    [ "$pick" = home ] || expect=$servers
    drive() {  # sets why on the first failure
        local list
        list=$(wait_for 100 visible '^Print Server IP List$' && visible '^Print Server IP List$') ||
            { why="the server list did not open"; return; }
        for ((k = 1; k <= servers; k++)); do
            wait_for 50 grep -q "probe, answered" "$log/sim$k.log" || { why="server $k was not asked"; return; }
        done
        sleep 0.5  # the answers reach the list
        [ "$tab" = 1 ] && run xdotool key Tab Tab Tab
        case "$pick" in
            home) run xdotool key Home Return ;;
            down) run xdotool key Down Return ;;
            click) run xdotool mousemove --window "$list" $LIST_X $((ENTRY_Y0 + (servers - 1) * ENTRY_H)) click 1
                   run xdotool mousemove --window "$list" $OK_X $OK_Y click 1 ;;
        esac
        wait_for 50 visible "^USB Kestrum \\(Server IP: 10\\.213\\.0\\.$expect\\)\$" ||
            { why="the main window does not name 10.213.0.$expect"; return; }
        wait_for 50 grep -q "status request #2" "$log/sim$expect.log" ||
            { why="10.213.0.$expect was not polled"; return; }
        for ((k = 1; k <= servers; k++)); do
            [ "$k" != "$expect" ] && grep -q "status request" "$log/sim$k.log" &&
                { why="10.213.0.$k was polled too"; return; }
        done
        if [ "$about" != - ]; then
            if [ "$about" = menu ]; then run xdotool key Menu; else run xdotool key shift+F10; fi
            sleep 0.3
            # The underlined letter in some rows, the arrow keys in others.
            if [ $((servers + tab)) = 2 ]; then run xdotool key Down Return; else run xdotool key a; fi
            wait_for 50 visible '^About USB Kestrum$' || { why="$about did not lead to the About box"; return; }
            run xdotool key Return
            wait_for 50 bash -c "! bash '$lan_sh' exec '$lan' client -- \
                xdotool search --onlyvisible --name '^About USB Kestrum\$'" ||
                { why="the About box did not close"; return; }
        fi
        case "$close" in
            escape) run xdotool key Escape ;;
            alt-f4) run xdotool key alt+F4 ;;
            wmctrl) run wmctrl -c "USB Kestrum (Server IP: 10.213.0.$expect)" ;;
        esac
        wait_for 80 bash -c "! kill -0 $monitor_pid" || why="the monitor did not end after $close"
    }
    drive
    kill "$monitor_pid" 2>/dev/null
    wait "$monitor_pid"
    local status=$?
    [ -z "$why" ] && [ "$status" != 0 ] && why="the monitor ended with status $status"
    for p in "${sims[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    if [ -z "$why" ]; then
        echo "PASS: $name ($wm; $servers server(s), tab $tab, $pick, about $about, close $close)"
    else
        echo "FAIL: $name: $why"
        for f in "$log"/*.log; do echo "--- $(basename "$f")"; tail -n 8 "$f"; done
        fails=$((fails + 1))
        run xdotool key Escape 2>/dev/null
    fi
}

ran=0
while read -r name row_wm servers tab pick about close; do
    [ -n "$name" ] && [ "$row_wm" = "$wm" ] || continue
    run_row "$name" "$servers" "$tab" "$pick" "$about" "$close"
    ran=$((ran + 1))
done <<<"$table"
[ "$ran" -gt 0 ] && [ "$fails" = 0 ] || { echo "FAIL: $fails of $ran rows"; exit 1; }
echo "PASS: all $ran rows"
