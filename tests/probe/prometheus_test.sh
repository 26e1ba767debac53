#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A real Prometheus scrapes kestrum-probe's exporter on a namespace LAN, with
# the targets from `discover --format file-sd`: it must show the printers'
# states, and kestrum_up 0 (a scrape within its time-out) for the silent
# server. Needs root and Debian's prometheus; SKIPPED without them.
#   prometheus_test.sh LAN_SH PRINTSIM PROBE
set -u
lan_sh=$1 sim=$2 probe=$3
command -v prometheus >/dev/null && command -v jq >/dev/null || { echo "SKIP: needs prometheus and jq"; exit 77; }
. "$(dirname "$0")/namespaces.sh"
in_client() { bash "$lan_sh" exec "$lan" client -- "$@"; }

lan=$(bash "$lan_sh" name)
up "$lan" --servers 3
sim "$lan" server1 "$work/s1.log" --bind 0.0.0.0 --scenario "$work/a.txt"
sim "$lan" server2 "$work/s2.log" --bind 0.0.0.0 --scenario "$work/b.txt"
sim "$lan" server3 "$work/s3.log" --bind 0.0.0.0 --stop-after 0  # answers discovery, never a status request
in_client "$probe" discover --format file-sd --timeout 6 >"$work/targets.json" || fail "discover found nobody"
[ "$(jq -c '.[0].targets' "$work/targets.json")" = '["10.213.0.1","10.213.0.2","10.213.0.3"]' ] ||
    fail "unexpected file_sd list: $(cat "$work/targets.json")"

in_client "$probe" serve --listen 127.0.0.1:9150 >"$work/serve.log" 2>&1 &
cat >"$work/prometheus.yml" <<YAML
global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}
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

api() { in_client curl -s --max-time 2 "http://127.0.0.1:9090/api/v1/$1" --data-urlencode "query=${2:-}"; }
# value QUERY: the single sample's value, or nothing.
value() { api query "$1" | jq -r 'if (.data.result | length) == 1 then .data.result[0].value[1] else empty end'; }
declare -A want=(
    ['kestrum_up{instance="10.213.0.1"}']=1
    ['kestrum_up{instance="10.213.0.2"}']=1
    ['kestrum_up{instance="10.213.0.3"}']=0
    ['kestrum_printer_ready{instance="10.213.0.1",slot="1"}']=1
    ['kestrum_printer_paper_out{instance="10.213.0.1",slot="2"}']=1
    ['kestrum_printer_online{instance="10.213.0.1",slot="3"}']=0
    ['kestrum_printer_fault{instance="10.213.0.1",slot="5"}']=1
    ['kestrum_printer_document_bytes{instance="10.213.0.1",slot="2"}']=48213
    ['count(kestrum_printer_document_bytes{instance="10.213.0.2"})']=''
    ['count(kestrum_printer_info{printer="Drucker Küche",port="bidirectional",slot="1",instance="10.213.0.2"})']=1
)
end=$((SECONDS + 40))
for _ in $(seq 40); do
    missing=()
    for q in "${!want[@]}"; do
        got=$(value "$q")
        [ "$got" = "${want[$q]}" ] || missing+=("$q: want '${want[$q]}', got '$got'")
    done
    [ ${#missing[@]} = 0 ] || [ $SECONDS -ge $end ] && break
    sleep 1
done
[ ${#missing[@]} = 0 ] || fail "Prometheus did not show: $(printf '\n  %s' "${missing[@]}")"
# Users and their addresses never become labels.
labels=$(api labels | jq -c '.data')
case "$labels" in *user*|*alice*) fail "a user label reached Prometheus: $labels" ;; esac
echo PASS
