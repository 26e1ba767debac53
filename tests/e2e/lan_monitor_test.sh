#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The offscreen monitor test in a LAN client; the one server ignores the search and stops after three
# replies.   lan_monitor_test.sh LAN_SH PRINTSIM MONITOR_TEST
set -euo pipefail
lan_sh=$1 sim=$2 monitor_test=$3
. "$(dirname "$0")/../support/lib.sh"

need_lan
lan_up --servers 1
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --no-discovery --stop-after 3
QT_QPA_PLATFORM=offscreen on client "$monitor_test"
