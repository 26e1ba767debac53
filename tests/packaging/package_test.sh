#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# usbkestrum and its module package, unpacked (dpkg -x): every desktop file, none of the other programs',
# and the monitor from there works (probe_install_test.sh installs them).
#   package_test.sh DEB_DIR LAN_SH SHIPPED_MONITOR_TEST
set -euo pipefail
deb_dir=$1 lan_sh=$2 shipped_test=$3
. "$(dirname "$0")/../support/lib.sh"
module=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/usbkestrum/libinetmib1.so

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
bash "$shipped_test" "$lan_sh" "$work/sim/usr/bin/kestrum-printsim" "$work/root/usr/bin/usbkestrum" "$work/root/$module"

echo "PASS: unpacked, every file in place, the monitor runs from there"
