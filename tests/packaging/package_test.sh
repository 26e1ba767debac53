#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# usbkestrum and its module package, unpacked (dpkg -x): every desktop file, none of the other programs',
# and the monitor from there works; with CI=true also dpkg -i, run, dpkg -r leaving no trace.
#   package_test.sh DEB_DIR LAN_SH SHIPPED_MONITOR_TEST
set -euo pipefail
deb_dir=$1 lan_sh=$2 shipped_test=$3
. "$(dirname "$0")/../support/lib.sh"
packages=(usbkestrum kestrum-agent-module)
module=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/usbkestrum/libinetmib1.so
monitor() { bash "$shipped_test" "$lan_sh" "$work/sim/usr/bin/kestrum-printsim" "$1/usr/bin/usbkestrum" "$1/$module"; }

debs=("$(deb usbkestrum)" "$(deb kestrum-agent-module)")
for d in "${debs[@]}"; do dpkg -x "$d" "$work/root"; done
dpkg -x "$(deb kestrum-printsim)" "$work/sim"
others=$(dpkg-deb -c "${debs[0]}" | grep -o -e '/usr/bin/kestrum-[a-z]*' -e '/libinetmib1\.so' -e '\.service$' ||
  true)
[ -z "$others" ] || fail "usbkestrum holds files of the other packages: $others"
for f in usr/bin/usbkestrum "$module" usr/share/applications/org.kestrum.UsbKestrum.desktop \
  usr/share/metainfo/org.kestrum.UsbKestrum.metainfo.xml \
  usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/org.kestrum.UsbKestrum.png \
  usr/share/icons/hicolor/scalable/apps/org.kestrum.UsbKestrum.svg usr/share/man/man1/usbkestrum.1.gz \
  usr/share/doc/{usbkestrum,kestrum-agent-module}/{copyright,changelog.gz}; do
  [ -f "$work/root/$f" ] || fail "the package has no /$f"
done
[ ! -e "$work/root/usr/bin/libinetmib1.so" ] || fail "the agent module sits beside the executable"
monitor "$work/root"

[ "${CI:-}" = true ] || { echo "PASS (dpkg -i and dpkg -r are tried with CI=true only)"; exit 0; }
for package in "${packages[@]}"; do
  ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed ||
    { echo "PASS (dpkg -i and -r not tried: $package is installed here already)"; exit 0; }
done
snapshot >"$work/before.txt"
at_exit 'dpkg -r "${packages[@]}" >/dev/null 2>&1'
dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || fail "dpkg -i failed"
for f in $(dpkg -L "${packages[@]}"); do [ -e "$f" ] || fail "dpkg -L lists $f, which is not there"; done
monitor ""
dpkg -r "${packages[@]}" >"$work/dpkg.log" 2>&1 || fail "dpkg -r failed"
dpkg_gone "${packages[@]}"
snapshot | diff "$work/before.txt" - || fail "installing and removing the package changed the file system"
echo "PASS: unpacked, installed, run and removed without a trace"
