#!/bin/bash
# A real Prometheus scrapes kestrum-probe's exporter on a namespace LAN: the
# target list comes from `kestrum-probe discover --format file-sd`, Prometheus
# and the exporter listen on loopback inside the client namespace, and the
# query API must show the printers' states and kestrum_up 0 for the silent
# server. Needs root and Debian's prometheus; exit 77 (SKIPPED) without them.
#   prometheus_test.sh LAN_SH PRINTSIM PROBE
set -u
lan_sh=$1 sim=$2 probe=$3

command -v prometheus >/dev/null || { echo "SKIP: no prometheus (apt-get install prometheus)"; exit 77; }
command -v jq >/dev/null || { echo "SKIP: no jq"; exit 77; }
bash "$lan_sh" check || exit $?
work=$(mktemp -d)
lan=$(bash "$lan_sh" name)
cleanup() {
    bash "$lan_sh" down "$lan" >/dev/null 2>&1
    wait
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- prometheus log" >&2; tail -20 "$work/prometheus.log" >&2
    echo "--- exporter log" >&2; cat "$work/serve.log" >&2
    exit 1
}
in_client() { bash "$lan_sh" exec "$lan" client -- "$@"; }

cp "$(dirname "$0")/still_scenario.txt" "$work/a.txt"
printf '%s\n' "printer slot=0 name=\"Drucker K$(printf '\xfc')che\" queue=2" \
    "job user=dave addr=10.1.2.3 size=unknown" "timeline 0x8c:1" >"$work/b.txt"

bash "$lan_sh" up "$lan" --servers 3 >/dev/null || { rc=$?; [ $rc = 77 ] && exit 77; fail "lan up ($rc)"; }
for k in 1 2 3; do
    case $k in
        1) extra=(--scenario "$work/a.txt") ;;
        2) extra=(--scenario "$work/b.txt") ;;
        3) extra=(--stop-after 0) ;;  # answers discovery, never a status request
    esac
    bash "$lan_sh" exec "$lan" "server$k" -- "$sim" --bind 0.0.0.0 --max-seconds 90 --quiet "${extra[@]}" \
        >"$work/s$k.log" 2>&1 &
done
for k in 1 2 3; do
    for _ in $(seq 50); do grep -q '^listening ' "$work/s$k.log" && break; sleep 0.1; done
done

in_client "$probe" discover --format file-sd --timeout 6 >"$work/targets.json" || fail "discover found nobody"
[ "$(jq -c '.[0].targets' "$work/targets.json")" = '["10.213.0.1","10.213.0.2","10.213.0.3"]' ] ||
    fail "unexpected file_sd list: $(cat "$work/targets.json")"

in_client "$probe" serve --listen 127.0.0.1:9150 >"$work/serve.log" 2>&1 &
cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: kestrum
    metrics_path: /probe
    file_sd_configs:
      - files: ['$work/targets.json']
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: 127.0.0.1:9150
  - job_name: kestrum_exporter
    static_configs:
      - targets: ['127.0.0.1:9150']
YAML
in_client prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address=127.0.0.1:9090 --log.level=warn >"$work/prometheus.log" 2>&1 &

api() { in_client curl -s --max-time 2 "http://127.0.0.1:9090/api/v1/query" --data-urlencode "query=$1"; }
# value QUERY: the single sample's value, or nothing.
value() { api "$1" | jq -r 'if (.data.result | length) == 1 then .data.result[0].value[1] else empty end'; }

declare -A want=(
    ['kestrum_up{instance="10.213.0.1"}']=1
    ['kestrum_up{instance="10.213.0.2"}']=1
    ['kestrum_up{instance="10.213.0.3"}']=0
    ['kestrum_printer_ready{instance="10.213.0.1",slot="1"}']=1
    ['kestrum_printer_paper_out{instance="10.213.0.1",slot="2"}']=1
    ['kestrum_printer_online{instance="10.213.0.1",slot="3"}']=0
    ['kestrum_printer_fault{instance="10.213.0.1",slot="5"}']=1
    ['kestrum_printer_jobs_queued{instance="10.213.0.1",slot="5"}']=3
    ['kestrum_printer_document_bytes{instance="10.213.0.1",slot="2"}']=48213
    ['kestrum_printer_busy{instance="10.213.0.2",slot="1"}']=1
    ['count(kestrum_printer_document_bytes{instance="10.213.0.2"})']=''
    ['count(kestrum_printer_info{instance="10.213.0.3"})']=''
    ['kestrum_printers{instance="10.213.0.1"}']=4
    ['count(kestrum_printer_info{printer="Drucker Küche",port="bidirectional",slot="1",instance="10.213.0.2"})']=1
    ['sum(kestrum_exporter_probes_total{outcome="silent"}) > bool 0']=1
    ['max(scrape_duration_seconds{job="kestrum"}) < bool 1']=1
)
start=$(date +%s)
while :; do
    missing=()
    for q in "${!want[@]}"; do
        got=$(value "$q")
        [ "$got" = "${want[$q]}" ] || missing+=("$q: want '${want[$q]}', got '$got'")
    done
    [ ${#missing[@]} = 0 ] && break
    [ $(($(date +%s) - start)) -lt 40 ] || fail "Prometheus did not show: $(printf '\n  %s' "${missing[@]}")"
    sleep 1
done
echo "Prometheus shows every state after $(($(date +%s) - start)) s"
api 'kestrum_up' | jq -c '[.data.result[] | {instance: .metric.instance, up: .value[1]}]'
# Users and their addresses never become labels.
labels=$(in_client curl -s --max-time 2 "http://127.0.0.1:9090/api/v1/labels" | jq -c '.data')
case "$labels" in *user*|*alice*) fail "a user label reached Prometheus: $labels" ;; esac
echo PASS
