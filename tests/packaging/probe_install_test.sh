#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum-probe installed alone, as on a headless monitoring host: dpkg -i of it
# and the module package it depends on (Debian's packages it needs are
# installed first if missing), then the installed program at work: its
# version, the status of a simulator on a private loopback, discovery through
# the client's default gateway on a namespace LAN (which loads the installed
# module from its private folder), and the service's own command line under a
# user of no account (probe_unit_run.sh). dpkg -r must keep only the conffile
# and dpkg --purge must leave no file, user or group behind.
# Changes the system, so it runs with CI=true only (skipped elsewhere).
#   probe_install_test.sh DEB_DIR LAN_SH UNIT_RUN_SH
set -u
deb_dir=$1 lan_sh=$2 unit_run=$3
packages=(kestrum-agent-module kestrum-probe)
work=$(mktemp -d)
lan=
installed=0
cleanup() {
    [ -n "$lan" ] && bash "$lan_sh" down "$lan" >/dev/null 2>&1
    [ "$installed" = 1 ] && dpkg --purge "${packages[@]}" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -s "$work/log" ] && cat "$work/log"; exit 1; }
deb() { ls "$deb_dir/${1}_"*.deb 2>/dev/null | head -1; }

[ "${CI:-}" = true ] || { echo "SKIP: installs packages, so only with CI=true"; exit 77; }
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
debs=()
for package in "${packages[@]}"; do
    [ -n "$(deb "$package")" ] || fail "no $package package in $deb_dir (scripts/package.sh builds it)"
    debs+=("$(deb "$package")")
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed" &&
        { echo "SKIP: $package is installed here already"; exit 77; }
done
[ -n "$(deb kestrum-printsim)" ] || fail "no kestrum-printsim package in $deb_dir"
dpkg -x "$(deb kestrum-printsim)" "$work/sim" || fail "cannot unpack the simulator"
sim=$work/sim/usr/bin/kestrum-printsim

# Debian's packages that ours depend on, before the snapshot: installing them
# is not the probe's trace.
missing=()
for name in $(for d in "${debs[@]}"; do dpkg-deb -f "$d" Depends; done | tr ',' '\n' |
              sed 's/(.*)//; s/|.*//; s/[[:space:]]//g' | grep -v -x -e '' -e kestrum-agent-module); do
    dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed" || missing+=("$name")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing what the packages need: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >"$work/log" 2>&1 ||
        fail "apt-get install ${missing[*]} failed"
fi

snapshot() {
    find /usr /etc /opt /var/lib/dpkg/info /var/lib/systemd -xdev 2>/dev/null |
        grep -v -e '^/var/lib/dpkg/info/.*\.list-new$' | sort
    getent passwd | cut -d: -f1,3 | sort
    getent group | cut -d: -f1,3 | sort
}
snapshot >"$work/before.txt" || fail "cannot list the file system"

dpkg -i "${debs[@]}" >"$work/log" 2>&1 || fail "dpkg -i ${packages[*]} failed"
installed=1
for f in $(dpkg -L "${packages[@]}"); do [ -e "$f" ] || fail "dpkg -L lists $f, which is not there"; done
dpkg-query -W -f='${Conffiles}' kestrum-probe | grep -q ' /etc/default/kestrum-probe ' ||
    fail "/etc/default/kestrum-probe is no conffile"
[ -L /etc/systemd/system/multi-user.target.wants/kestrum-probe.service ] ||
    fail "the service was not enabled on install"
# The installed unit, with its man page in place this time.
out=$(systemd-analyze verify /lib/systemd/system/kestrum-probe.service 2>&1) && [ -z "$out" ] ||
    fail "systemd-analyze verify of the installed unit: $out"
echo "installed: ${packages[*]}; kestrum-probe.service enabled, verified"

version=$(kestrum-probe --version) || fail "kestrum-probe --version failed"
echo "kestrum-probe --version: $version"
dpkg-query -W -f='${Version}' kestrum-probe | grep -qF "$(grep -o '[0-9][0-9.]*' <<<"$version" | head -1)" ||
    fail "--version says '$version', the package $(dpkg-query -W -f='${Version}' kestrum-probe)"

# The simulator and the probe in a namespace where only loopback exists.
status=$(unshare -n -- bash -c 'ip link set lo up || exit 1
    "$0" --bind 127.0.0.1 --port 60000 --max-seconds 30 --quiet & sim=$!
    for _ in $(seq 50); do out=$(kestrum-probe status --json 127.0.0.1) && break; sleep 0.1; done
    kill "$sim"; echo "$out"' "$sim" 2>"$work/log") || fail "kestrum-probe status failed"
grep -q '"printers"' <<<"$status" || fail "kestrum-probe status printed no printers: $status"
echo "kestrum-probe status against the simulator on loopback: $(grep -o '"name"' <<<"$status" | wc -l) names"

# Only the client's default gateway serves; the installed probe finds it
# through the module it loads from its private folder.
bash "$lan_sh" check >/dev/null || fail "no namespace LAN can be made here"
lan=$(bash "$lan_sh" name)
bash "$lan_sh" up "$lan" --servers 1 --gateway-server 1 >/dev/null || fail "no LAN"
bash "$lan_sh" exec "$lan" server1 -- "$sim" --bind 10.213.0.1 --max-seconds 30 --quiet >/dev/null 2>&1 &
found=$(bash "$lan_sh" exec "$lan" client -- env LD_DEBUG=files kestrum-probe discover --timeout 8 2>"$work/ld.log") ||
    fail "kestrum-probe discover failed"
[ "$found" = 10.213.0.1 ] || fail "discover found '$found', not the gateway-only server"
module=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/usbkestrum/libinetmib1.so
loaded=$(grep -o 'file=[^ ]*inetmib1[^ ]*' "$work/ld.log" | sed 's/^file=//' | sort -u)
[ -n "$loaded" ] || fail "no module was loaded"
for file in $loaded; do
    [ "$(realpath "$file")" = "$module" ] || fail "the module was loaded from $file, not $module"
done
echo "kestrum-probe discover found the gateway-only server through $module"

bash "$unit_run" "" || exit 1

dpkg -r kestrum-probe >"$work/log" 2>&1 || fail "dpkg -r kestrum-probe failed"
[ -e /usr/bin/kestrum-probe ] && fail "the program outlived dpkg -r"
[ -f /etc/default/kestrum-probe ] || fail "dpkg -r took the conffile"
dpkg --purge "${packages[@]}" >"$work/log" 2>&1 || fail "dpkg --purge failed"
installed=0
for package in "${packages[@]}"; do
    case "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" in
    *not-installed* | "") ;;
    *) fail "$package is still known to dpkg after the purge" ;;
    esac
done
snapshot | diff "$work/before.txt" - || fail "installing and purging the packages changed files, users or groups"
echo "PASS: installed alone, worked, removed and purged without a trace"
