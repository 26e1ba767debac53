#!/bin/bash
# An installed or unpacked program, as a user runs it: in the client namespace of a
# private test LAN, on an Xvfb display, driven by keys. It must find the
# server, poll the one picked, and end cleanly on Escape.
#   packaged_monitor_test.sh LAN_SH PRINTSIM MONITOR [gateway MODULE]
# With "gateway" the only server is the client's default gateway and answers
# only on its own address, so only the gateway fallback finds it; the agent
# module that the monitor loaded for that must be the file MODULE.
# Exits 77 (skipped) where namespaces or Xvfb are not to be had.
set -u
lan_sh=$1 printsim=$2 monitor=$3 layout=${4:-broadcast} module=${5:-}

bash "$lan_sh" check || exit $?
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: needs Xvfb and xdotool"; exit 77; }
lan=$(bash "$lan_sh" name)
work=$(mktemp -d)
trap 'bash "$lan_sh" down "$lan" >/dev/null 2>&1; rm -rf "$work"' EXIT
run() { bash "$lan_sh" exec "$lan" client -- "$@"; }
fail() { echo "FAIL: $*"; echo "--- simulator log"; cat "$work/sim.log"; exit 1; }

if [ "$layout" = gateway ]; then
    # Bound to its unicast address it never sees the broadcast.
    bash "$lan_sh" up "$lan" --servers 1 --gateway-server 1 >/dev/null || exit 1
    bind=$(bash "$lan_sh" addr "$lan" server1)
else
    bash "$lan_sh" up "$lan" --servers 1 >/dev/null || exit 1
    bind=0.0.0.0
fi
bash "$lan_sh" exec "$lan" server1 -- "$printsim" --bind "$bind" --port 60000 --max-seconds 60 \
    >/dev/null 2>"$work/sim.log" &
display=:$((90 + RANDOM % 400))
run Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do run xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if [ "$layout" = gateway ]; then
    # The dynamic loader names every file it opens; the monitor itself reads no
    # environment.
    run env LD_DEBUG=files "$monitor" 2>"$work/monitor.log" &
else
    run "$monitor" 2>"$work/monitor.log" &
fi
monitor_pid=$!

# The list appears once the search is over (2 s after the last answer).
for _ in $(seq 100); do grep -q "probe, answered" "$work/sim.log" && break; sleep 0.1; done
if ! grep -q "probe, answered" "$work/sim.log"; then
    [ "$layout" = gateway ] && fail "no probe reached the gateway (was the agent module found?)"
    fail "the monitor sent no discovery probe"
fi
if [ "$layout" = gateway ]; then
    loaded=$(grep -o 'file=[^ ]*inetmib1[^ ]*' "$work/monitor.log" | sed 's/^file=//' | sort -u)
    [ -n "$loaded" ] || fail "no agent module was loaded"
    for file in $loaded; do
        [ "$(realpath "$file")" = "$(realpath "$module")" ] ||
            fail "the agent module was loaded from $file, not $module"
    done
fi
sleep 3
run xdotool key Down Return           # the first (only) server, then OK

for _ in $(seq 100); do grep -q "status request #2" "$work/sim.log" && break; sleep 0.1; done
grep -q "status request #2" "$work/sim.log" || fail "the chosen server was not polled"
grep -q "10.213.0.100:.* status request" "$work/sim.log" || fail "the requests came from elsewhere"

run xdotool key Escape                # closes the main window through the shutdown
for _ in $(seq 100); do kill -0 "$monitor_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$monitor_pid" 2>/dev/null; then
    kill "$monitor_pid"
    fail "the monitor did not end on Escape"
fi
wait "$monitor_pid"
status=$?
[ "$status" = 0 ] || fail "the monitor ended with status $status"
echo "PASS: found ($layout), polled and closed the shipped monitor"
