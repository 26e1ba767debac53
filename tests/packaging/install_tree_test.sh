#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A plain `cmake --install` of the monitor's, the module's and the simulator's
# components into a temporary prefix that no compiled-in path names: the
# installed monitor must find its agent module in the private folder relative
# to itself and reach a server that only the gateway fallback finds.
#   install_tree_test.sh BUILD_DIR MODULEDIR LAN_SH SHIPPED_MONITOR_TEST
set -u
build=$1 moduledir=$2 lan_sh=$3 shipped_test=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
for component in monitor agent printsim; do
    out=$(cmake --install "$build" --prefix "$prefix" --component "$component" 2>&1) ||
        { echo "$out"; echo "FAIL: cmake --install --component $component failed"; exit 1; }
done
[ -e "$prefix/bin/libinetmib1.so" ] && { echo "FAIL: the agent module was installed beside the executable"; exit 1; }
bash "$shipped_test" "$lan_sh" "$prefix/bin/kestrum-printsim" "$prefix/bin/usbkestrum" \
  "$prefix/$moduledir/libinetmib1.so"
