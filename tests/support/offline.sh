#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a unit suite where nothing it does can reach the network: in a network namespace of its own with only
# loopback, wherever one can be made (as root, as in CI); elsewhere as it is.   offline.sh PROGRAM [ARGS...]
set -euo pipefail
if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
  exec unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
fi
exec "$@"
