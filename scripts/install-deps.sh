#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, testing and the demo need,
# and only those that are missing.
set -euo pipefail

usage() {
  cat <<'TEXT'
usage: scripts/install-deps.sh
Installs the Debian packages that building, testing and the demo need, and
only those that are missing (as root; otherwise it names them).
TEXT
}

case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libfreetype-dev libfontconfig-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev prometheus-cpp-dev libcpp-httplib-dev
  iproute2 procps prometheus curl jq
  xvfb xauth x11-utils xdotool imagemagick openbox wmctrl
  fonts-liberation fonts-dejavu-core fonts-dejavu-extra
  dpkg-dev fakeroot file gzip binutils desktop-file-utils appstream lintian man-db
  # fuzzing (scripts/fuzz.sh): clang with libFuzzer and the sanitizers, and the
  # symbolizer for readable reports
  clang libclang-rt-14-dev llvm
  # the C++ style (scripts/format.sh, .clang-format)
  clang-format-14
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run as root, or: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
