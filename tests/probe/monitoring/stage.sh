# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the monitoring-system tests, with work, cmake, build and probe
# set: `stage_probe` installs the probe's component with prefix /usr into
# $work/stage, as the package lays it out, and checks that every piece is there.
stage_probe() {
    stage=$work/stage
    DESTDIR=$stage "$cmake" --install "$build" --component probe --prefix /usr >"$work/install.log" 2>&1 ||
        fail "cmake --install --component probe: $(cat "$work/install.log")"
    local f
    for f in usr/bin/kestrum-probe usr/lib/nagios/plugins/check_kestrum etc/nagios-plugins/config/kestrum.cfg \
        usr/share/icinga2/include/plugins-contrib.d/kestrum.conf usr/share/kestrum-probe/kestrum-probe.rules.yml; do
        [ -f "$stage/$f" ] || fail "the probe component did not install /$f"
    done
    [ -x "$stage/usr/lib/nagios/plugins/check_kestrum" ] || fail "check_kestrum is not executable"
}
