#!/bin/bash
# A plain `cmake --install` of the build into a temporary prefix, which no
# path compiled into the program names: the installed monitor must find its
# agent module in the private folder relative to itself and reach a print
# server that only the default gateway fallback finds.
#   install_tree_test.sh BUILD_DIR MODULEDIR LAN_SH SHIPPED_MONITOR_TEST
# Exits 77 (skipped) where namespaces or Xvfb are not to be had.
set -u
build=$1 moduledir=$2 lan_sh=$3 shipped_test=$4

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; rm -f "$prefix.log"; echo "FAIL: cmake --install failed"; exit 1; }
rm -f "$prefix.log"
[ -e "$prefix/bin/libinetmib1.so" ] && { echo "FAIL: the agent module was installed beside the executable"; exit 1; }
bash "$shipped_test" "$lan_sh" "$prefix/bin/kestrum-printsim" "$prefix/bin/usbkestrum" \
    gateway "$prefix/$moduledir/libinetmib1.so"
