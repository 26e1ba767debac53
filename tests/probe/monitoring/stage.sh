# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the monitoring-system tests after lib.sh, with lan_sh, sim, probe,
# cmake and build set: the probe's component installed with prefix /usr into
# $stage, as the package lays it out; and `fill TEMPLATE OUT` for the configs.
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
