#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Debian's Nagios 4 runs the installed check_kestrum through the shipped
# command definitions (/etc/nagios-plugins/config/kestrum.cfg, read from a
# staged install as Debian's nagios.cfg reads that folder) on a namespace LAN,
# with a private configuration as root. Forced checks through the command file
# take each service in turn; status.dat must show OK, WARNING on the jobs
# range, OK for one printer named with a space, CRITICAL for a silent server,
# and CRITICAL once the first server stops answering. Needs root and nagios4.
#   nagios_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -u
lan_sh=$1 sim=$2 probe=$3 cmake=$4 build=$5
command -v nagios4 >/dev/null || { echo "SKIP: needs nagios4 (Debian's nagios4-core)"; exit 77; }
here=$(dirname "$0")
. "$here/../namespaces.sh"
. "$here/stage.sh"

lan=$(bash "$lan_sh" name)
up "$lan" --servers 2
sim "$lan" server1 "$work/s1.log" --bind 0.0.0.0 --scenario "$here/nagios_scenario.txt"
sim1=$!
sim "$lan" server2 "$work/s2.log" --bind 0.0.0.0 --stop-after 0  # answers discovery, never a status request
stage_probe

n=$work/nagios
mkdir -p "$n/checkresults"
cat >"$n/nagios.cfg" <<CFG
cfg_dir=$stage/etc/nagios-plugins/config
cfg_file=$here/nagios_objects.cfg
resource_file=$n/resource.cfg
log_file=$n/nagios.log
object_cache_file=$n/objects.cache
precached_object_file=$n/objects.precache
status_file=$n/status.dat
status_update_interval=1
command_file=$n/nagios.cmd
query_socket=$n/nagios.qh
lock_file=$n/nagios.lock
temp_file=$n/nagios.tmp
temp_path=$n
check_result_path=$n/checkresults
check_result_reaper_frequency=1
check_external_commands=1
nagios_user=root
nagios_group=root
interval_length=1
retain_state_information=0
enable_notifications=0
enable_flap_detection=0
log_rotation_method=n
use_syslog=0
illegal_macro_output_chars=\`~\$&|'"<>
CFG
echo "\$USER1\$=$stage/usr/lib/nagios/plugins" >"$n/resource.cfg"
nagios4 -v "$n/nagios.cfg" >"$work/verify.log" 2>&1 || fail "nagios4 -v rejects the configuration"
grep -E '^(Warning|Error)' "$work/verify.log" && fail "nagios4 -v warns about the configuration"

bash "$lan_sh" exec "$lan" client -- nagios4 "$n/nagios.cfg" >"$work/nagios4.log" 2>&1 &
nagios=$!
for _ in $(seq 100); do [ -p "$n/nagios.cmd" ] && [ -f "$n/status.dat" ] && break; sleep 0.1; done
[ -p "$n/nagios.cmd" ] || fail "Nagios did not open its command file"

# status HOST SERVICE: the service's last check, state, output and performance
# data from status.dat.
status() {
    awk -v h="$1" -v s="$2" '
        /^servicestatus \{/ { b = 1; delete v; next }
        b && /^\t\}/ { b = 0; if (v["host_name"] == h && v["service_description"] == s)
                                  printf "%s\t%s\t%s\t%s\n", v["last_check"], v["current_state"],
                                         v["plugin_output"], v["performance_data"]; next }
        b { sub(/^\t/, ""); k = $0; sub(/=.*/, "", k); sub(/^[^=]*=/, ""); v[k] = $0 }' "$n/status.dat"
}
# expect HOST SERVICE STATE OUTPUT_START [PERFDATA_PART]: a forced check a
# second from now, and its result within 30 s.
expect() {
    local host=$1 svc=$2 want=$3 text=$4 perfpart=${5:-} at line last state output perf
    at=$(( $(date +%s) + 1 ))
    timeout 5 sh -c 'printf "[%s] SCHEDULE_FORCED_SVC_CHECK;%s;%s;%s\n" "$1" "$2" "$3" "$1" >"$4"' \
        sh "$at" "$host" "$svc" "$n/nagios.cmd" || fail "cannot write to Nagios's command file"
    for _ in $(seq 300); do
        line=$(status "$host" "$svc")
        IFS=$'\t' read -r last state output perf <<<"$line"
        [ "${last:-0}" -ge "$at" ] && break
        sleep 0.1
    done
    [ "${last:-0}" -ge "$at" ] || fail "$host/$svc: no check result within 30 s (status.dat: '$line')"
    echo "$host/$svc: current_state=$state plugin_output=$output"
    [ "$state" = "$want" ] && [[ "$output" == "$text"* ]] ||
        fail "$host/$svc: want state $want and '$text...', got $state '$output'"
    [[ "$perf" == *"$perfpart"* ]] || fail "$host/$svc: no '$perfpart' in the performance data '$perf'"
}

expect ps1 printers 0 "KESTRUM OK: 2 of 2 printers ready on 10.213.0.1"
expect ps1 queue 1 "KESTRUM WARNING: Back Office 3 jobs queued (warning 2)" "'Back Office jobs'=3;2;5;0"
expect ps1 front-desk 0 "KESTRUM OK: 1 of 1 printer ready on 10.213.0.1"
expect ps2 printers 2 "KESTRUM CRITICAL: no reply from 10.213.0.2 within 0.5 s"
kill -TERM "$sim1"
for _ in $(seq 50); do kill -0 "$sim1" 2>/dev/null || break; sleep 0.1; done
kill -0 "$sim1" 2>/dev/null && fail "the simulator on server1 did not stop"
expect ps1 printers 2 "KESTRUM CRITICAL: no reply from 10.213.0.1 within 1 s"
# Nagios itself logged the change as a hard alert.
grep -F 'SERVICE ALERT: ps1;printers;CRITICAL;HARD;1;KESTRUM CRITICAL' "$n/nagios.log" ||
    fail "no hard alert in nagios.log"
echo "status.dat at the end:"
awk '/^servicestatus \{/,/^\t\}/' "$n/status.dat" |
    grep -E $'^\t(host_name|service_description|current_state|state_type|last_hard_state|plugin_output)='
kill -TERM "$nagios"
echo PASS
