#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# shards.sh TEST SHARDS FUNCTION: runs the Qt Test FUNCTION of TEST in SHARDS processes side by side, each taking its
# share of the runs of one printed seed.
set -u
test=$1 shards=$2 function=$3
seed=${KESTRUM_STRESS_SEED:-$(( $(od -An -N4 -tu4 /dev/urandom) % 1000000000 + 1 ))}
echo "close stress: $shards shards, seed $seed (replay: KESTRUM_STRESS_SEED=$seed)"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for ((i = 0; i < shards; i++)); do
    KESTRUM_STRESS_SEED=$seed KESTRUM_STRESS_SHARD=$i KESTRUM_STRESS_SHARDS=$shards QT_QPA_PLATFORM=offscreen \
        QTEST_FUNCTION_TIMEOUT=900000 "$test" "$function" >"$dir/$i.log" 2>&1 &
    pids[i]=$!
done
failed=0
for ((i = 0; i < shards; i++)); do
    wait "${pids[i]}" || { failed=1; echo "---- shard $i (seed $seed) failed:"; tail -n 60 "$dir/$i.log"; }
done
echo "close stress: $(cat "$dir"/*.log | grep -c 'ended (') closes ended cleanly"
exit $failed
