# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the monitoring-system tests, with work, cmake, build and probe
# set: `stage_probe` installs the probe's component with prefix /usr into
# $work/stage, as the package lays it out, and checks that every piece is there.
stage_probe() {
    stage=$work/stage
    DESTDIR=$stage "$cmake" --install "$build" --component probe --prefix /usr >"$work/install.log" 2>&1 ||
        fail "cmake --install --component probe: $(cat "$work/install.log")"
    # The program's own install rule lives with the package; where it is not in
    # this component yet, the build's binary stands in at the same path.
    if [ ! -x "$stage/usr/bin/kestrum-probe" ]; then
        echo "note: kestrum-probe is not in the probe component; using $probe"
        install -D -m 0755 "$probe" "$stage/usr/bin/kestrum-probe"
    fi
    local f
    for f in usr/lib/nagios/plugins/check_kestrum etc/nagios-plugins/config/kestrum.cfg \
        usr/share/icinga2/include/plugins-contrib.d/kestrum.conf usr/share/kestrum-probe/kestrum-probe.rules.yml; do
        [ -f "$stage/$f" ] || fail "the probe component did not install /$f"
    done
    [ -x "$stage/usr/lib/nagios/plugins/check_kestrum" ] || fail "check_kestrum is not executable"
}
