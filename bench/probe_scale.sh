#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The scale benchmark of kestrum-probe: a network namespace of its own with
# N addresses (default 1000) on one interface, the simulator bound to
# 0.0.0.0 there answering from whichever address it is asked on, and a tenth
# of the targets silent (addresses of the same subnet that nobody holds, so
# their requests vanish). Then probe_scale runs the batches inside.
#   probe_scale.sh PROBE PRINTSIM PROBE_SCALE [--targets N] [--rounds R] [--sequential] [--serve-only] [--tls]
# --tls: the exporter serves TLS with basic authentication (a throwaway key
# pair from openssl and a bcrypt hash, made here).
# Needs root; exits 77 where no namespace can be made. Nothing leaves the namespace.
set -u
probe=$1 sim=$2 client=$3; shift 3
count=1000 rounds=3 sequential= serve_only= tls=
while [ $# -gt 0 ]; do
    case "$1" in
        --targets) count=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --sequential) sequential=--sequential; shift ;;
        --serve-only) serve_only=--serve-only; shift ;;
        --tls) tls=1; shift ;;
        *) echo "probe_scale.sh: unknown option $1" >&2; exit 64 ;;
    esac
done
[ "$(id -u)" = 0 ] || { echo "SKIP: not root"; exit 77; }
ns="kst-bench-$$-$RANDOM"
ip netns add "$ns" 2>/dev/null || { echo "SKIP: cannot make a namespace"; exit 77; }
work=$(mktemp -d)
cleanup() {
    for p in $(ip netns pids "$ns" 2>/dev/null); do kill "$p" 2>/dev/null; done
    sleep 0.2
    ip netns del "$ns"
    rm -rf "$work"
}
trap cleanup EXIT

ip -n "$ns" link set lo up
# A veth pair inside the namespace: its far end holds no address, so requests
# to an address that nobody holds wait for an ARP answer that never comes.
ip -n "$ns" link add d0 type veth peer name d1
ip -n "$ns" link set d0 up
ip -n "$ns" link set d1 up
silent=$((count / 10))
answering=$((count - silent))
# The answering targets hold addresses 10.77.0.1 ...; the silent ones are
# 10.77.200.1 ... in the same /16, held by nobody.
: >"$work/batch"
: >"$work/targets"
for ((i = 0; i < answering; i++)); do
    a="10.77.$((i / 250)).$((i % 250 + 1))"
    echo "address add $a/16 dev d0" >>"$work/batch"
    echo "$a" >>"$work/targets"
done
for ((i = 0; i < silent; i++)); do
    echo "10.77.$((200 + i / 250)).$((i % 250 + 1)) silent" >>"$work/targets"
done
ip -n "$ns" -batch "$work/batch" || { echo "cannot add the addresses" >&2; exit 1; }
echo "namespace $ns: $(ip -n "$ns" -o -4 addr show dev d0 | wc -l) addresses on d0"

ip netns exec "$ns" "$sim" --bind 0.0.0.0 --max-seconds 900 --quiet >"$work/sim.out" 2>&1 &
for _ in $(seq 50); do grep -q '^listening ' "$work/sim.out" && break; sleep 0.1; done
web=()
if [ -n "$tls" ]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || exit 1
    bcrypt='import crypt; print(crypt.crypt("bench", crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1024)))'
    hash=$(python3 -W ignore -c "$bcrypt")
    printf "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\nbasic_auth_users:\n  bench: '%s'\n" \
        "$hash" >"$work/web.yml"
    web=(--web-config "$work/web.yml" --ca "$work/cert.pem" --user bench:bench)
fi
ip netns exec "$ns" "$client" "$probe" "$work/targets" --rounds "$rounds" $sequential $serve_only "${web[@]}"
