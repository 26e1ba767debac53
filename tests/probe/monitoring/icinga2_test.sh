#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Icinga 2 with the staged CheckCommand and the Template Library: daemon -C accepts it, then the daemon in
# a LAN client builds the expected command lines and records the expected states.
#   icinga2_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -euo pipefail
. "$(dirname "$0")/../../support/lib.sh"
need icinga2
. "$(dirname "$0")/stage.sh"
i=$work/i
mkdir -p "$i/cache" "$i/lib" "$i/log" "$i/spool" "$i/run" "$i/results"
fill icinga2.conf.in "$i/icinga2.conf"
private=(-DConfiguration.RunAsUser="$(id -un)" -DConfiguration.RunAsGroup="$(id -gn)")
for d in CacheDir:cache DataDir:lib LogDir:log SpoolDir:spool InitRunDir:run PidPath:run/icinga2.pid \
  StatePath:lib/icinga2.state ModAttrPath:lib/modified-attributes.conf ObjectsPath:cache/icinga2.debug \
  VarsPath:cache/icinga2.vars; do
  private+=("-DConfiguration.${d%%:*}=$i/${d#*:}")
done
icinga2 daemon -C -c "$i/icinga2.conf" "${private[@]}" >"$work/validate.log" 2>&1 ||
  fail "icinga2 daemon -C rejected the configuration"
grep -q 'Instantiated 5 Services' "$work/validate.log" || fail "not every service was instantiated"
start client icinga2 daemon -c "$i/icinga2.conf" "${private[@]}" >"$work/daemon.log" 2>&1

plugin="'$stage/usr/lib/nagios/plugins/check_kestrum'"
# SERVICE|the arguments Icinga 2 passes|the state and output recorded
want="ps1/printers|'-H' '10.213.0.1'|OK	KESTRUM OK: 2 of 2 printers ready on 10.213.0.1
ps1/queue|'-H' '10.213.0.1' '-c' '5' '-w' '2'|WARNING	KESTRUM WARNING: Back Office 3 jobs queued (warning 2)
ps1/front-desk|'--ignore-offline' '--printer' 'Front Desk' '-H' '10.213.0.1'|OK	KESTRUM OK: 1 of 1 printer ready on \
10.213.0.1
ps1/verbose|'-v' '-v' '-H' '10.213.0.1'|OK	KESTRUM OK: 2 of 2 printers ready on 10.213.0.1
ps2/printers|'-H' '10.213.0.2' '-t' '0.5:warning'|WARNING	KESTRUM WARNING: no reply from 10.213.0.2 within 0.5 s"
latest() { cat "$i/results/service."[0-9]* 2>/dev/null | grep -F "$1"$'\t' | tail -n 1 | cut -f 2- || true; }
missing() {
  local s args result
  while IFS='|' read -r s args result; do
    grep -qF "Running command $plugin $args:" "$i/log/commands.log" 2>/dev/null || echo "$s: command $args"
    [[ "$(latest "$s")" == "$result"* ]] || echo "$s: want '$result...', got '$(latest "$s")'"
  done <<<"$want"
}
wait_for 60 eval '[ -z "$(missing)" ] || { sleep 0.4; false; }' ||
  fail "Icinga 2 did not show in 30 s:"$'\n'"$(missing)"
echo PASS
