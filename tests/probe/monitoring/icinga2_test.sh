#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Icinga 2 with the shipped CheckCommand "kestrum" from a staged install,
# beside the whole Icinga Template Library (so its name clashes with none), on
# a private configuration that writes nothing outside the test's folder:
# `icinga2 daemon -C` accepts it, and then the daemon itself, in the client of
# a namespace LAN, runs the installed check_kestrum for each service: the
# command lines it builds and the states it records must be the expected ones.
# Needs root, namespaces and Debian's icinga2-bin.
#   icinga2_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -u
lan_sh=$1 sim=$2 probe=$3 cmake=$4 build=$5
command -v icinga2 >/dev/null || { echo "SKIP: needs icinga2 (Debian's icinga2-bin and icinga2-common)"; exit 77; }
here=$(dirname "$0")
. "$here/../namespaces.sh"
. "$here/stage.sh"

lan=$(bash "$lan_sh" name)
up "$lan" --servers 2
sim "$lan" server1 "$work/s1.log" --bind 0.0.0.0 --scenario "$here/nagios_scenario.txt"
sim "$lan" server2 "$work/s2.log" --bind 0.0.0.0 --stop-after 0  # answers discovery, never a status request
stage_probe

i=$work/icinga2
mkdir -p "$i/cache" "$i/lib" "$i/log" "$i/spool" "$i/run" "$i/results"
cat >"$i/icinga2.conf" <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
const ManubulonPluginDir = PluginDir
const PluginContribDir = "$stage/usr/lib/nagios/plugins"
const NodeName = "kestrum-test"
const ZoneName = NodeName
include <itl>
include <plugins>
include <plugins-contrib>
include "$stage/usr/share/icinga2/include/plugins-contrib.d/kestrum.conf"
include "$here/icinga2_objects.conf"

object CheckerComponent "checker" { }
// The command lines it runs, at notice level.
object FileLogger "commands" {
	path = "$i/log/commands.log"
	severity = "notice"
}
// Every service check result as host/service, state and output, a file a second.
object PerfdataWriter "results" {
	service_perfdata_path = "$i/results/service"
	service_temp_path = "$i/results/service.tmp"
	host_perfdata_path = "$i/results/host"
	host_temp_path = "$i/results/host.tmp"
	service_format_template = "\$host.name\$/\$service.name\$\t\$service.state\$\t\$service.output\$"
	rotation_interval = 1s
}
CONF
private=(-DConfiguration.RunAsUser="$(id -un)" -DConfiguration.RunAsGroup="$(id -gn)"
    -DConfiguration.CacheDir="$i/cache" -DConfiguration.DataDir="$i/lib" -DConfiguration.LogDir="$i/log"
    -DConfiguration.SpoolDir="$i/spool" -DConfiguration.InitRunDir="$i/run" -DConfiguration.PidPath="$i/run/icinga2.pid"
    -DConfiguration.StatePath="$i/lib/icinga2.state" -DConfiguration.ModAttrPath="$i/lib/modified-attributes.conf"
    -DConfiguration.ObjectsPath="$i/cache/icinga2.debug" -DConfiguration.VarsPath="$i/cache/icinga2.vars")

icinga2 daemon -C -c "$i/icinga2.conf" "${private[@]}" >"$work/validate.log" 2>&1
rc=$?
cat "$work/validate.log"
[ $rc = 0 ] || fail "icinga2 daemon -C rejected the configuration ($rc)"
grep -q 'Instantiated 5 Services' "$work/validate.log" || fail "not every service was instantiated"

# The daemon; the LAN's teardown ends it and its helpers.
bash "$lan_sh" exec "$lan" client -- icinga2 daemon -c "$i/icinga2.conf" "${private[@]}" >"$work/daemon.log" 2>&1 &

plugin="'$stage/usr/lib/nagios/plugins/check_kestrum'"
declare -A command=(
    [ps1/printers]="$plugin '-H' '10.213.0.1':"
    [ps1/queue]="$plugin '-H' '10.213.0.1' '-c' '5' '-w' '2':"
    [ps1/front-desk]="$plugin '--ignore-offline' '--printer' 'Front Desk' '-H' '10.213.0.1':"
    [ps1/verbose]="$plugin '-v' '-v' '-H' '10.213.0.1':"
    [ps2/printers]="$plugin '-H' '10.213.0.2' '-t' '0.5:warning':"
)
declare -A result=(
    [ps1/printers]=$'OK\tKESTRUM OK: 2 of 2 printers ready on 10.213.0.1'
    [ps1/queue]=$'WARNING\tKESTRUM WARNING: Back Office 3 jobs queued (warning 2)'
    [ps1/front-desk]=$'OK\tKESTRUM OK: 1 of 1 printer ready on 10.213.0.1'
    [ps1/verbose]=$'OK\tKESTRUM OK: 2 of 2 printers ready on 10.213.0.1'
    [ps2/printers]=$'WARNING\tKESTRUM WARNING: no reply from 10.213.0.2 within 0.5 s'
)
# latest SERVICE: its last recorded state and output.
latest() { cat "$i/results/service."[0-9]* 2>/dev/null | grep -F "$1"$'\t' | tail -n 1 | cut -f 2-; }
for _ in $(seq 60); do
    missing=()
    for s in "${!command[@]}"; do
        grep -qF "Running command ${command[$s]}" "$i/log/commands.log" 2>/dev/null ||
            missing+=("$s: command ${command[$s]}")
    done
    for s in "${!result[@]}"; do
        [[ "$(latest "$s")" == "${result[$s]}"* ]] || missing+=("$s: want '${result[$s]}...', got '$(latest "$s")'")
    done
    [ ${#missing[@]} = 0 ] && break
    sleep 0.5
done
grep -F 'Running command' "$i/log/commands.log" | sed 's/^.*Running command //; s/: PID [0-9]*$//' | sort -u
for s in "${!command[@]}"; do printf '%s\t%s\n' "$s" "$(latest "$s")"; done | sort
[ ${#missing[@]} = 0 ] || fail "Icinga 2 did not show within 30 s: $(printf '\n  %s' "${missing[@]}")"
echo PASS
