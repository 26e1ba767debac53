#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A real Prometheus with the staged rules scrapes the exporter on a LAN: exactly the four alerts below
# become pending.   prometheus_alerts_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -euo pipefail
lan_sh=$1 sim=$2 probe=$3 cmake=$4 build=$5
. "$(dirname "$0")/../../support/lib.sh"
need prometheus curl jq
. "$(dirname "$0")/stage.sh"

lan_up --servers 3
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --scenario "$here/nagios_scenario.txt"
sim server2 "$work/s2.log" --bind 0.0.0.0 --quiet --scenario "$here/../still_scenario.txt"
sim server3 "$work/s3.log" --bind 0.0.0.0 --quiet --stop-after 0
echo '[{"labels": {}, "targets": ["10.213.0.1", "10.213.0.2", "10.213.0.3"]}]' >"$work/targets.json"
start client "$probe" serve --listen 127.0.0.1:9150 >"$work/serve.log" 2>&1
rules="'$stage/usr/share/kestrum-probe/kestrum-probe.rules.yml'" fill prometheus.yml.in "$work/prometheus.yml"
start client prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address=127.0.0.1:9090 --log.level=warn >"$work/prometheus.log" 2>&1

want='KestrumPrintServerDown 10.213.0.3 -
KestrumPrinterFault 10.213.0.2 Jammed
KestrumPrinterOffline 10.213.0.2 Off Line
KestrumPrinterPaperOut 10.213.0.2 Paper Tray'
alerts() {  # every alert as NAME INSTANCE PRINTER, sorted
  on client curl -s --max-time 2 http://127.0.0.1:9090/api/v1/alerts |
    jq -r '.data.alerts[] | "\(.labels.alertname) \(.labels.instance) \(.labels.printer // "-")"' | sort
}
wait_for 400 eval '[ "$(alerts)" = "$want" ]' || fail "Prometheus's alerts after 40 s:"$'\n'"$(alerts)"
echo "$want"
echo PASS
