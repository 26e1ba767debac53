#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# lan.sh itself: two simulators answer one broadcast, a unicast request gets a full reply, the gateway LAN
# routes through its server, `down` leaves nothing and the host never changes.   lan_discovery_test.sh LAN_SH PRINTSIM
set -euo pipefail
lan_sh=$1 sim=$2
. "$(dirname "$0")/../support/lib.sh"
host_view() {
  ip -o link show | awk '{print $2}'
  ip -o addr show | awk '{print $2, $3, $4}'
  ip -4 route show table all
}

need_lan
before=$(host_view)
lan_up --servers 2
grep -qx "server2 10.213.0.2" "$work/lan-$lan.txt" || fail "unexpected layout: $(cat "$work/lan-$lan.txt")"
for k in 1 2; do
  sim server$k "$work/s$k.log" --bind 0.0.0.0 --max-seconds 20 --quiet
  grep -qx 'listening 0.0.0.0:60000' "$work/s$k.log" || fail "server$k listens elsewhere"
done
[ "$(host_view)" = "$before" ] || fail "the host's interfaces or routes changed while the LAN is up"
probe=$(on client "$sim" --probe 255.255.255.255 --broadcast --wait-ms 2000 | grep '^answer ' | sort)
[ "$probe" = $'answer 10.213.0.1:60000 1 55\nanswer 10.213.0.2:60000 1 55' ] ||
  fail "expected one one-byte 0x55 answer from each server, got: $probe"
reply=$(on client "$sim" --request 10.213.0.2 --wait-ms 1000 | awk 'NR == 1')
[ "$reply" = "reply 960" ] || fail "expected a 960-byte reply, got: $reply"
bash "$lan_sh" down "$lan" || fail "lan.sh down failed"
! ip netns list | grep -qF -- "$lan-" || fail "namespaces left after down"

lan_up --servers 2 --gateway-server 2
route=$(on client ip route show default)
[ "${route% }" = "default via 10.213.0.2 dev lan0" ] || fail "unexpected default route: '$route'"
bash "$lan_sh" down "$lan" || fail "lan.sh down (gateway LAN) failed"
[ "$(host_view)" = "$before" ] || fail "the host's interfaces or routes changed"
echo PASS
