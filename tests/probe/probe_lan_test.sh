#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum-probe on namespace LANs. A: still scenarios on server1/2, silent server3, oversized server4,
# checked by probe_lan_e2e; B: one server reached only as the default gateway.
#   probe_lan_test.sh LAN_SH PRINTSIM PROBE E2E_BINARY
set -euo pipefail
lan_sh=$1 sim=$2 probe=$3 e2e=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/lib.sh"

need_lan
lan_up --servers 4
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --scenario "$here/still_scenario.txt"
sim server2 "$work/s2.log" --bind 0.0.0.0 --quiet --scenario "$here/latin1_scenario.txt"  # a name and a user in Latin-1
sim server3 "$work/s3.log" --bind 0.0.0.0 --quiet --no-discovery --stop-after 0
sim server4 "$work/s4.log" --bind 0.0.0.0 --quiet --no-discovery --reply oversized
on client env KESTRUM_PROBE="$probe" SCENARIO_A="$here/still_scenario.txt" \
  SCENARIO_B="$here/latin1_scenario.txt" "$e2e" ||
  fail "checks on LAN A"

# Bound to its own address the server never hears the broadcast, only the
# probe sent to the client's default gateway.
lan_up --servers 1 --gateway-server 1
sim server1 "$work/g1.log" --bind 10.213.0.1 --quiet
found=$(on client "$probe" discover --timeout 8) || fail "discover on the gateway LAN"
[ "$found" = 10.213.0.1 ] || fail "discover found '$found', not the gateway-only server"
echo PASS
