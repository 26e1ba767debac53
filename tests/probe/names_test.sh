#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Host names on a namespace LAN, with no real DNS: dnsmasq on server1 serves test.lan, server2 is a name
# server that never answers, server1 and server3 run simulators. The client's and server3's resolv.conf
# and hosts come from /etc/netns/NODE/, as `ip netns exec` gives them.   names_test.sh LAN_SH PRINTSIM PROBE
set -euo pipefail
lan_sh=$1 sim=$2 probe=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/lib.sh"

need dnsmasq curl
need_lan
lan_up --servers 3
netns_files() {  # NODE RESOLV_CONF HOSTS
  local dir=/etc/netns/$lan-$1
  mkdir -p "$dir" && at_exit "rm -rf '$dir'"
  printf '%s\n' "$2" >"$dir/resolv.conf"
  printf '%s\n' "$3" >"$dir/hosts"
}
netns_files client "nameserver 10.213.0.1" "10.213.0.1 hosts-only.lan"
netns_files s3 "nameserver 10.213.0.2" "127.0.0.1 localhost"
start server1 dnsmasq --keep-in-foreground --no-resolv --no-hosts --bind-interfaces --listen-address=10.213.0.1 \
  --local=/test.lan/ --address=/ps.test.lan/10.213.0.1 --address=/far.test.lan/10.213.0.3 --log-queries \
  --log-facility=- >"$work/dnsmasq.log" 2>&1
start server2 python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("10.213.0.2", 53)); print("listening 10.213.0.2:53", flush=True)
time.sleep(120)' >"$work/silent.log"
wait_listening "$work/silent.log" >/dev/null
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --scenario "$here/still_scenario.txt"
sim server3 "$work/s3.log" --bind 0.0.0.0
wait_for 50 grep -q 'started, version' "$work/dnsmasq.log" || fail "dnsmasq did not start"
start client "$probe" serve --web.listen-address 127.0.0.1:9151 --allow-target 10.213.0.1/32 >"$work/serve.log" 2>&1
wait_for 50 on client curl -sf -o /dev/null http://127.0.0.1:9151/ || fail "the exporter did not start"

# command | node | exit status (HTTP status for /probe) | a line the output must hold
rows='check -H ps.test.lan|client|2|1 of 4 printers ready on ps.test.lan |
check -H nx.test.lan|client|2|KESTRUM CRITICAL: cannot resolve nx.test.lan: not found
check -H ps.test.lan -t 1:UNKNOWN|server3|3|KESTRUM UNKNOWN: cannot resolve ps.test.lan: timed out
status ps.test.lan nx.test.lan|client|1|nx.test.lan: cannot resolve: not found
probe ps.test.lan|client|200|kestrum_up 1
probe hosts-only.lan|client|200|kestrum_up 1
probe nx.test.lan|client|200|kestrum_probe_failure{reason="resolve"} 1
probe far.test.lan|client|403|target far.test.lan (10.213.0.3) is outside every --allow-target range
probe ps.test.lan&debug=true|client|200|looked up ps.test.lan (IPv4: hosts file, then DNS) in'
echo "--- host names: dnsmasq on 10.213.0.1 serves test.lan, 10.213.0.2 never answers"
while IFS='|' read -r command node want line; do
  got=0
  if [ "${command%% *}" = probe ]; then
    out=$(on client curl -s -w '\n%{http_code}' --max-time 5 "http://127.0.0.1:9151/probe?target=${command#probe }")
    got=$(tail -n 1 <<<"$out")
  else
    # shellcheck disable=SC2086
    out=$(on "$node" "$probe" $command 2>&1) || got=$?
  fi
  why=""
  [ "$got" = "$want" ] || why="exit $got, not $want; "
  grep -qF -- "$line" <<<"$out" || why="${why}no '$line' in: $out"
  row_result "$command on $node" "$why"
done <<<"$rows"
grep -q 'status request' "$work/s3.log" && fail "a request reached the server outside --allow-target"
finish
