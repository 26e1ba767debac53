#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` of monitor, agent and simulator into a prefix no compiled-in path names: the monitor
# must find its module relative to itself.   install_tree_test.sh BUILD_DIR MODULEDIR LAN_SH SHIPPED_MONITOR_TEST
set -euo pipefail
build=$1 moduledir=$2 lan_sh=$3 shipped_test=$4
. "$(dirname "$0")/../support/lib.sh"
for component in monitor agent printsim; do
  cmake --install "$build" --prefix "$work" --component "$component" >"$work/install.log" 2>&1 ||
    fail "cmake --install --component $component failed"
done
[ ! -e "$work/bin/libinetmib1.so" ] || fail "the agent module was installed beside the executable"
bash "$shipped_test" "$lan_sh" "$work/bin/kestrum-printsim" "$work/bin/usbkestrum" "$work/$moduledir/libinetmib1.so"
