#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The unit's ExecStart with ARGS from its /etc/default file, run as systemd would without it: a uid no
# account owns, no capabilities or new privileges, its UMask and LimitNOFILE, loopback-only network,
# read-only root, /proc of its own processes only; it must answer /metrics with its process figures.
#   probe_unit_run.sh ROOT [LISTEN]   (ROOT "" for the installed package; LISTEN: where it must listen)
set -euo pipefail
root=$1 expected=${2:-}
. "$(dirname "$0")/../support/lib.sh"
unit=$root/lib/systemd/system/kestrum-probe.service
pid=
# Changing its user clears unshare's --kill-child signal: the exporter is ended by its own id.
stop() {
  [ -n "$pid" ] || return 0
  local child
  for child in $(ps -o pid= --ppid "$pid"); do kill -KILL "$child" 2>/dev/null || true; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
at_exit stop
need_root
unshare -n true 2>/dev/null || skip "needs network namespaces"
for tool in setpriv nsenter ss curl; do command -v "$tool" >/dev/null || fail "needs $tool"; done
[ -f "$unit" ] || fail "no unit at $unit"

setting() { sed -n '/^\[Service\]/,/^\[/p' "$unit" | sed -n "s/^$1=//p" | tail -1; }
exec_start=$(setting ExecStart) env_file=$(setting EnvironmentFile)
umask_value=$(setting UMask) nofile=$(setting LimitNOFILE)
[ "$(setting DynamicUser)" = yes ] || fail "the unit does not run under a dynamic user"
[ -n "$exec_start" ] && [ -n "$umask_value" ] && [ -n "$nofile" ] ||
  fail "the unit lacks ExecStart, UMask or LimitNOFILE"

# ARGS as systemd reads the environment file, put in place of $ARGS, split at white space.
defaults=$root${env_file#-}
[ -f "$defaults" ] || fail "no options file at $defaults"
ARGS=$(ARGS=; . "$defaults" && printf '%s' "$ARGS")
read -ra words <<<"$exec_start"
command=()
for word in "${words[@]}"; do
  case "$word" in
  '$ARGS' | '${ARGS}') read -ra args <<<"$ARGS"; command+=("${args[@]}") ;;
  *) command+=("$word") ;;
  esac
done
command[0]=$root${command[0]}
echo "ExecStart as run: ${command[*]#$root} (ARGS=\"$ARGS\")"

uid=61234  # in systemd's dynamic range, no account's
getent passwd "$uid" >/dev/null && fail "uid $uid has an account here"
started=$(date +%s)
unshare --net --mount --pid --fork --kill-child -- bash -c 'ip link set lo up &&
  mount -t proc -o subset=pid,hidepid=invisible proc /proc && mount -o remount,bind,ro / &&
  umask "$0" && ulimit -n "$1" &&
  exec setpriv --reuid="$2" --regid="$2" --clear-groups --no-new-privs --bounding-set=-all --inh-caps=-all \
    -- "${@:3}"' "$umask_value" "$nofile" "$uid" "${command[@]}" >"$work/serve.log" 2>&1 &
pid=$!

# Only once unshare has its namespace: before, nsenter would read this host's sockets.
own_net() { [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink /proc/self/ns/net)" ]; }
listening() {
  kill -0 "$pid" && own_net && listen=$(nsenter -t "$pid" -n ss -ltnH | awk 'NR == 1 {print $4}') && [ -n "$listen" ]
}
wait_for 100 listening || fail "the exporter ended or listens nowhere after 10 s"
[ -z "$expected" ] || [ "$listen" = "$expected" ] || fail "listening on $listen, not $expected"
port=${listen##*:} host=${listen%:*}
case "$host" in
'*' | 0.0.0.0) host=127.0.0.1 ;;
'[::]') host='[::1]' ;;
esac

metrics=$(nsenter -t "$pid" -n curl -sS --fail --max-time 5 "http://$host:$port/metrics") ||
  fail "no answer on http://$host:$port/metrics"
families=$(grep -c "^# TYPE " <<<"$metrics" || true)
[ "$families" -gt 0 ] || fail "/metrics holds no metric"
# Its start time, found without the system's /proc: between this script's start and the scrape, +-1 s.
start=$(sed -n 's/^process_start_time_seconds //p' <<<"$metrics")
awk -v s="$start" -v a="$started" -v b="$(date +%s)" 'BEGIN { exit !(s != "" && s >= a - 1 && s <= b + 1) }' ||
  fail "process_start_time_seconds is '$start', not between $started and now"
echo "PASS: as uid $uid, listening on $listen (the program's default or ARGS)," \
  "/metrics answered with $families metric families"
