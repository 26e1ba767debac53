#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Hostile clients against kestrum-probe's exporter (attack.py) in a network namespace of its own with only
# loopback up. Needs root (the namespace; the exporter as nobody under a thread limit); SKIPPED elsewhere.
#   attack_test.sh PROBE [attack.py options, e.g. --check]
set -euo pipefail
if [ "${KESTRUM_IN_NS:-}" != 1 ]; then
  . "$(dirname "$0")/../support/lib.sh"
  need_root
  need unshare prlimit setpriv openssl
  unshare -n true 2>/dev/null || skip "cannot make a network namespace"
  rm -rf "$work"  # exec leaves no exit trap to do it
  exec env KESTRUM_IN_NS=1 unshare -n -- bash "$0" "$@"
fi
ip link set lo up
exec timeout 130 python3 -X faulthandler -W ignore::DeprecationWarning "$(dirname "$0")/attack.py" "$@"
