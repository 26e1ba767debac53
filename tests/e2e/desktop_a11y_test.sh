#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The shipped monitor as a screen reader meets it: on an Xvfb display in the
# client namespace of a private test LAN, with a private session bus and the
# AT-SPI registry, a walker (a11y_walk.py) reads every window through AT-SPI
# and drives it by keys. Three runs: two servers answer (server list, main
# window, state changes, About, "Connect Failed!"); none answers (address entry,
# blank-address box); and two answer again at 192 dpi (size and layout).
#   desktop_a11y_test.sh LAN_SH PRINTSIM MONITOR [SHOT_DIR]
# SHOT_DIR keeps the 192 dpi screenshot and the logs. Exits 77 (skipped)
# without namespaces, Xvfb, xdotool, dbus-run-session or Debian's pyatspi.
set -u
lan_sh=$1 printsim=$2 monitor=$3 shots=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # pyatspi is Debian's: not in another python3 on PATH

bash "$lan_sh" check || exit $?
for tool in Xvfb xdotool xwininfo xprop import dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "SKIP: needs $tool"; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "SKIP: needs python3-pyatspi"; exit 77; }

lan=$(bash "$lan_sh" name)
work=$(mktemp -d)
[ -n "$shots" ] || shots=$work
mkdir -p "$shots"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; bash "$lan_sh" down "$lan" >/dev/null 2>&1; rm -rf "$work"' EXIT
on() { local node=$1; shift; exec bash "$lan_sh" exec "$lan" "$node" -- "$@"; }
start() { on "$@" & }
wait_for() {
    local tenths=$1; shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

bash "$lan_sh" up "$lan" --servers 2 >/dev/null || exit 1

# A printer with an 8-bit name whose status changes every few replies and whose
# jobs (two users in turn) end every third; the server stops answering after
# 24 replies, which ends the first run.
printf '%s\n' \
    "printer slot=0 name=\"Caf$(printf '\xe9') Laser\" port=lpt step=50 queue=3" \
    'job user=alice addr=192.168.1.21 size=48213' \
    'job user=bob addr=192.168.1.34 size=2048' \
    'timeline print:3 paperout:1' \
    'printer slot=1 name="Label Writer" step=50' \
    'printer slot=2 name="Matrix 24"' >"$work/scenario.txt"

exec 3>"$work/display"
start client Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp -noreset >/dev/null 2>&1
pids+=($!)
exec 3>&-
wait_for 100 grep -q . "$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
wait_for 100 bash "$lan_sh" exec "$lan" client -- xdpyinfo || { echo "FAIL: no display $DISPLAY"; exit 1; }

servers() {  # servers STOP_AFTER: both simulators, the first with the scenario
    start server1 "$printsim" --bind 0.0.0.0 --port 60000 --max-seconds 90 --scenario "$work/scenario.txt" \
        --stop-after "$1" >"$work/sim1.log" 2>&1
    sims=($!)
    start server2 "$printsim" --bind 0.0.0.0 --port 60000 --max-seconds 90 >"$work/sim2.log" 2>&1
    sims+=($!)
    sleep 0.3
}
stop_servers() { for p in "${sims[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; }
walk() { bash "$lan_sh" exec "$lan" client -- dbus-run-session -- "$python" "$here/a11y_walk.py" "$@"; }

fails=0
if [ -z "${ONLY:-}" ]; then
servers 24
walk list "$monitor" "$shots" || fails=$((fails + 1))
stop_servers
walk entry "$monitor" || fails=$((fails + 1))
fi
# 192 dpi for the programs started from now on (-noreset keeps the setting
# when the last program leaves the display).
bash "$lan_sh" exec "$lan" client -- xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER 'Xft.dpi:	192'
servers 60
walk dpi "$monitor" "$shots" || fails=$((fails + 1))
stop_servers
[ "$fails" = 0 ] || { echo "FAIL: $fails of 3 runs"; exit 1; }
echo "PASS: all 3 runs"
