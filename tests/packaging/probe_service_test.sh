#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The packaged unit without a running systemd: verify is silent, offline exposure at most MAX_EXPOSURE,
# and its command line answers /metrics, with the shipped ARGS and moved elsewhere.
#   probe_service_test.sh DEB_DIR UNIT_RUN_SH [MAX_EXPOSURE]
set -euo pipefail
deb_dir=$1 unit_run=$2 max_exposure=${3:-1.5}
. "$(dirname "$0")/../support/lib.sh"
command -v systemd-analyze >/dev/null || fail "needs systemd-analyze (Debian's systemd package)"
root=$work/root unit=lib/systemd/system/kestrum-probe.service
for package in kestrum-probe kestrum-agent-module; do dpkg -x "$(deb "$package")" "$root"; done
chmod 0755 "$root"  # the service's user must reach the program

# verify loads the unit in the unpacked tree with this host's units beside it
# and checks that its program exists there; man pages are the host's, if any.
cp -a -n /lib/systemd/system/. "$root/lib/systemd/system/"
out=$(systemd-analyze verify --root="$root" --man=no "/$unit" 2>&1) && [ -z "$out" ] ||
  fail "systemd-analyze verify: $out"
out=$(systemd-analyze security --offline=true --root="$root" "/$unit" 2>&1) || true
echo "$out" | grep -E '^[✗!] |Overall' || true
exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$out")
[ -n "$exposure" ] || fail "systemd-analyze security printed no exposure level: $out"
awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }' || fail "exposure $exposure is above $max_exposure"
echo "systemd-analyze verify: clean; security --offline=true: exposure $exposure (at most $max_exposure)"

bash "$unit_run" "$root"
sed -i 's|^ARGS=.*|ARGS="--web.listen-address=127.0.0.2:19150"|' "$root/etc/default/kestrum-probe"
bash "$unit_run" "$root" 127.0.0.2:19150
