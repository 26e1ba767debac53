# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the namespace LAN tests, sourced with lan_sh and sim set: a work
# folder, LANs torn down on exit, simulators that end by themselves, and two
# scenarios that hold still (B's name and user in Latin-1 bytes).
bash "$lan_sh" check || exit $?
work=$(mktemp -d)
lans=()
cleanup() {
    for l in "${lans[@]}"; do bash "$lan_sh" down "$l" >/dev/null 2>&1; done
    wait
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; tail -n 20 "$work"/*.log >&2; exit 1; }
# up NAME ARGS...: a LAN; SKIPPED where namespaces cannot be made.
up() {
    lans+=("$1")
    bash "$lan_sh" up "$@" >/dev/null || { rc=$?; [ $rc = 77 ] && exit 77; fail "lan up $1 ($rc)"; }
}
# sim LAN NODE LOG ARGS...: a simulator, waited for until it listens.
sim() {
    local lan=$1 node=$2 log=$3; shift 3
    bash "$lan_sh" exec "$lan" "$node" -- "$sim" --max-seconds 90 --quiet "$@" >"$log" 2>&1 &
    for _ in $(seq 50); do grep -q '^listening ' "$log" && return 0; sleep 0.1; done
    fail "simulator did not start: $(cat "$log")"
}
cp "$(dirname "${BASH_SOURCE[0]}")/still_scenario.txt" "$work/a.txt"
printf '%s\n' "printer slot=0 name=\"Drucker K$(printf '\xfc')che\" queue=2" \
    "job user=\"J$(printf '\xf6')rg\" addr=10.1.2.3 size=unknown" "timeline 0x8c:1" >"$work/b.txt"
