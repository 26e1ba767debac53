#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Hostile clients against kestrum-probe's exporter (attack.py, attack_front.py), in a network
# namespace of its own with only loopback up. Needs root (the namespace, and
# running the exporter as nobody under a thread limit); SKIPPED elsewhere.
#   attack_test.sh PROBE [attack.py options, e.g. --check]
set -u
probe=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
if [ "${KESTRUM_IN_NS:-}" != 1 ]; then
    [ "$(id -u)" = 0 ] || { echo "SKIP: not root"; exit 77; }
    command -v unshare >/dev/null && command -v prlimit >/dev/null && command -v setpriv >/dev/null ||
        { echo "SKIP: needs unshare, prlimit and setpriv (util-linux)"; exit 77; }
    unshare -n true 2>/dev/null || { echo "SKIP: cannot make a network namespace"; exit 77; }
    exec env KESTRUM_IN_NS=1 unshare -n -- bash "$0" "$probe" "$@"
fi
ip link set lo up || exit 1
exec timeout 280 python3 -X faulthandler -W ignore::DeprecationWarning "$here/attack.py" "$probe" "$@"
