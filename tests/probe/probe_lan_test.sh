#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum-probe on namespace LANs made by lan.sh, which is checked on the way: the host never changes and
# `down` leaves nothing. A: still scenarios on server1/2, silent server3, oversized server4 (3 and 4 do not
# answer discovery); B: one server reached only as the default gateway.   probe_lan_test.sh LAN_SH PRINTSIM PROBE
set -euo pipefail
lan_sh=$1 sim=$2 probe=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/lib.sh"
host_view() {
  ip -o link show | awk '{print $2}'
  ip -o addr show | awk '{print $2, $3, $4}'
  ip -4 route show table all
}

need jq
need_lan
before=$(host_view)
lan_up --servers 4
grep -qx "server2 10.213.0.2" "$work/lan-$lan.txt" || fail "unexpected layout: $(cat "$work/lan-$lan.txt")"
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --scenario "$here/still_scenario.txt"
sim server2 "$work/s2.log" --bind 0.0.0.0 --quiet --scenario "$here/latin1_scenario.txt"  # a name and a user in Latin-1
sim server3 "$work/s3.log" --bind 0.0.0.0 --quiet --no-discovery --stop-after 0
sim server4 "$work/s4.log" --bind 0.0.0.0 --quiet --no-discovery --reply oversized
[ "$(host_view)" = "$before" ] || fail "the host's interfaces or routes changed while the LAN is up"
answers=$(on client "$sim" --probe 255.255.255.255 --broadcast --wait-ms 1000 | grep '^answer ' | sort)
[ "$answers" = $'answer 10.213.0.1:60000 1 55\nanswer 10.213.0.2:60000 1 55' ] ||
  fail "expected one one-byte 0x55 answer from server1 and server2, got: $answers"
# status: each printer as its scenario has it, 8-bit texts in UTF-8; the silent server makes the exit code 1.
rc=0
on client "$probe" status --json 10.213.0.1 10.213.0.2 10.213.0.3 10.213.0.4 >"$work/status.json" || rc=$?
got=$(jq -r '.servers[] | "\(.outcome) \(.reply_bytes)",
  (.printers[] | "  \(.slot) \(.status) \(.name) \(.user) \(.size) \(.printed)")' "$work/status.json")
want='reply 960
  1 ON-LINE Ready Idle  null null
  2 PAPER OUT Paper Tray alice 47.08K Bytes Size Counting...
  3 OFFLINE Off Line bob UNKNOWN UNKNOWN
  5 ERROR Jammed carol 2.00K Bytes Size Counting...
reply 960
  1 BUSY Drucker Küche Jörg UNKNOWN UNKNOWN
silent null
oversized 961'
[ "$rc $got" = "1 $want" ] || fail "status: exit code $rc,"$'\n'"$got"
bash "$lan_sh" down "$lan" || fail "lan.sh down failed"
! ip netns list | grep -qF -- "$lan-" || fail "namespaces left after down"

# Bound to its own address the server never hears the broadcast, only the
# probe sent to the client's default gateway.
lan_up --servers 1 --gateway-server 1
route=$(on client ip route show default)
[ "${route% }" = "default via 10.213.0.1 dev lan0" ] || fail "unexpected default route: '$route'"
sim server1 "$work/g1.log" --bind 10.213.0.1 --quiet
found=$(on client "$probe" discover --timeout 8) || fail "discover on the gateway LAN"
[ "$found" = 10.213.0.1 ] || fail "discover found '$found', not the gateway-only server"
bash "$lan_sh" down "$lan" || fail "lan.sh down (gateway LAN) failed"
[ "$(host_view)" = "$before" ] || fail "the host's interfaces or routes changed"
echo PASS
