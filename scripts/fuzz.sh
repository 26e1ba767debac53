#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The fuzz targets of tests/fuzz, built with clang, libFuzzer, ASan and UBSan
# into build-fuzz/ (or $KESTRUM_FUZZ_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${KESTRUM_FUZZ_BUILD:-build-fuzz}

usage() {
  cat <<'TEXT'
usage: scripts/fuzz.sh --list | TARGET [SECONDS] | --bounded [--seed N]
The fuzz targets of tests/fuzz, built with clang, libFuzzer, ASan and UBSan.
  --list                names the targets
  TARGET [SECONDS]      runs one for longer (default 60 s), keeping what it
                        finds new in build-fuzz/corpus/TARGET
  --bounded [--seed N]  every target for its fixed number of inputs from its
                        seeds (what scripts/test.sh runs)
Exits non-zero on a finding; the input that caused it is kept in
build-fuzz/artifacts/TARGET/ and replays with: build-fuzz/bin/TARGET FILE
TEXT
}

configure() {
  if [ ! -f "$dir/fuzz_targets.txt" ] || [ CMakeLists.txt -nt "$dir/fuzz_targets.txt" ] ||
    [ tests/fuzz/CMakeLists.txt -nt "$dir/fuzz_targets.txt" ]; then
    cmake --preset fuzz -B "$dir" >/dev/null
  fi
}
names() { cut -d'|' -f1 "$dir/fuzz_targets.txt"; }
field() { grep "^$1|" "$dir/fuzz_targets.txt" | cut -d'|' -f"$2"; }

# run TARGET ARGS...: the target with its environment and options.
run() {
  local target=$1; shift
  local env opts
  env=$(field "$target" 4); opts=$(field "$target" 5)
  [ "$env" = - ] && env=
  [ "$opts" = - ] && opts=
  mkdir -p "$dir/artifacts/$target"
  # shellcheck disable=SC2086
  env $env "$dir/bin/$target" -artifact_prefix="$dir/artifacts/$target/" $opts "$@"
}

case "${1:-}" in
  --list)
    configure
    names
    ;;
  --bounded)
    shift
    seed=${KESTRUM_FUZZ_SEED:-$(( $(od -An -N4 -tu4 /dev/urandom) % 2147483647 + 1 ))}
    if [ "${1:-}" = --seed ]; then seed=$2; fi
    configure
    # shellcheck disable=SC2046
    cmake --build "$dir" -j"$(nproc)" --target $(names)
    echo "fuzz: seed $seed (replay: scripts/fuzz.sh --bounded --seed $seed)"
    failed=0
    for target in $(names); do
      runs=$(field "$target" 2)
      scratch=$(mktemp -d)
      start=$(date +%s)
      if run "$target" -runs="$runs" -seed="$seed" -print_final_stats=0 "$scratch" "$(field "$target" 3)" \
        >"$scratch.log" 2>&1; then
        echo "fuzz: $target: $runs inputs, no finding ($(( $(date +%s) - start )) s)"
      else
        failed=1
        tail -n 40 "$scratch.log"
        echo "fuzz: $target: FINDING with seed $seed; input kept in $dir/artifacts/$target/" >&2
      fi
      rm -rf "$scratch" "$scratch.log"
    done
    exit $failed
    ;;
  ""|-h|--help)
    usage
    ;;
  *)
    target=$1 seconds=${2:-60}
    configure
    names | grep -qx "$target" || { echo "fuzz: no target '$target' (see --list)" >&2; exit 64; }
    cmake --build "$dir" -j"$(nproc)" --target "$target"
    mkdir -p "$dir/corpus/$target"
    run "$target" -max_total_time="$seconds" -print_final_stats=1 "$dir/corpus/$target" "$(field "$target" 3)"
    ;;
esac
