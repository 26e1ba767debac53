#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A private test LAN made of network namespaces, for end-to-end tests that
# need broadcast, several print servers or a default gateway.
#
#   lan.sh name                       print a fresh, unique LAN name
#   lan.sh check                      exit 0 if namespaces can be made here, 77 if not
#   lan.sh up NAME [--servers N] [--gateway-server K]
#   lan.sh exec NAME NODE -- CMD...   run CMD in NODE: client, server1..serverN or hub
#   lan.sh addr NAME NODE             print NODE's address
#   lan.sh down NAME                  kill what runs inside and remove the namespaces
#
# NAME-hub holds a bridge br0; NAME-client (10.213.0.100) and NAME-s1 .. NAME-sN
# (10.213.0.1 .. N) each have one interface lan0, a veth whose other end is on
# the bridge. All is made inside the namespaces (`ip -n`): the host's interfaces
# and routes never change. With --gateway-server K the client's default route
# points at 10.213.0.K; without, it has its /24 and a route for 255.255.255.255.
# Exit codes: 0 done, 77 namespaces cannot be made here (tests report SKIPPED),
# 64 bad usage, 1 other failure: once the check passed, a bridge or veth that
# cannot be made is a fault, not a skip.
set -u

readonly SUBNET=10.213.0
readonly CLIENT_HOST=100
readonly MAX_SERVERS=50

die() { echo "lan.sh: $*" >&2; exit 1; }
usage() { echo "lan.sh: $*" >&2; echo "usage: lan.sh name|check|up|exec|addr|down ..." >&2; exit 64; }
skip() { echo "lan.sh: SKIP: $*" >&2; exit 77; }
check_name() { [[ "$1" =~ ^[A-Za-z0-9_.-]{1,40}$ ]] || usage "bad LAN name '$1' (letters, digits, . _ -; at most 40)"; }

# Whether this machine lets us make namespaces at all.
can_make_namespaces() {
  [ "$(id -u)" = 0 ] || { echo "not running as root"; return 1; }
  command -v ip >/dev/null 2>&1 || { echo "no 'ip' command (iproute2)"; return 1; }
  ip netns list >/dev/null 2>&1 || { echo "'ip netns' is not available"; return 1; }
  local probe="kst-check-$$-$RANDOM" made=0
  ip netns add "$probe" 2>/dev/null || { echo "'ip netns add' failed (no permission?)"; return 1; }
  # A bridge and a veth pair too, in the trial namespace alone.
  ip -n "$probe" link add br0 type bridge 2>/dev/null &&
    ip -n "$probe" link add v0 type veth peer name v1 2>/dev/null && made=1
  ip netns del "$probe" 2>/dev/null
  [ $made = 1 ] || { echo "no bridge or veth can be made in a namespace"; return 1; }
  return 0
}

node_ns() {
  case "$2" in
    client | hub) echo "$1-$2" ;;
    server[0-9]*) echo "$1-s${2#server}" ;;
    *) usage "unknown node '$2' (client, serverK or hub)" ;;
  esac
}

node_addr() {
  case "$1" in
    client) echo "$SUBNET.$CLIENT_HOST" ;;
    server[0-9]*) echo "$SUBNET.${1#server}" ;;
    *) usage "node '$1' has no address" ;;
  esac
}

# The namespaces that belong to a LAN, by their exact names.
lan_namespaces() {
  local pattern
  pattern=$(printf '%s' "$1" | sed 's/[.]/\\./g')
  ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^$pattern-(hub|client|s[0-9]+)$"
}

lan_down() {
  local name=$1 ns pid
  for ns in $(lan_namespaces "$name"); do
    # Processes started inside keep a deleted namespace alive; end them first.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do
      kill -TERM "$pid" 2>/dev/null
    done
  done
  for ns in $(lan_namespaces "$name"); do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do
      for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -KILL "$pid" 2>/dev/null
    done
  done
  # A veth pair goes with whichever of its two namespaces is deleted first.
  for ns in $(lan_namespaces "$name"); do
    ip netns del "$ns" 2>/dev/null
  done
  [ -z "$(lan_namespaces "$name")" ] || die "could not remove every namespace of '$name'"
}

