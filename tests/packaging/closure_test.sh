#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# What installing each built package pulls in (our .debs' Depends, then apt-cache depends --recurse):
# kestrum-probe must install without Qt, X11, fontconfig or FreeType; the monitor's closure must hold Qt.
#   closure_test.sh DEB_DIR
set -euo pipefail
deb_dir=$1
. "$(dirname "$0")/../support/lib.sh"
desktop='^(libqt[0-9]|qt[0-9]|libx11|libxcb|libxext|libxrender|libxkb|libxi[0-9]|x11-|xkb-data'
desktop+='|libgl[0-9x]|libegl|libfontconfig|fontconfig|libfreetype)'

declare -A depends
for deb in "$deb_dir"/*.deb; do
  [ -f "$deb" ] || fail "no packages in $deb_dir (scripts/package.sh builds them)"
  depends[$(dpkg-deb -f "$deb" Package)]=$(dpkg-deb -f "$deb" Depends Pre-Depends | sed 's/^[A-Za-z-]*: //' | tr '\n' ,)
done
[ -n "${depends[kestrum-probe]+set}" ] || fail "no kestrum-probe package in $deb_dir"
apt-cache show libc6 >/dev/null 2>&1 || fail "apt knows no packages (run apt-get update)"
# The package names in a Depends field: alternatives, versions and architectures dropped.
names() { tr ',|' '\n\n' <<<"$1" | sed 's/(.*)//; s/:.*//; s/[[:space:]]//g' | grep -v '^$' || true; }
closure() {  # closure PACKAGE: every package installing it needs, itself included
  local queue=("$1") debian=() name
  declare -A seen=()
  while [ ${#queue[@]} -gt 0 ]; do
    name=${queue[0]} queue=("${queue[@]:1}")
    [ -z "${seen[$name]:-}" ] || continue
    seen[$name]=1
    if [ -n "${depends[$name]+set}" ]; then
      echo "$name"
      mapfile -t -O ${#queue[@]} queue < <(names "${depends[$name]}")
    else
      debian+=("$name")
    fi
  done
  [ ${#debian[@]} -eq 0 ] || apt-cache depends --recurse --important --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances "${debian[@]}" | grep -v '^[[:space:]<]' | sed 's/:.*//'
}

for name in $(printf '%s\n' "${!depends[@]}" | sort); do
  mapfile -t packages < <(closure "$name" | sort -u)
  found=$(printf '%s\n' "${packages[@]}" | grep -E "$desktop" | tr '\n' ' ' || true)
  echo "closure of $name: ${#packages[@]} packages (itself included)${found:+, of the desktop: $(wc -w <<<"$found")}"
  case "$name" in
    kestrum-probe) [ -z "$found" ] || row_result "$name" "pulls in $found" ;;
    usbkestrum) [ -n "$found" ] || row_result "$name" "no Qt found in the monitor's closure: the pattern misses" ;;
  esac
done
[ "$_lib_fails" = 0 ] || exit 1
echo "PASS: kestrum-probe installs without Qt, X11, fontconfig or FreeType"
