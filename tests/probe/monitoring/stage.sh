# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the monitoring-system tests after lib.sh, with their arguments LAN_SH PRINTSIM PROBE CMAKE BUILD_DIR:
# the probe's component installed with prefix /usr into $stage, as the package lays it out; `fill TEMPLATE OUT` for
# the configs; a LAN with server1 on nagios_scenario.txt and server2 answering discovery, never a status request.
lan_sh=$1 sim=$2 probe=$3 cmake=$4 build=$5
need_root
need_lan
here=$(cd "$(dirname "$0")" && pwd)
stage=$work/stage
DESTDIR=$stage "$cmake" --install "$build" --component probe --prefix /usr >"$work/install.log" 2>&1 ||
  fail "cmake --install --component probe"
for f in usr/bin/kestrum-probe etc/nagios-plugins/config/kestrum.cfg \
  usr/share/icinga2/include/plugins-contrib.d/kestrum.conf usr/share/kestrum-probe/kestrum-probe.rules.yml; do
  [ -f "$stage/$f" ] || fail "the probe component did not install /$f"
done
[ -x "$stage/usr/lib/nagios/plugins/check_kestrum" ] || fail "no executable check_kestrum"
fill() {  # fill TEMPLATE OUT: TEMPLATE (in this folder) with the paths put in
  sed "s|@STAGE@|$stage|g; s|@HERE@|$here|g; s|@WORK@|$work|g; s|@N@|$work/n|g; s|@I@|$work/i|g" "$here/$1" >"$2"
}
lan_up --servers 2
sim server1 "$work/s1.log" --bind 0.0.0.0 --quiet --scenario "$here/nagios_scenario.txt"
sim server2 "$work/s2.log" --bind 0.0.0.0 --quiet --stop-after 0
