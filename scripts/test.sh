#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test, in stages:
#   install and build                  scripts/install-deps.sh, scripts/format.sh --check,
#                                      tools/longest_functions.py --check, scripts/build.sh build
# Each build folder is configured with its preset of CMakePresets.json.
#   tests                              every ctest test of build/
#   tests under AddressSanitizer       the asan-labelled tests again in build-asan/,
#                                      with leak detection (KESTRUM_SKIP_SANITIZE=1)
#   fuzzing (bounded)                  scripts/fuzz.sh --bounded (KESTRUM_SKIP_FUZZ=1)
#   Qt-free build and tests under      build-tsan/: built where Qt cannot be found, as
#   ThreadSanitizer                    on a headless monitoring host (KESTRUM_SKIP_TSAN=1)
# Each stage prints how long it took, and the total is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'TEXT'
usage: scripts/test.sh
Installs what is missing, builds, and runs every test: the plain build,
AddressSanitizer with leak detection, bounded fuzzing, and the Qt-free build
under ThreadSanitizer. KESTRUM_SKIP_SANITIZE, KESTRUM_SKIP_FUZZ and
KESTRUM_SKIP_TSAN set to 1 leave a stage out; KESTRUM_STRESS_SEED replays
the close stress test's moments.
TEXT
}

case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac

test_started=$(date +%s)
stage_started=$test_started
stage_name=""
stage() {  # stage NAME: closes the stage before, if any, and opens the next
  local now
  now=$(date +%s)
  [ -n "$stage_name" ] && echo "== stage '$stage_name' took $(( now - stage_started )) s"
  stage_name=$1 stage_started=$now
  [ -n "$stage_name" ] && echo "== $stage_name"
  return 0
}
trap 'stage ""; echo "== scripts/test.sh took $(( $(date +%s) - test_started )) s"' EXIT

# run_ctest ARGS...: ctest, then the count of tests that reported themselves
# skipped (exit 77: no network namespaces, no Xvfb, no Prometheus here) and
# their names. Under CI (CI=true) a skipped test fails the stage: CI is where
# every one of them must run.
run_ctest() {
    local log status skipped
    log=$(mktemp)
    set +e
    ctest "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)
    echo "== $skipped skipped tests"
    grep -E '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" | sed 's/^[[:space:]]*/==   skipped: /' || true
    rm -f "$log"
    [ "$status" = 0 ] || return "$status"
    if [ "$skipped" -gt 0 ] && [ "${CI:-}" = true ]; then
        echo "== CI=true: a skipped test is a failure"
        return 1
    fi
}

# The tests' share of the lines: every file under tests/ against the product's
# C++ and shipped scripts; the house keeps it at 0.45 at most.
test_share() {
  local tests product share
  lines() { git ls-files -- "$@" | grep -vE '/seeds/' | grep -E '\.(cpp|cc|h|hpp|sh|py)$' | tr '\n' '\0' |
    xargs -0 cat | wc -l; }
  tests=$(lines tests)
  product=$(lines app cmdline link dialogs view platform probe printsim res text scripts packaging)
  share=$(awk "BEGIN { printf \"%.2f\", $tests / $product }")
  echo "== test share: $tests lines of tests / $product of product = $share (at most 0.45)"
}

stage "install and build"
scripts/install-deps.sh
# The C++ style first: a file that clang-format would change fails the run, and
# so does a function longer than 60 lines.
scripts/format.sh --check
tools/longest_functions.py --check
test_share
scripts/build.sh build

stage "tests"
# The random-moment closes (tests/stress) draw their moments from this seed, in
# the plain and the sanitizer run alike; a failure replays with the same value.
export KESTRUM_STRESS_SEED=${KESTRUM_STRESS_SEED:-$(( $(od -An -N4 -tu4 /dev/urandom) % 1000000000 + 1 ))}
echo "== close stress seed $KESTRUM_STRESS_SEED"
run_ctest --test-dir build --output-on-failure -j2 --timeout 300
# The attack suite's table, which ctest shows only on a failure.
sed -n '/^attack  *RSS MiB/,/^attacks: /p' build/Testing/Temporary/LastTest.log
# The calls the monitor made to the recording notification service.
sed -En '/^--- the calls the service recorded:/,/^(PASS|FAIL): notifications/p' build/Testing/Temporary/LastTest.log
# The host names the probe looked up on its LAN, with its own name server.
sed -En '/^--- host names:/,/^(PASS: all|FAIL: [0-9]+ of)/p' build/Testing/Temporary/LastTest.log

if [ "${KESTRUM_SKIP_SANITIZE:-0}" != 1 ]; then
  stage "tests under AddressSanitizer"
  cmake --preset asan >/dev/null
  asan_targets=$(ctest --test-dir build -N -L asan 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: *//p')
  cmake --build build-asan -j"$(nproc)" --target inetmib1 kestrum-printsim $asan_targets
  # Leaks fail the run; only leaks wholly inside system libraries are suppressed.
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp print_suppressions=0" \
    run_ctest --test-dir build-asan --output-on-failure -j2 -L asan --timeout 300
fi

# --- Fuzzing: every target of tests/fuzz for its fixed number of inputs from its
# seeds, under ASan and UBSan (scripts/fuzz.sh; the seed is printed).
if [ "${KESTRUM_SKIP_FUZZ:-0}" != 1 ]; then
  stage "fuzzing (bounded)"
  scripts/fuzz.sh --bounded
fi

# --- Without Qt and under ThreadSanitizer: everything that builds where Qt 6
# cannot be found (the probe, the simulator, the agent module, their tests), as
# on a headless monitoring host, then their unit suites with every race checked;
# any report fails. The long runs (the whole programs on namespace LANs, the
# attacks) ran in the tests stage from the same sources.
if [ "${KESTRUM_SKIP_TSAN:-0}" != 1 ]; then
  stage "Qt-free build and tests under ThreadSanitizer"
  cmake --preset tsan >/dev/null
  cmake --build build-tsan -j"$(nproc)"
  TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" \
    run_ctest --test-dir build-tsan --output-on-failure -j2 --timeout 300 \
    -E '^(probe_(attack|nagios|icinga2|prometheus.*|lan|names)|printsim_loopback|bench_.*)$'
fi
