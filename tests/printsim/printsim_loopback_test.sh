#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The simulator on 127.0.0.1, checked with its own client modes: what each option makes it send.
#   printsim_loopback_test.sh PRINTSIM
set -euo pipefail
sim=$1
. "$(dirname "$0")/../support/lib.sh"
n=0

serve() {  # OPTIONS...: a server in the background; sets $pid, $port and $log (its stderr)
  n=$((n + 1)) log=$work/server$n.err
  "$sim" --bind 127.0.0.1 --port 0 --max-seconds 30 "$@" >"$work/server$n.out" 2>"$log" &
  pid=$!
  port=$(wait_listening "$work/server$n.out")
  port=${port##*:}
}
probe() {  # length and bytes of every answer to one probe
  { "$sim" --probe "127.0.0.1:$port" --wait-ms 500 || true; } |
    awk '/^answer /{printf "%s%s %s", n++ ? " " : "", $3, $4}'
}
request() {  # the first line of the answer to one status request, and slot 1's printed percent
  { "$sim" --request "127.0.0.1:$port" --wait-ms "${1:-2000}" || true; } |
    sed -n '1p;/^slot 1 /s/.* printed=\([^ ]*\) .*/\1/p' | paste -sd' '
}
stop() { kill -TERM "$pid"; wait "$pid" || fail "server exited $? on SIGTERM"; }
expect() { [ "$2" = "$3" ] || fail "$1: expected '$3', got '$2'"; }

while IFS='|' read -r -u 3 options what answer; do
  # shellcheck disable=SC2086
  serve --quiet $options
  if [ "$what" = probe ]; then got=$(probe); else got=$(request 500); fi
  expect "$what with '$options'" "$got" "$answer"
  stop
done 3<<'CASES'
|probe|1 55
|request|reply 960 0%
--reply short|request|reply 130 0%
--reply oversized|request|reply 961 0%
--delay-ms 50|request|reply 960 0%
--no-discovery|probe|
--answer-twice|probe|1 55 1 55
--discovery-reply oversized|probe|2 5555
--discovery-reply garbage|probe|1 54
CASES

serve --quiet --reply garbage  # never a proper length
got=$(request | awk '{print $2}')
[ "$got" -ge 2 ] 2>/dev/null && [ "$got" != 960 ] || fail "garbage reply of length '$got'"
stop

# Wrong datagrams are ignored and do not move the state; answered requests do.
serve
for d in '\xaa\xaa' '\x55\x00' '\x56' '\x00' "$(printf '\\x55%.0s' $(seq 960))"; do
  printf "$d" >/dev/udp/127.0.0.1/"$port"
done
wait_for 50 eval '[ "$(grep -c " ignored a " "$log")" = 5 ]' || true
expect "ignored datagrams" "$(grep -o 'ignored a [0-9]*-byte' "$log" | paste -sd,)" \
  "ignored a 2-byte,ignored a 2-byte,ignored a 1-byte,ignored a 1-byte,ignored a 960-byte"
for p in 0% 8% 16%; do expect "state" "$(request)" "reply 960 $p"; done
stop

# --stop-after answers exactly that many, then keeps running and still answers probes.
serve --quiet --stop-after 3
for a in "reply 960 0%" "reply 960 8%" "reply 960 16%" "no reply"; do expect "stop-after" "$(request 500)" "$a"; done
expect "probe after stop-after" "$(probe)" "1 55"
stop

# A bad scenario file ends it at once with status 65, naming the file and line; --max-seconds ends it by itself.
echo "printer slot=1 name=A step=500" >"$work/bad.txt"
rc=0
"$sim" --bind 127.0.0.1 --port 0 --max-seconds 5 --scenario "$work/bad.txt" >"$work/bad.out" 2>&1 || rc=$?
expect "bad scenario" "$rc $(cat "$work/bad.out")" \
  "65 kestrum-printsim: $work/bad.txt:1: step must be 1 to 100, got '500'"
serve --quiet --max-seconds 1
rc=0
wait "$pid" || rc=$?
expect "max-seconds" "$rc" 0
echo PASS
