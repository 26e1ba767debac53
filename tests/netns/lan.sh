#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A private test LAN of network namespaces: NAME-hub holds bridge br0; NAME-client (10.213.0.100) and
# NAME-s1..sN (10.213.0.1..N) each have one veth lan0 on it. Only `ip -n` is used: the host never changes.
#   lan.sh name | check | up NAME [--servers N] [--gateway-server K] | exec NAME NODE -- CMD... | down NAME
#   (NODE: client, serverK or hub)
# With --gateway-server K the client's default route is 10.213.0.K, else a route for 255.255.255.255.
# Exits 0 done, 77 no namespaces here (skip), 64 bad usage, 1 other failure (a failing veth after the
# check passed is a fault, not a skip).
set -u
readonly SUBNET=10.213.0 MAX_SERVERS=50

die() { echo "lan.sh: $*" >&2; exit 1; }
usage() { echo "lan.sh: $*" >&2; echo "usage: lan.sh name|check|up|exec|down ..." >&2; exit 64; }
skip() { echo "lan.sh: SKIP: $*" >&2; exit 77; }
check_name() { [[ "$1" =~ ^[A-Za-z0-9_.-]{1,40}$ ]] || usage "bad LAN name '$1' (letters, digits, . _ -; at most 40)"; }

can_make_namespaces() {
  [ "$(id -u)" = 0 ] || { echo "not running as root"; return 1; }
  command -v ip >/dev/null 2>&1 || { echo "no 'ip' command (iproute2)"; return 1; }
  local probe="kst-check-$$-$RANDOM" made=0
  ip netns add "$probe" 2>/dev/null || { echo "'ip netns add' failed (no permission?)"; return 1; }
  ip -n "$probe" link add br0 type bridge 2>/dev/null &&
    ip -n "$probe" link add v0 type veth peer name v1 2>/dev/null && made=1
  ip netns del "$probe" 2>/dev/null
  [ $made = 1 ] || { echo "no bridge or veth can be made in a namespace"; return 1; }
}

node_ns() {
  case "$2" in
    client | hub) echo "$1-$2" ;;
    server[0-9]*) echo "$1-s${2#server}" ;;
    *) usage "unknown node '$2' (client, serverK or hub)" ;;
  esac
}

lan_namespaces() { ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^${1//./\\.}-(hub|client|s[0-9]+)$"; }
lan_pids() { local ns; for ns in $(lan_namespaces "$1"); do ip netns pids "$ns" 2>/dev/null; done; }

lan_down() {
  local pid ns
  # Processes inside keep a deleted namespace alive: TERM, a second's grace, KILL.
  for pid in $(lan_pids "$1"); do kill -TERM "$pid" 2>/dev/null; done
  for _ in {1..10}; do [ -n "$(lan_pids "$1")" ] || break; sleep 0.1; done
  for pid in $(lan_pids "$1"); do kill -KILL "$pid" 2>/dev/null; done
  for ns in $(lan_namespaces "$1"); do ip netns del "$ns" 2>/dev/null; done
  [ -z "$(lan_namespaces "$1")" ] || die "could not remove every namespace of '$1'"
}

# Runs each ip command (one per argument, split at spaces); any failure fails the LAN.
run() {
  local c out
  for c; do out=$(eval "ip $c" 2>&1) || { echo "lan.sh: 'ip $c' failed: $out" >&2; return 1; }; done
}

add_node() {  # NAME NODE PORT ADDRESS
  local ns hub
  ns=$(node_ns "$1" "$2") hub=$(node_ns "$1" hub)
  run "netns add $ns" "-n $ns link set lo up" "-n $hub link add $3 type veth peer name lan0 netns $ns" \
    "-n $hub link set $3 master br0" "-n $hub link set $3 up" "-n $ns addr add $4/24 brd + dev lan0" \
    "-n $ns link set lan0 up"
}

lan_up() {
  local name=$1 servers=1 gateway=0 hub client k reason
  shift
  while [ $# -gt 0 ]; do
    case "$1" in
      --servers) [ $# -ge 2 ] || usage "--servers needs a count"; servers=$2; shift 2 ;;
      --gateway-server) [ $# -ge 2 ] || usage "--gateway-server needs a number"; gateway=$2; shift 2 ;;
      *) usage "unknown option '$1'" ;;
    esac
  done
  [[ "$servers" =~ ^[0-9]+$ ]] && [ "$servers" -ge 1 ] && [ "$servers" -le $MAX_SERVERS ] ||
    usage "--servers must be 1 to $MAX_SERVERS"
  [[ "$gateway" =~ ^[0-9]+$ ]] && [ "$gateway" -le "$servers" ] ||
    usage "--gateway-server must be 1 to the number of servers"
  reason=$(can_make_namespaces) || skip "$reason"
  [ -z "$(lan_namespaces "$name")" ] || die "a LAN named '$name' is already up"
  trap 'lan_down "$name"' EXIT  # a half-built LAN goes down again
  hub=$(node_ns "$name" hub) client=$(node_ns "$name" client)
  run "netns add $hub" "-n $hub link set lo up" "-n $hub link add br0 type bridge" "-n $hub link set br0 up" ||
    die "cannot build the hub's bridge"
  add_node "$name" client c "$SUBNET.100" || die "cannot connect the client"
  for ((k = 1; k <= servers; k++)); do
    add_node "$name" "server$k" "s$k" "$SUBNET.$k" || die "cannot connect server$k"
  done
  if [ "$gateway" -gt 0 ]; then
    run "-n $client route add default via $SUBNET.$gateway dev lan0" || die "cannot set the default route"
  else  # without a default route the limited broadcast has no way out
    run "-n $client route add 255.255.255.255/32 dev lan0" || die "cannot route the broadcast"
  fi
  trap - EXIT
  echo "lan $name"
  echo "client $SUBNET.100"
  for ((k = 1; k <= servers; k++)); do echo "server$k $SUBNET.$k"; done
  [ "$gateway" = 0 ] || echo "gateway $SUBNET.$gateway"
}

lan_exec() {
  local ns
  ns=$(node_ns "$1" "$2")
  shift 2
  [ "${1:-}" = "--" ] && shift
  [ $# -ge 1 ] || usage "exec needs a command after --"
  lan_namespaces "${ns%-*}" | grep -qx "$ns" || die "no node '$ns' in its LAN"
  exec ip netns exec "$ns" "$@"
}

cmd=${1:-}
[ -n "$cmd" ] || usage "no command"
shift
case "$cmd" in
  name) echo "kst-$$-$(date +%s%N | tail -c 7)-$RANDOM" ;;
  check) reason=$(can_make_namespaces) || skip "$reason"; echo "lan.sh: network namespaces can be made here" ;;
  up) [ $# -ge 1 ] || usage "up needs a LAN name"; check_name "$1"; lan_up "$@" ;;
  exec) [ $# -ge 2 ] || usage "exec needs a LAN name and a node"; check_name "$1"; lan_exec "$@" ;;
  down) [ $# -eq 1 ] || usage "down needs a LAN name"; check_name "$1"
    [ "$(id -u)" = 0 ] || skip "not running as root"; lan_down "$1" ;;
  *) usage "unknown command '$cmd'" ;;
esac
