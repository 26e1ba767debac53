#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# shards.sh TEST SHARDS RUNS: runs TEST in SHARDS processes side by side, each
# with RUNS runs and a seed of its own derived from one printed seed.
set -u
test=$1 shards=$2 runs=$3
seed=${KESTRUM_STRESS_SEED:-$(( $(od -An -N4 -tu4 /dev/urandom) % 1000000000 + 1 ))}
echo "close stress: $shards shards x $runs runs, seed $seed (replay: KESTRUM_STRESS_SEED=$seed)"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for ((i = 0; i < shards; i++)); do
    KESTRUM_STRESS_SEED=$((seed + i)) KESTRUM_STRESS_RUNS=$runs QT_QPA_PLATFORM=offscreen \
        QTEST_FUNCTION_TIMEOUT=900000 \
        "$test" >"$dir/$i.log" 2>&1 &
    pids[i]=$!
done
failed=0
for ((i = 0; i < shards; i++)); do
    wait "${pids[i]}" || { failed=1; echo "---- shard $i (seed $((seed + i))) failed:"; tail -n 60 "$dir/$i.log"; }
done
echo "close stress: $(cat "$dir"/*.log | grep -c 'ended (') closes ended cleanly out of $((shards * runs))"
exit $failed