# Runs one ip command; any failure while building is a failure of the whole LAN.
run() {
  local out
  out=$("$@" 2>&1) || { echo "lan.sh: '$*' failed: $out" >&2; return 1; }
}

add_node() {
  local name=$1 node=$2 port=$3
  local ns hub addr
  ns=$(node_ns "$name" "$node")
  hub=$(node_ns "$name" hub)
  addr=$(node_addr "$node")
  run ip netns add "$ns" &&
  run ip -n "$ns" link set lo up &&
  run ip -n "$hub" link add "$port" type veth peer name lan0 netns "$ns" &&
  run ip -n "$hub" link set "$port" master br0 &&
  run ip -n "$hub" link set "$port" up &&
  run ip -n "$ns" addr add "$addr/24" brd + dev lan0 &&
  run ip -n "$ns" link set lan0 up
}

lan_up() {
  local name=$1; shift
  local servers=1 gateway=0
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

  local reason
  reason=$(can_make_namespaces) || skip "$reason"
  [ -z "$(lan_namespaces "$name")" ] || die "a LAN named '$name' is already up"

  # A half-built LAN is taken down again, whatever stopped the building.
  trap 'lan_down "$name"' EXIT
  local hub k
  hub=$(node_ns "$name" hub)
  run ip netns add "$hub" &&
  run ip -n "$hub" link set lo up &&
  run ip -n "$hub" link add br0 type bridge &&
  run ip -n "$hub" link set br0 up || die "cannot build the hub's bridge"
  add_node "$name" client c || die "cannot connect the client"
  for ((k = 1; k <= servers; k++)); do
    add_node "$name" "server$k" "s$k" || die "cannot connect server$k"
  done
  local client_ns
  client_ns=$(node_ns "$name" client)
  if [ "$gateway" -gt 0 ]; then
    run ip -n "$client_ns" route add default via "$SUBNET.$gateway" dev lan0 || die "cannot set the default route"
  else
    # Without a default route the limited broadcast has no way out.
    run ip -n "$client_ns" route add 255.255.255.255/32 dev lan0 || die "cannot route the broadcast"
  fi
  trap - EXIT

  echo "lan $name"
  echo "client $SUBNET.$CLIENT_HOST"
  for ((k = 1; k <= servers; k++)); do
    echo "server$k $SUBNET.$k"
  done
  [ "$gateway" -gt 0 ] && echo "gateway $SUBNET.$gateway"
  return 0
}

lan_exec() {
  local name=$1 node=$2; shift 2
  [ "${1:-}" = "--" ] && shift
  [ $# -ge 1 ] || usage "exec needs a command after --"
  local ns
  ns=$(node_ns "$name" "$node")
  lan_namespaces "$name" | grep -qx "$ns" || die "no node '$node' in LAN '$name'"
  exec ip netns exec "$ns" "$@"
}

cmd=${1:-}
[ -n "$cmd" ] || usage "no command"
shift
case "$cmd" in
  name)
    echo "kst-$$-$(date +%s%N | tail -c 7)-$RANDOM"
    ;;
  check)
    reason=$(can_make_namespaces) || skip "$reason"
    echo "lan.sh: network namespaces can be made here"
    ;;
  up)
    [ $# -ge 1 ] || usage "up needs a LAN name"
    check_name "$1"
    lan_up "$@"
    ;;
  exec)
    [ $# -ge 2 ] || usage "exec needs a LAN name and a node"
    check_name "$1"
    lan_exec "$@"
    ;;
  addr)
    [ $# -eq 2 ] || usage "addr needs a LAN name and a node"
    check_name "$1"
    node_addr "$2"
    ;;
  down)
    [ $# -eq 1 ] || usage "down needs a LAN name"
    check_name "$1"
    [ "$(id -u)" = 0 ] || skip "not running as root"
    lan_down "$1"
    ;;
  *)
    usage "unknown command '$cmd'"
    ;;
esac
