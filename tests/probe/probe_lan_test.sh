#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum-probe end to end on namespace LANs (needs root; SKIPPED elsewhere).
# LAN A: server1 and server2 serve still scenarios (paper out, off line, fault,
# unknown size, 8-bit names), server3 is silent, server4 sends oversized
# replies; probe_lan_e2e checks from the client. LAN B: one server reached only
# as the client's default gateway, which discover must find.
#   probe_lan_test.sh LAN_SH PRINTSIM PROBE E2E_BINARY
set -u
lan_sh=$1 sim=$2 probe=$3 e2e=$4
. "$(dirname "$0")/namespaces.sh"

a=$(bash "$lan_sh" name)
up "$a" --servers 4
sim "$a" server1 "$work/s1.log" --bind 0.0.0.0 --scenario "$work/a.txt"
sim "$a" server2 "$work/s2.log" --bind 0.0.0.0 --scenario "$work/b.txt"
sim "$a" server3 "$work/s3.log" --bind 0.0.0.0 --no-discovery --stop-after 0
sim "$a" server4 "$work/s4.log" --bind 0.0.0.0 --no-discovery --reply oversized
bash "$lan_sh" exec "$a" client -- env KESTRUM_PROBE="$probe" SCENARIO_A="$work/a.txt" SCENARIO_B="$work/b.txt" \
    "$e2e" || fail "checks on LAN A"

# Bound to its unicast address the server never hears the broadcast, only the
# probe sent to the client's default gateway.
up "$a-gw" --servers 1 --gateway-server 1
sim "$a-gw" server1 "$work/g1.log" --bind 10.213.0.1
found=$(bash "$lan_sh" exec "$a-gw" client -- "$probe" discover --timeout 8) || fail "discover on the gateway LAN"
[ "$found" = "10.213.0.1" ] || fail "discover found '$found', not the gateway-only server"
echo PASS
