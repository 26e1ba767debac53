#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Nagios 4 runs the staged check_kestrum through the shipped commands on a LAN; forced checks give OK,
# WARNING on the jobs range and CRITICAL for a silent server.
#   nagios_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -euo pipefail
. "$(dirname "$0")/../../support/lib.sh"
need nagios4
. "$(dirname "$0")/stage.sh"
n=$work/n
mkdir -p "$n/checkresults"
fill nagios.cfg.in "$n/nagios.cfg"
echo "\$USER1\$=$stage/usr/lib/nagios/plugins" >"$n/resource.cfg"
nagios4 -v "$n/nagios.cfg" >"$work/verify.log" 2>&1 || fail "nagios4 -v rejects the configuration"
! grep -E '^(Warning|Error)' "$work/verify.log" || fail "nagios4 -v warns about the configuration"
start client nagios4 "$n/nagios.cfg" >"$work/nagios4.log" 2>&1
wait_for 100 test -p "$n/nagios.cmd" -a -f "$n/status.dat" || fail "Nagios did not open its command file"

# status HOST SERVICE: last check, state, output and performance data from status.dat.
status() {
  awk -v h="$1" -v s="$2" '
    /^servicestatus \{/ { b = 1; delete v; next }
    b && /^\t\}/ { b = 0; if (v["host_name"] == h && v["service_description"] == s)
      printf "%s\t%s\t%s\t%s\n", v["last_check"], v["current_state"], v["plugin_output"], v["performance_data"] }
    b { sub(/^\t/, ""); k = $0; sub(/=.*/, "", k); sub(/^[^=]*=/, ""); v[k] = $0 }' "$n/status.dat"
}
checked() { [ "$(status "$1" "$2" | cut -f 1)" -ge "$3" ]; }
# expect HOST SERVICE STATE OUTPUT_START [PERFDATA_PART]: a forced check, its result within 30 s.
expect() {
  local at=$(($(date +%s) + 1)) last state output perf
  timeout 5 sh -c 'echo "$0" >"$1"' "[$at] SCHEDULE_FORCED_SVC_CHECK;$1;$2;$at" "$n/nagios.cmd" ||
    fail "cannot write to Nagios's command file"
  wait_for 300 checked "$1" "$2" "$at" || fail "$1/$2: no check result within 30 s"
  IFS=$'\t' read -r last state output perf <<<"$(status "$1" "$2")"
  [ "$state" = "$3" ] && [[ "$output" == "$4"* ]] && [[ "$perf" == *"${5:-}"* ]] ||
    fail "$1/$2: want $3 '$4...' '${5:-}', got $state '$output' '$perf'"
}
expect ps1 printers 0 "KESTRUM OK: 2 of 2 printers ready on 10.213.0.1"
expect ps1 queue 1 "KESTRUM WARNING: Back Office 3 jobs queued (warning 2)" "'Back Office jobs'=3;2;5;0"
expect ps1 front-desk 0 "KESTRUM OK: 1 of 1 printer ready on 10.213.0.1"
expect ps2 printers 2 "KESTRUM CRITICAL: no reply from 10.213.0.2 within 0.5 s"
echo PASS
