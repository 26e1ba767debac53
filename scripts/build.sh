#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into build/ (or the folder given first): everything,
# or only the targets named after the folder.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'TEXT'
usage: scripts/build.sh [DIR [TARGET...]]
Configures DIR (default build/) with the preset plain (CMakePresets.json) and
builds everything in it,
or only the TARGETs named.
TEXT
}

case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
dir=${1:-build}
shift || true
cmake --preset plain -B "$dir" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$dir" -j"$(nproc)" --target "$@"
else
  cmake --build "$dir" -j"$(nproc)"
fi
