#!/bin/bash
# kestrum-probe end to end on private namespace LANs (needs root; exit 77,
# SKIPPED, elsewhere):
#  - LAN A: server1 and server2 serve fixed scenarios (paper out, off line,
#    fault, unknown size, 8-bit names), server3 is silent, server4 sends
#    oversized replies; the checks run in the client (probe_lan_e2e).
#  - LAN B: one server reached only as the default gateway; discover finds it.
#   probe_lan_test.sh LAN_SH PRINTSIM PROBE E2E_BINARY
set -u
lan_sh=$1 sim=$2 probe=$3 e2e=$4

bash "$lan_sh" check || exit $?
work=$(mktemp -d)
a=$(bash "$lan_sh" name)
b="$a-gw"
cleanup() {
    bash "$lan_sh" down "$a" >/dev/null 2>&1
    bash "$lan_sh" down "$b" >/dev/null 2>&1
    wait
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Scenarios that hold still: one phase each. Names and users in Latin-1 bytes.
cp "$(dirname "$0")/still_scenario.txt" "$work/a.txt"
printf '%s\n' \
    "printer slot=0 name=\"Drucker K$(printf '\xfc')che\" queue=2" \
    "job user=\"J$(printf '\xf6')rg\" addr=10.1.2.3 size=unknown" \
    "timeline 0x8c:1" \
    "printer slot=1 name=\"Imprimante $(printf '\xe9')t$(printf '\xe9')\" port=lpt" \
    "timeline idle:1" >"$work/b.txt"

# sim LAN NODE OUT ARGS...: a simulator that ends by itself; waits until it listens.
sim() {
    local lan=$1 node=$2 out=$3; shift 3
    bash "$lan_sh" exec "$lan" "$node" -- "$sim" --port 60000 --max-seconds 80 --quiet "$@" >"$out" 2>&1 &
}
wait_listening() {
    for _ in $(seq 50); do grep -q '^listening ' "$1" && return 0; sleep 0.1; done
    fail "simulator did not start: $(cat "$1")"
}

bash "$lan_sh" up "$a" --servers 4 >/dev/null || { rc=$?; [ $rc = 77 ] && exit 77; fail "lan up ($rc)"; }
sim "$a" server1 "$work/s1" --bind 0.0.0.0 --scenario "$work/a.txt"
sim "$a" server2 "$work/s2" --bind 0.0.0.0 --scenario "$work/b.txt"
sim "$a" server3 "$work/s3" --bind 0.0.0.0 --no-discovery --stop-after 0
sim "$a" server4 "$work/s4" --bind 0.0.0.0 --no-discovery --reply oversized
for k in 1 2 3 4; do wait_listening "$work/s$k"; done

bash "$lan_sh" exec "$a" client -- env KESTRUM_PROBE="$probe" SCENARIO_A="$work/a.txt" SCENARIO_B="$work/b.txt" \
    "$e2e" || fail "checks on LAN A"

# The gateway fallback: bound to its unicast address the server never hears
# the broadcast, only the probe sent to the client's default gateway.
bash "$lan_sh" up "$b" --servers 1 --gateway-server 1 >/dev/null || fail "lan up (gateway)"
sim "$b" server1 "$work/g1" --bind 10.213.0.1
wait_listening "$work/g1"
start=$(date +%s%N)
found=$(bash "$lan_sh" exec "$b" client -- "$probe" discover --timeout 8)
rc=$?
took=$(( ($(date +%s%N) - start) / 1000000 ))
echo "gateway LAN: discover said '$found' (exit $rc) in $took ms"
[ "$rc" = 0 ] && [ "$found" = "10.213.0.1" ] || fail "discover did not find the gateway-only server"
[ "$took" -lt 6000 ] || fail "discover took $took ms"
echo PASS
