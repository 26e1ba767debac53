#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# On a private namespace LAN: two simulators answer one broadcast probe, one
# answers a unicast status request with a full reply, a gateway-server LAN gives
# the client its default route, and the host's addresses and routes stay as they were.
#   lan_discovery_test.sh LAN_SH PRINTSIM
# Exit 77 (SKIPPED) where namespaces cannot be made.
set -u
lan=$1 sim=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
host_view() {
    ip -o link show | awk '{print $2}'
    ip -o addr show | awk '{print $2, $3, $4}'
    ip -4 route show table all
}

"$lan" check || exit $?
before=$(host_view)
work=$(mktemp -d)
name=$("$lan" name)
trap '"$lan" down "$name" >/dev/null 2>&1; "$lan" down "$name-gw" >/dev/null 2>&1; wait; rm -rf "$work"' EXIT

"$lan" up "$name" --servers 2 >"$work/up.txt"
rc=$?
[ $rc = 77 ] && exit 77
[ $rc = 0 ] || fail "lan.sh up failed ($rc)"
grep -qx "server2 10.213.0.2" "$work/up.txt" || fail "unexpected layout: $(cat "$work/up.txt")"
for k in 1 2; do
    "$lan" exec "$name" "server$k" -- "$sim" --bind 0.0.0.0 --max-seconds 20 --quiet \
        >"$work/s$k.out" 2>"$work/s$k.err" &
done
for k in 1 2; do
    for _ in $(seq 50); do grep -q '^listening ' "$work/s$k.out" 2>/dev/null && break; sleep 0.1; done
    grep -qx 'listening 0.0.0.0:60000' "$work/s$k.out" || fail "server$k did not start: $(cat "$work/s$k.err")"
done
[ "$(host_view)" = "$before" ] || fail "the host's interfaces or routes changed while the LAN is up"

probe=$("$lan" exec "$name" client -- "$sim" --probe 255.255.255.255 --broadcast --wait-ms 2000)
[ "$(printf '%s\n' "$probe" | grep '^answer ' | sort)" = "answer 10.213.0.1:60000 1 55
answer 10.213.0.2:60000 1 55" ] || fail "expected one one-byte 0x55 answer from each server, got: $probe"
reply=$("$lan" exec "$name" client -- "$sim" --request 10.213.0.2 --wait-ms 1000 | head -1)
[ "$reply" = "reply 960" ] || fail "expected a 960-byte reply, got: $reply"
"$lan" down "$name" || fail "lan.sh down failed"
[ -z "$(ip netns list | awk '{print $1}' | grep -F -- "$name-")" ] || fail "namespaces left after down"

# The gateway form: the client's default route points at the chosen server.
"$lan" up "$name-gw" --servers 2 --gateway-server 2 >/dev/null || fail "lan.sh up --gateway-server failed"
route=$("$lan" exec "$name-gw" client -- ip route show default)
[ "${route% }" = "default via 10.213.0.2 dev lan0" ] || fail "unexpected default route: '$route'"
"$lan" down "$name-gw" || fail "lan.sh down (gateway LAN) failed"
wait
[ "$(host_view)" = "$before" ] || fail "the host's interfaces or routes changed"
echo "PASS"
