#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Brings up a private test LAN, starts simulators on it and runs one function
# of the offscreen monitor test in the client namespace.
#   lan_monitor_test.sh LAN_SH PRINTSIM MONITOR_TEST LAYOUT
# Layouts: two (two servers answer the broadcast), gateway (one server, reached
# only as the default gateway), none (nobody answers; the address is typed).
# Exits 77 (skipped) where namespaces cannot be made.
set -u
lan_sh=$1 printsim=$2 monitor_test=$3 layout=$4

bash "$lan_sh" check || exit $?
lan=$(bash "$lan_sh" name)
trap 'bash "$lan_sh" down "$lan" >/dev/null 2>&1' EXIT

sim() {  # sim NODE BIND ARGS...: a simulator that ends by itself
    local node=$1 bind=$2; shift 2
    bash "$lan_sh" exec "$lan" "$node" -- "$printsim" --bind "$bind" --port 60000 --max-seconds 60 --quiet "$@" \
        >/dev/null 2>&1 &
}

case "$layout" in
    two)
        bash "$lan_sh" up "$lan" --servers 2 || exit 1
        sim server1 0.0.0.0; sim server2 0.0.0.0
        fn=twoServers ;;
    gateway)
        bash "$lan_sh" up "$lan" --servers 1 --gateway-server 1 || exit 1
        # Bound to its unicast address it never sees the broadcast, only the
        # probe sent straight to the gateway.
        sim server1 10.213.0.1
        fn=gatewayOnly ;;
    none)
        bash "$lan_sh" up "$lan" --servers 1 || exit 1
        sim server1 0.0.0.0 --no-discovery --stop-after 3
        fn=typedAddressThenServerFallsSilent ;;
    *) echo "unknown layout $layout" >&2; exit 64 ;;
esac
sleep 0.5
QT_QPA_PLATFORM=offscreen bash "$lan_sh" exec "$lan" client -- "$monitor_test" "$fn"
