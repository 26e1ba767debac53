#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A real Prometheus with the alerting rules scrapes the exporter on a LAN, the targets from `discover --format
# file-sd`: the printers' states, kestrum_up 0 for the silent server, and exactly the
# alerts below pending (the rules match what the exporter sends).   prometheus_test.sh LAN_SH PRINTSIM PROBE
set -euo pipefail
lan_sh=$1 sim=$2 probe=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/lib.sh"

need prometheus curl jq
need_lan
lan_up --servers 3
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --scenario "$here/still_scenario.txt"
sim server2 "$work/s2.log" --bind 0.0.0.0 --quiet --scenario "$here/latin1_scenario.txt"  # a name and a user in Latin-1
sim server3 "$work/s3.log" --bind 0.0.0.0 --quiet --stop-after 0  # answers discovery, never a status request
on client "$probe" discover --format file-sd --timeout 6 >"$work/targets.json" || fail "discover found nobody"
start client "$probe" serve --listen 127.0.0.1:9150 >"$work/serve.log" 2>&1
sed "s|@WORK@|$work|; s|@RULES@|'$here/../../probe/monitoring/kestrum-probe.rules.yml'|" \
  "$here/monitoring/prometheus.yml.in" >"$work/prometheus.yml"
start client prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address=127.0.0.1:9090 --log.level=warn >"$work/prometheus.log" 2>&1

api() { on client curl -s --max-time 2 "http://127.0.0.1:9090/api/v1/$1" ${2:+--data-urlencode "query=$2"}; }
value() { api query "$1" | jq -r 'if (.data.result | length) == 1 then .data.result[0].value[1] else empty end'; }
want='kestrum_up{instance="10.213.0.1"}|1
kestrum_up{instance="10.213.0.2"}|1
kestrum_up{instance="10.213.0.3"}|0
kestrum_printer_ready{instance="10.213.0.1",slot="1"}|1
kestrum_printer_document_bytes{instance="10.213.0.1",slot="2"}|48213
count(kestrum_printer_document_bytes{instance="10.213.0.2"})|
count(kestrum_printer_info{printer="Drucker Küche",port="bidirectional",slot="1",instance="10.213.0.2"})|1'
missing() {
  local q v
  while IFS='|' read -r q v; do
    [ "$(value "$q")" = "$v" ] || echo "$q: want '$v', got '$(value "$q")'"
  done <<<"$want"
}
wait_for 300 eval '[ -z "$(missing)" ]' || fail "Prometheus did not show:"$'\n'"$(missing)"
alerts='KestrumPrintServerDown 10.213.0.3 -
KestrumPrinterFault 10.213.0.1 Jammed
KestrumPrinterOffline 10.213.0.1 Off Line
KestrumPrinterPaperOut 10.213.0.1 Paper Tray'
pending() {
  api alerts | jq -r '.data.alerts[] | "\(.labels.alertname) \(.labels.instance) \(.labels.printer // "-")"' | sort
}
wait_for 400 eval '[ "$(pending)" = "$alerts" ]' || fail "Prometheus's alerts after 40 s:"$'\n'"$(pending)"
echo PASS
