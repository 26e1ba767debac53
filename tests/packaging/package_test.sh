#!/bin/bash
# The Debian package as a user gets it. Unpacked with dpkg -x into a temporary
# root, it must hold every file a desktop install needs, and the monitor
# started from there must find a print server that only the default gateway
# fallback reaches, through the package's own agent module. With CI=true the
# package is also installed with dpkg -i, run the same way, and removed with
# dpkg -r, which must leave no file behind.
#   package_test.sh DEB LAN_SH SHIPPED_MONITOR_TEST
# Exits 77 (skipped) where namespaces or Xvfb are not to be had.
set -u
deb=$1 lan_sh=$2 shipped_test=$3

fail() { echo "FAIL: $*"; exit 1; }
[ -f "$deb" ] || fail "no package at $deb (scripts/package.sh builds it)"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
module=usr/lib/$multiarch/usbkestrum/libinetmib1.so

root=$(mktemp -d)
installed=0
cleanup() {
    [ "$installed" = 1 ] && dpkg -r usbkestrum >/dev/null 2>&1
    rm -rf "$root"
}
trap cleanup EXIT

# What a desktop install needs, each where the desktop looks for it.
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
echo "ok: the package holds the programs, the agent module, the menu entry, metadata, icons, man pages and documents"

# The unpacked monitor, in a place no install path points at.
bash "$shipped_test" "$lan_sh" "$root/usr/bin/kestrum-printsim" "$root/usr/bin/usbkestrum" \
    gateway "$root/$module"
status=$?
[ "$status" = 0 ] || exit "$status"

[ "${CI:-}" = true ] || { echo "PASS (dpkg -i and dpkg -r are tried with CI=true only)"; exit 0; }
if dpkg-query -W -f='${Status}' usbkestrum 2>/dev/null | grep -q "installed"; then
    echo "PASS (dpkg -i and dpkg -r not tried: usbkestrum is installed on this machine already)"
    exit 0
fi

# Installed, removed: the file system is as before, but for caches that the
# desktop's triggers keep.
snapshot() {
    find /usr /etc /opt /var/lib/dpkg/info -xdev 2>/dev/null |
        grep -v -e '/icon-theme\.cache$' -e '/mimeinfo\.cache$' -e '^/var/lib/dpkg/info/.*\.list-new$' | sort
}
snapshot >"$root/before.txt" || fail "cannot list the file system"
dpkg -i "$deb" >"$root/dpkg-i.log" 2>&1 || { cat "$root/dpkg-i.log"; fail "dpkg -i failed"; }
installed=1
for f in $(dpkg -L usbkestrum); do
    [ -e "$f" ] || fail "dpkg -L lists $f, which is not there"
done
bash "$shipped_test" "$lan_sh" /usr/bin/kestrum-printsim /usr/bin/usbkestrum gateway "/$module"
status=$?
[ "$status" = 0 ] || exit "$status"
dpkg -r usbkestrum >"$root/dpkg-r.log" 2>&1 || { cat "$root/dpkg-r.log"; fail "dpkg -r failed"; }
installed=0
left=$(dpkg-query -W -f='${Status}' usbkestrum 2>/dev/null)
case "$left" in *not-installed*|"") ;; *) fail "after dpkg -r the package is still '$left'" ;; esac
snapshot >"$root/after.txt"
if ! diff "$root/before.txt" "$root/after.txt" >"$root/left.diff"; then
    cat "$root/left.diff"
    fail "installing and removing the package changed the file system"
fi
echo "PASS: unpacked, installed, run and removed without a trace"
