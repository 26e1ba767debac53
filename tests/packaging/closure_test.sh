#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# What installing each built package pulls in: the closure of its Depends and
# Pre-Depends, through our own packages (read from the built .debs) and then
# through Debian's (apt-cache depends --recurse, every alternative counted).
# kestrum-probe must install on a headless host, so no Qt, X11, fontconfig or
# FreeType package may be in its closure; the monitor's closure must hold Qt,
# or the pattern would be wrong. Prints the size of each closure.
#   closure_test.sh DEB_DIR
set -u
deb_dir=$1
fail() { echo "FAIL: $*"; exit 1; }
# Debian's packages of Qt, X11 and the font libraries.
desktop_pattern='^(libqt[0-9]|qt[0-9]|libx11|libxcb|libxext|libxrender|libxkb|libxi[0-9]|x11-|xkb-data'
desktop_pattern+='|libgl[0-9x]|libegl|libfontconfig|fontconfig|libfreetype)'

declare -A depends
for deb in "$deb_dir"/*.deb; do
    [ -f "$deb" ] || fail "no packages in $deb_dir (scripts/package.sh builds them)"
    name=$(dpkg-deb -f "$deb" Package)
    depends[$name]=$(dpkg-deb -f "$deb" Depends Pre-Depends | sed 's/^[A-Za-z-]*: //' | tr '\n' ,)
done
apt-cache show libc6 >/dev/null 2>&1 || fail "apt knows no packages (run apt-get update)"

# The package names in a Depends field: alternatives, versions and
# architectures dropped.
names() { tr ',|' '\n\n' <<<"$1" | sed 's/(.*)//; s/:.*//; s/[[:space:]]//g' | grep -v '^$'; }

# closure PACKAGE: every package installing it needs, itself included, one a line.
closure() {
    local queue=("$1") ours=() debian=() name
    declare -A seen=()
    while [ ${#queue[@]} -gt 0 ]; do
        name=${queue[0]} queue=("${queue[@]:1}")
        [ -n "${seen[$name]:-}" ] && continue
        seen[$name]=1
        if [ -n "${depends[$name]+set}" ]; then
            ours+=("$name")
            mapfile -t -O ${#queue[@]} queue < <(names "${depends[$name]}")
        else
            debian+=("$name")
        fi
    done
    printf '%s\n' "${ours[@]}"
    [ ${#debian[@]} -eq 0 ] && return
    apt-cache depends --recurse --important --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances "${debian[@]}" | grep -v '^[[:space:]<]' | sed 's/:.*//'
}

status=0
for name in $(printf '%s\n' "${!depends[@]}" | sort); do
    mapfile -t packages < <(closure "$name" | sort -u)
    desktop=$(printf '%s\n' "${packages[@]}" | grep -E "$desktop_pattern" | tr '\n' ' ')
    echo -n "closure of $name: ${#packages[@]} packages (itself included)"
    echo "${desktop:+, of the desktop: $(wc -w <<<"$desktop")}"
    case "$name" in
    kestrum-probe)
        [ -z "$desktop" ] || { echo "FAIL: kestrum-probe pulls in $desktop"; status=1; } ;;
    usbkestrum)
        [ -n "$desktop" ] || { echo "FAIL: no Qt found in the monitor's closure: the pattern misses"; status=1; } ;;
    esac
done
[ -n "${depends[kestrum-probe]+set}" ] || fail "no kestrum-probe package in $deb_dir"
[ "$status" = 0 ] && echo "PASS: kestrum-probe installs without Qt, X11, fontconfig or FreeType"
exit "$status"
