#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# One function of the offscreen monitor test in the client of a private LAN.
#   lan_monitor_test.sh LAN_SH PRINTSIM MONITOR_TEST LAYOUT
# Layouts: two (two servers answer the broadcast), gateway (one server, reached
# only as the default gateway), none (nobody answers; the address is typed).
set -euo pipefail
lan_sh=$1 sim=$2 monitor_test=$3 layout=$4
. "$(dirname "$0")/../support/lib.sh"

need_lan
case "$layout" in
  two) lan_up --servers 2
    sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet
    sim server2 "$work/s2.log" --bind 0.0.0.0 --quiet
    fn=twoServers ;;
  gateway) lan_up --servers 1 --gateway-server 1
    # Bound to its own address it never sees the broadcast, only the probe sent to the gateway.
    sim server1 "$work/s1.log" --bind 10.213.0.1 --quiet
    fn=gatewayOnly ;;
  none) lan_up --servers 1
    sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --no-discovery --stop-after 3
    fn=typedAddressThenServerFallsSilent ;;
  *) echo "unknown layout $layout" >&2; exit 64 ;;
esac
QT_QPA_PLATFORM=offscreen on client "$monitor_test" "$fn"
