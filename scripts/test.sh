#!/bin/bash
# Installs what is missing, builds, and runs every test. Then builds the link's
# tests once more with AddressSanitizer and runs them again.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh build

ctest --test-dir build --output-on-failure -j2 --timeout 300

if [ "${KESTRUM_SKIP_SANITIZE:-0}" != 1 ]; then
  echo "== link and window tests under AddressSanitizer"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTRUM_SANITIZE=ON >/dev/null
  asan_targets=$(ctest --test-dir build -N -L asan 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: *//p')
  cmake --build build-asan -j"$(nproc)" --target inetmib1 kestrum-printsim $asan_targets
  ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j2 -L asan --timeout 300
fi
