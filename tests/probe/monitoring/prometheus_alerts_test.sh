#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A real Prometheus loads the installed alerting rules and scrapes the real
# exporter on a namespace LAN: server1 has two ready printers, server2 one
# printer in each state, server3 is silent. Exactly the four alerts below must
# become pending (their for: is minutes long), named by the printers, so the
# rules match the metrics and labels that the exporter really sends. Needs
# root, namespaces, Debian's prometheus, curl and jq.
#   prometheus_alerts_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -u
lan_sh=$1 sim=$2 probe=$3 cmake=$4 build=$5
for p in prometheus curl jq; do command -v $p >/dev/null || { echo "SKIP: needs $p"; exit 77; }; done
here=$(dirname "$0")
. "$here/../namespaces.sh"
. "$here/stage.sh"
in_client() { bash "$lan_sh" exec "$lan" client -- "$@"; }

lan=$(bash "$lan_sh" name)
up "$lan" --servers 3
sim "$lan" server1 "$work/s1.log" --bind 0.0.0.0 --scenario "$here/nagios_scenario.txt"
sim "$lan" server2 "$work/s2.log" --bind 0.0.0.0 --scenario "$work/a.txt"
sim "$lan" server3 "$work/s3.log" --bind 0.0.0.0 --stop-after 0
stage_probe
printf '[{"labels": {}, "targets": ["10.213.0.1", "10.213.0.2", "10.213.0.3"]}]\n' >"$work/targets.json"

in_client "$probe" serve --listen 127.0.0.1:9150 >"$work/serve.log" 2>&1 &
cat >"$work/prometheus.yml" <<YAML
global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}
rule_files: ['$stage/usr/share/kestrum-probe/kestrum-probe.rules.yml']
scrape_configs:
  - job_name: kestrum
    metrics_path: /probe
    file_sd_configs: [{files: ['$work/targets.json']}]
    relabel_configs:
      - {source_labels: [__address__], target_label: __param_target}
      - {source_labels: [__param_target], target_label: instance}
      - {target_label: __address__, replacement: 127.0.0.1:9150}
YAML
in_client prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address=127.0.0.1:9090 --log.level=warn >"$work/prometheus.log" 2>&1 &

want='KestrumPrintServerDown 10.213.0.3 -
KestrumPrinterFault 10.213.0.2 Jammed
KestrumPrinterOffline 10.213.0.2 Off Line
KestrumPrinterPaperOut 10.213.0.2 Paper Tray'
# alerts: every alert as NAME INSTANCE PRINTER, sorted.
alerts() {
    in_client curl -s --max-time 2 http://127.0.0.1:9090/api/v1/alerts |
        jq -r '.data.alerts[] | "\(.labels.alertname) \(.labels.instance) \(.labels.printer // "-")"' | sort
}
for _ in $(seq 40); do
    got=$(alerts)
    [ "$got" = "$want" ] && break
    sleep 1
done
echo "$got"
[ "$got" = "$want" ] || fail "Prometheus's alerts after 40 s:$(printf '\n  %s' "$got"), not:$(printf '\n  %s' "$want")"
echo PASS
