#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The packages installed (CI=true only: it changes the system). kestrum-probe alone first: version,
# discovery through the gateway with the installed module, the service's command line; then
# usbkestrum beside it, run from /usr. dpkg -r keeps only the probe's conffile, --purge leaves no file,
# user or group.   probe_install_test.sh DEB_DIR LAN_SH UNIT_RUN_SH SHIPPED_MONITOR_TEST
set -euo pipefail
deb_dir=$1 lan_sh=$2 unit_run=$3 shipped_test=$4
. "$(dirname "$0")/../support/lib.sh"
packages=(kestrum-agent-module kestrum-probe usbkestrum)
known() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "${2:-installed}"; }

[ "${CI:-}" = true ] || skip "installs packages, so only with CI=true"
need_root
debs=("$(deb kestrum-agent-module)" "$(deb kestrum-probe)" "$(deb usbkestrum)")
for package in "${packages[@]}"; do ! known "$package" || skip "$package is installed here already"; done
dpkg -x "$(deb kestrum-printsim)" "$work/sim"
sim=$work/sim/usr/bin/kestrum-printsim
# Debian's packages that ours depend on, before the snapshot: they are no trace of the probe.
missing=()
for name in $(for d in "${debs[@]}"; do dpkg-deb -f "$d" Depends; done | tr ',' '\n' |
  sed 's/(.*)//; s/|.*//; s/[[:space:]]//g' | grep -v -x -e '' -e kestrum-agent-module); do
  known "$name" "install ok installed" || missing+=("$name")
done
[ ${#missing[@]} = 0 ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${missing[@]}" >"$work/apt.log" 2>&1 || fail "apt-get install ${missing[*]} failed"
snapshot >"$work/before.txt"

at_exit 'dpkg --purge "${packages[@]}" >/dev/null 2>&1'
dpkg -i "${debs[@]:0:2}" >"$work/dpkg.log" 2>&1 || fail "dpkg -i ${packages[*]:0:2} failed"
[ -L /etc/systemd/system/multi-user.target.wants/kestrum-probe.service ] || fail "the service was not enabled"
version=$(kestrum-probe --version) || fail "kestrum-probe --version failed"
dpkg-query -W -f='${Version}' kestrum-probe | grep -qF "$(grep -o '[0-9][0-9.]*' <<<"$version" | head -n 1)" ||
  fail "--version says '$version', the package $(dpkg-query -W -f='${Version}' kestrum-probe)"
echo "installed and enabled: ${packages[*]:0:2} ($version)"

module=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/usbkestrum/libinetmib1.so
# Only the client's default gateway serves; the installed probe finds it
# through the module it loads from its private folder.
need_lan
lan_up --servers 1 --gateway-server 1
sim server1 "$work/g1.log" --bind 10.213.0.1 --max-seconds 30 --quiet
found=$(on client env LD_DEBUG=files kestrum-probe discover --timeout 8 2>"$work/ld.txt") || fail "discover failed"
[ "$found" = 10.213.0.1 ] || fail "discover found '$found', not the gateway-only server"
loaded=$(grep -o 'file=[^ ]*inetmib1[^ ]*' "$work/ld.txt" | sed 's/^file=//' | sort -u)
[ -n "$loaded" ] || fail "no module was loaded"
for file in $loaded; do
  [ "$(realpath "$file")" = "$module" ] || fail "the module was loaded from $file, not $module"
done
bash "$unit_run" ""

dpkg -i "${debs[2]}" >"$work/dpkg.log" 2>&1 || fail "dpkg -i usbkestrum failed"
bash "$shipped_test" "$lan_sh" "$sim" /usr/bin/usbkestrum "$module"
dpkg -r kestrum-probe usbkestrum >"$work/dpkg.log" 2>&1 || fail "dpkg -r kestrum-probe usbkestrum failed"
[ ! -e /usr/bin/kestrum-probe ] && [ ! -e /usr/bin/usbkestrum ] || fail "a program outlived dpkg -r"
[ -f /etc/default/kestrum-probe ] || fail "dpkg -r took the conffile"
dpkg --purge "${packages[@]}" >"$work/dpkg.log" 2>&1 || fail "dpkg --purge failed"
snapshot | diff "$work/before.txt" - || fail "installing and purging the packages changed files, users or groups"
echo "PASS: installed, worked, removed and purged without a trace"
