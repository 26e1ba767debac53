#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the monitor and runs it against the bundled print-server simulator,
# all inside a private network namespace so that its broadcast never leaves
# this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

usage() {
  cat <<'TEXT'
usage: scripts/demo.sh [--screenshot FILE [--screenshot-again FILE2] [--seconds N] [--dpi N]]
Builds the monitor and runs it against the print-server simulator inside a
private network namespace, on the current display. With --screenshot it runs
under Xvfb and openbox instead: it picks the first server, selects a printer,
waits N seconds (default 6) and saves a screenshot of the window to FILE;
--screenshot-again saves a second one to FILE2 three seconds later; --dpi
draws it for a screen of that density (default 96; 192 is twice as dense).
TEXT
}

shot=""; shot2=""; seconds=6; dpi=96
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) shot=$(realpath -m "$2"); shift 2 ;;
    --screenshot-again) shot2=$(realpath -m "$2"); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --dpi) dpi=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo.sh: unknown option $1 (try --help)" >&2; exit 64 ;;
  esac
done

if [ -z "$shot" ] && [ -z "${DISPLAY:-}" ]; then
  echo "demo.sh: no display (DISPLAY is not set)." \
    "Run it on a desktop, or use --screenshot FILE to run under Xvfb." >&2
  exit 1
fi

if [ "${KESTRUM_DEMO_INSIDE:-}" != 1 ]; then
  scripts/install-deps.sh
  scripts/build.sh build usbkestrum kestrum-printsim inetmib1 >/dev/null
fi
bin="$top/build/bin"

# Saves the screen, cut to the main window and its frame when the window is found.
shoot() {  # shoot FILE RUN...
  local file=$1; shift
  "$@" import -window root "$file"
  local id geometry
  id=$("$@" xdotool search --onlyvisible --name '^USB Kestrum' 2>/dev/null | head -1)
  if [ -n "$id" ]; then
    # The client's place on the screen, widened by the frame the window manager drew round it.
    geometry=$("$@" bash -c '
      read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n "s/.*= //p" | tr -d ,)
      eval "$(xwininfo -id "$1" | sed -n -e "s/ *Absolute upper-left X: */x=/p" \
        -e "s/ *Absolute upper-left Y: */y=/p" -e "s/ *Width: */w=/p" -e "s/ *Height: */h=/p")"
      echo "$((w + ${l:-0} + ${r:-0}))x$((h + ${t:-0} + ${b:-0}))+$((x - ${l:-0}))+$((y - ${t:-0}))"' _ "$id")
    "$@" convert "$file" -crop "$geometry" +repage "$file"
  fi
  echo "demo.sh: screenshot saved to $file"
}

# What the monitor does on screen: the first server, then the first printer.
drive_and_shoot() {  # drive_and_shoot RUN... : RUN prefixes the commands that reach the display
  "$@" bash -c 'sleep 3.5; xdotool key Home Return; sleep 1.5; xdotool key Down Down'
  sleep "$seconds"
  shoot "$shot" "$@"
  if [ -n "$shot2" ]; then
    sleep 3
    shoot "$shot2" "$@"
  fi
}

run_monitor() {  # run_monitor RUN... : starts Xvfb and a window manager if asked, then the monitor
  if [ -n "$shot" ]; then
    "$@" Xvfb :73 -screen 0 $((800 * dpi / 96))x$((600 * dpi / 96))x24 -nolisten tcp >/dev/null 2>&1 &
    export DISPLAY=:73
    for _ in $(seq 50); do "$@" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    # A desktop's window manager, as the monitor meets it on a user's screen.
    "$@" openbox --sm-disable >/dev/null 2>&1 &
    for _ in $(seq 50); do "$@" wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
    # The desktop's font resolution, which Qt scales the windows by (set while
    # the window manager keeps the display from resetting).
    [ "$dpi" = 96 ] || "$@" xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi"
    "$@" "$bin/usbkestrum" &
    drive_and_shoot "$@"
  else
    echo "demo.sh: two simulated print servers answer on the private LAN; close the monitor to end the demo."
    "$@" "$bin/usbkestrum"
  fi
}

# As root: a private LAN of namespaces with two print servers on hosts of their own.
if [ "$(id -u)" = 0 ] && [ "${KESTRUM_DEMO_INSIDE:-}" != 1 ] && bash tests/netns/lan.sh check >/dev/null 2>&1; then
  lan=$(bash tests/netns/lan.sh name)
  trap 'bash tests/netns/lan.sh down "$lan" >/dev/null 2>&1' EXIT
  bash tests/netns/lan.sh up "$lan" --servers 2 >/dev/null
  for k in 1 2; do
    bash tests/netns/lan.sh exec "$lan" server$k -- "$bin/kestrum-printsim" --bind 0.0.0.0 --port 60000 \
      --max-seconds 3600 --quiet >/dev/null 2>&1 &
  done
  sleep 0.3
  run_monitor bash tests/netns/lan.sh exec "$lan" client --
  exit 0
fi

# Otherwise: one namespace of our own (a user namespace when not root), with a
# veth pair whose far end carries the print server.
if [ "${KESTRUM_DEMO_INSIDE:-}" != 1 ]; then
  export KESTRUM_DEMO_INSIDE=1
  args=(--seconds "$seconds" --dpi "$dpi")
  [ -n "$shot" ] && args+=(--screenshot "$shot")
  [ -n "$shot2" ] && args+=(--screenshot-again "$shot2")
  if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec unshare -n "$0" "${args[@]}"
  elif unshare -rn true 2>/dev/null; then
    exec unshare -rn "$0" "${args[@]}"
  fi
  echo "demo.sh: cannot create a private network namespace here (needs root, or unprivileged user" \
    "namespaces); not running the demo, so that no broadcast reaches a real network." >&2
  exit 1
fi

pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
ip link set lo up
ip link add kst-client type veth peer name kst-servers
ip addr add 10.213.0.100/24 dev kst-client
ip addr add 10.213.0.1/24 dev kst-servers
ip link set kst-client up
ip link set kst-servers up
ip route add 255.255.255.255/32 dev kst-client
"$bin/kestrum-printsim" --bind 0.0.0.0 --port 60000 --max-seconds 3600 --quiet >/dev/null 2>&1 &
pids+=($!)
sleep 0.3
run_monitor env
