#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a user gets it: unpacked with dpkg -x it holds every file
# a desktop install needs, and the monitor run from there reaches a server that
# only the gateway fallback finds, through the package's own agent module. With
# CI=true it is also installed with dpkg -i, run, and removed with dpkg -r, which
# must leave no file behind.
#   package_test.sh DEB LAN_SH SHIPPED_MONITOR_TEST
# Exits 77 (skipped) where namespaces or Xvfb are not to be had.
set -u
deb=$1 lan_sh=$2 shipped_test=$3

fail() { echo "FAIL: $*"; [ -f "$root/log" ] && cat "$root/log"; exit 1; }
[ -f "$deb" ] || { echo "FAIL: no package at $deb (scripts/package.sh builds it)"; exit 1; }
module=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/usbkestrum/libinetmib1.so
root=$(mktemp -d)
installed=0
trap '[ "$installed" = 1 ] && dpkg -r usbkestrum >/dev/null 2>&1; rm -rf "$root"' EXIT
monitor() {
    bash "$shipped_test" "$lan_sh" "$1/usr/bin/kestrum-printsim" "$1/usr/bin/usbkestrum" "$1/$module" || exit $?
}

dpkg -x "$deb" "$root" || fail "dpkg -x failed"
for f in usr/bin/usbkestrum usr/bin/kestrum-printsim "$module" \
         usr/share/applications/org.kestrum.UsbKestrum.desktop \
         usr/share/metainfo/org.kestrum.UsbKestrum.metainfo.xml \
         usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/org.kestrum.UsbKestrum.png \
         usr/share/icons/hicolor/scalable/apps/org.kestrum.UsbKestrum.svg \
         usr/share/man/man1/usbkestrum.1.gz usr/share/man/man1/kestrum-printsim.1.gz \
         usr/share/doc/usbkestrum/copyright usr/share/doc/usbkestrum/changelog.gz; do
    [ -f "$root/$f" ] || fail "the package has no /$f"
done
[ -e "$root/usr/bin/libinetmib1.so" ] && fail "the agent module sits beside the executable"
monitor "$root"

[ "${CI:-}" = true ] || { echo "PASS (dpkg -i and dpkg -r are tried with CI=true only)"; exit 0; }
dpkg-query -W -f='${Status}' usbkestrum 2>/dev/null | grep -q "installed" &&
    { echo "PASS (dpkg -i and -r not tried: usbkestrum is installed here already)"; exit 0; }

# Caches the desktop's triggers keep are no trace of the package.
snapshot() {
    find /usr /etc /opt /var/lib/dpkg/info -xdev 2>/dev/null |
        grep -v -e '/icon-theme\.cache$' -e '/mimeinfo\.cache$' -e '^/var/lib/dpkg/info/.*\.list-new$' | sort
}
snapshot >"$root/before.txt" || fail "cannot list the file system"
dpkg -i "$deb" >"$root/log" 2>&1 || fail "dpkg -i failed"
installed=1
for f in $(dpkg -L usbkestrum); do [ -e "$f" ] || fail "dpkg -L lists $f, which is not there"; done
monitor ""
dpkg -r usbkestrum >"$root/log" 2>&1 || fail "dpkg -r failed"
installed=0
case "$(dpkg-query -W -f='${Status}' usbkestrum 2>/dev/null)" in
    *not-installed*|"") ;;
    *) fail "still installed after dpkg -r" ;;
esac
snapshot | diff "$root/before.txt" - || fail "installing and removing the package changed the file system"
echo "PASS: unpacked, installed, run and removed without a trace"
