#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages (one per install component, cmake/Packaging.cmake):
# configures its own build folder (build-pkg, or the one given) without the
# tests, with Debian's hardening flags, builds what is installed and runs CPack.
# Prints the path of each .deb, one a line, last.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'TEXT'
usage: scripts/package.sh [BUILD_DIR]
Builds the Debian packages, one per install component, in BUILD_DIR (default
build-pkg/), without the tests and with Debian's hardening flags, and prints
the path of each .deb, one a line, last.
TEXT
}

case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
dir=${1:-build-pkg}

# The flags Debian's own packages are built with (fortify, stack protector,
# read-only relocations, bind now, PIE).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags=$(dpkg-buildflags --get CFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake --preset package -B "$dir" \
  -DCMAKE_C_FLAGS="$cppflags $cflags" -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$dir" -j"$(nproc)"
# Every install rule names the package's component; one without would land in
# no package (cmake/Packaging.cmake).
stray=$(mktemp -d)
trap 'rm -rf "$stray"' EXIT
DESTDIR=$stray cmake --install "$dir" --component Unspecified >/dev/null
if [ -n "$(find "$stray" -type f)" ]; then
  echo "package.sh: installed in no package (an install rule without COMPONENT):" >&2
  (cd "$stray" && find . -type f) >&2
  exit 1
fi
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
realpath "$dir"/*.deb
