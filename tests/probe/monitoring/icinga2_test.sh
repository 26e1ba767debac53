#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Icinga 2 takes the shipped CheckCommand "kestrum" from a staged install,
# beside the whole Icinga Template Library (so its name clashes with none),
# with hosts and services that use every argument: `icinga2 daemon -C` on a
# private configuration, writing nothing outside the test's folder. Needs
# Debian's icinga2-bin.
#   icinga2_test.sh LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR
set -u
lan_sh=$1 sim=$2 probe=$3 cmake=$4 build=$5
command -v icinga2 >/dev/null || { echo "SKIP: needs icinga2 (Debian's icinga2-bin and icinga2-common)"; exit 77; }
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
. "$here/stage.sh"
stage_probe

i=$work/icinga2
mkdir -p "$i/cache"
cat >"$i/icinga2.conf" <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
const ManubulonPluginDir = PluginDir
const PluginContribDir = "$stage/usr/lib/nagios/plugins"
const NodeName = "kestrum-test"
const ZoneName = NodeName
include <itl>
include <plugins>
include <plugins-contrib>
include "$stage/usr/share/icinga2/include/plugins-contrib.d/kestrum.conf"
include "$here/icinga2_objects.conf"
CONF
icinga2 daemon -C -c "$i/icinga2.conf" -DConfiguration.RunAsUser="$(id -un)" -DConfiguration.RunAsGroup="$(id -gn)" \
    -DConfiguration.CacheDir="$i/cache" >"$work/validate.log" 2>&1
rc=$?
cat "$work/validate.log"
[ $rc = 0 ] || fail "icinga2 daemon -C rejected the configuration ($rc)"
grep -q 'Instantiated 4 Services' "$work/validate.log" || fail "not every service was instantiated"
echo PASS
