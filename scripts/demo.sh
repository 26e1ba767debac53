#!/bin/bash
# Builds the monitor and runs it against the bundled print-server simulator,
# all inside a private network namespace so that its broadcast never leaves
# this machine.
#
#   scripts/demo.sh                      on the current display
#   scripts/demo.sh --screenshot FILE    under Xvfb: picks the first server,
#                                        selects a printer, saves a screenshot
#   scripts/demo.sh --screenshot FILE --screenshot-again FILE2 [--seconds N]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

shot=""; shot2=""; seconds=6
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) shot=$(realpath -m "$2"); shift 2 ;;
    --screenshot-again) shot2=$(realpath -m "$2"); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --inside) shift; break ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "demo.sh: unknown option $1" >&2; exit 64 ;;
  esac
done

if [ "${KESTRUM_DEMO_INSIDE:-}" != 1 ]; then
  if [ -z "$shot" ] && [ -z "${DISPLAY:-}" ]; then
    echo "demo.sh: no display (DISPLAY is not set). Run it on a desktop, or use --screenshot FILE to run under Xvfb." >&2
    exit 1
  fi
  scripts/install-deps.sh
  scripts/build.sh build >/dev/null
  export KESTRUM_DEMO_INSIDE=1 KESTRUM_TOP="$top"
  args=(--seconds "$seconds")
  [ -n "$shot" ] && args+=(--screenshot "$shot")
  [ -n "$shot2" ] && args+=(--screenshot-again "$shot2")
  # A namespace of our own: as root a plain one, otherwise one in a user namespace.
  if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec unshare -n "$0" "${args[@]}" --inside
  elif unshare -rn true 2>/dev/null; then
    exec unshare -rn "$0" "${args[@]}" --inside
  else
    echo "demo.sh: cannot create a private network namespace here (needs root, or unprivileged user namespaces); not running the demo, so that no broadcast reaches a real network." >&2
    exit 1
  fi
fi

# --- inside the private namespace from here on ---
bin="$KESTRUM_TOP/build/bin"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

# A little LAN inside the namespace: a veth pair whose far end carries two
# print servers. The limited broadcast goes out through it and is delivered
# to the servers listening on the wildcard address.
ip link set lo up
ip link add kst-client type veth peer name kst-servers
ip addr add 10.213.0.100/24 dev kst-client
ip addr add 10.213.0.1/24 dev kst-servers
ip addr add 10.213.0.2/24 dev kst-servers
ip link set kst-client up
ip link set kst-servers up
ip route add 255.255.255.255/32 dev kst-client

"$bin/kestrum-printsim" --bind 0.0.0.0 --port 60000 --max-seconds 3600 --quiet &
pids+=($!)
sleep 0.3

if [ -n "$shot" ]; then
  Xvfb :73 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:73
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  "$bin/usbkestrum" &
  monitor=$!
  pids+=($monitor)
  sleep 3.5                          # the search: 2 s after the last answer
  xdotool key Down Return            # the first server in the list, then OK
  sleep 1.5
  xdotool key Down Down              # the root, then the first printer
  sleep "$seconds"
  import -window root "$shot"
  echo "demo.sh: screenshot saved to $shot"
  if [ -n "$shot2" ]; then
    sleep 3
    import -window root "$shot2"
    echo "demo.sh: second screenshot saved to $shot2"
  fi
  kill "$monitor" 2>/dev/null || true
else
  echo "demo.sh: the simulator answers at 10.213.0.1; close the monitor to end the demo."
  "$bin/usbkestrum"
fi
