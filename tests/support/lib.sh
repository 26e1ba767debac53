# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the shell tests. Sourcing it makes $work, a folder removed at exit,
# and sets one EXIT trap that also ends what `start` started and takes down
# every LAN `lan_up` made. Works with and without `set -euo pipefail`.
#   fail WHY...            "FAIL: WHY", the tail of each $work/*.log, exit 1
#   skip WHY...            "SKIP: WHY", exit 77 (ctest's SKIP_RETURN_CODE)
#   need TOOL...           skip unless every TOOL is on PATH
#   need_root              skip unless running as root
#   at_exit COMMAND        run COMMAND (a string) at exit, before the LANs go down
#   wait_for TENTHS CMD... true once CMD succeeds, tried every 0.1 s, TENTHS times
#   wait_listening LOG     wait up to 5 s for a "listening ADDR" line in LOG, print ADDR
# The Debian packages scripts/package.sh built into $deb_dir:
#   deb PACKAGE            the path of PACKAGE's .deb; fails if there is none
#   snapshot               every file under /usr /etc /opt and dpkg's and systemd's state, users, groups
# On a private LAN of network namespaces (set lan_sh to tests/netns/lan.sh first):
#   need_lan               skip unless namespaces can be made here
#   lan_up ARGS...         a fresh LAN (ARGS as for `lan.sh up`) named $lan
#   on NODE CMD...         run CMD in NODE of $lan (client, serverK)
#   start NODE CMD...      the same in the background; $pid is CMD's own pid
#   sim NODE LOG ARGS...   $sim (the simulator) in NODE, ending by itself, waited for
#   start_display [SIZE]   Xvfb in the client node; exports DISPLAY
# Counting the rows of a table:
#   row_result NAME WHY    PASS NAME when WHY is empty, else FAIL NAME: WHY
#   finish                 exit 1 if a row failed or none ran, else 0

work=$(mktemp -d)
_lib_exits=() _lib_pids=() _lib_lans=() _lib_rows=0 _lib_fails=0

_lib_exit() {
  local _lib_rc=$? _lib_x
  for _lib_x in "${_lib_exits[@]}"; do eval "$_lib_x" || true; done
  for _lib_x in "${_lib_pids[@]}"; do kill "$_lib_x" 2>/dev/null || true; done
  for _lib_x in "${_lib_lans[@]}"; do bash "$lan_sh" down "$_lib_x" >/dev/null 2>&1 || true; done
  rm -rf "$work"
  exit "$_lib_rc"
}
trap _lib_exit EXIT
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND ($?)"' ERR  # what `set -e` stopped at

fail() {
  local f
  echo "FAIL: $*"
  for f in "$work"/*.log; do
    [ -s "$f" ] && { echo "--- ${f##*/}"; tail -n 15 "$f"; }
  done
  exit 1
}
skip() { echo "SKIP: $*"; exit 77; }
need() { local t; for t; do command -v "$t" >/dev/null || skip "needs $t"; done; }
need_root() { [ "$(id -u)" = 0 ] || skip "needs root"; }
at_exit() { _lib_exits+=("$1"); }

wait_for() {
  local _lib_tenths=$1 _lib_i  # names no command's own variables shadow
  shift
  for ((_lib_i = 0; _lib_i < _lib_tenths; _lib_i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

wait_listening() {
  wait_for 50 grep -q '^listening ' "$1" || fail "nothing listens: $(cat "$1")"
  awk '/^listening / {print $2; exit}' "$1"
}

deb() {
  local f
  f=$(ls "$deb_dir/${1}_"*.deb 2>/dev/null | head -n 1) || true
  [ -n "$f" ] || { fail "no $1 package in $deb_dir (scripts/package.sh builds it)"; } >&2
  echo "$f"
}

# Caches the desktop's triggers keep are no trace of a package.
snapshot() {
  find /usr /etc /opt /var/lib/dpkg/info /var/lib/systemd -xdev 2>/dev/null | grep -v -e '/icon-theme\.cache$' \
    -e '/mimeinfo\.cache$' -e '^/var/lib/dpkg/info/.*\.list-new$' | sort
  getent passwd | cut -d: -f1,3 | sort
  getent group | cut -d: -f1,3 | sort
}

need_lan() { bash "$lan_sh" check >/dev/null || exit $?; }

lan_up() {
  local rc=0
  lan=$(bash "$lan_sh" name)
  _lib_lans+=("$lan")
  bash "$lan_sh" up "$lan" "$@" >"$work/lan-$lan.txt" || rc=$?
  [ "$rc" = 77 ] && exit 77
  [ "$rc" = 0 ] || fail "lan.sh up $* ($rc)"
}

on() { bash "$lan_sh" exec "$lan" "$1" -- "${@:2}"; }

start() {
  (exec bash "$lan_sh" exec "$lan" "$1" -- "${@:2}") &
  pid=$!
  _lib_pids+=("$pid")
}

sim() {
  start "$1" "$sim" --max-seconds 90 "${@:3}" >"$2" 2>&1
  wait_listening "$2" >/dev/null
}

start_display() {
  exec 3>"$work/display"
  start client Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp -noreset >/dev/null 2>&1
  exec 3>&-
  wait_for 100 grep -q . "$work/display" || fail "Xvfb did not start"
  DISPLAY=:$(head -n 1 "$work/display")
  export DISPLAY
  wait_for 100 on client xdpyinfo || fail "no display $DISPLAY"
}

row_result() {
  _lib_rows=$((_lib_rows + 1))
  if [ -z "$2" ]; then
    echo "PASS: $1"
  else
    echo "FAIL: $1: $2"
    _lib_fails=$((_lib_fails + 1))
  fi
}

finish() {
  [ "$_lib_rows" -gt 0 ] && [ "$_lib_fails" = 0 ] || { echo "FAIL: $_lib_fails of $_lib_rows"; exit 1; }
  echo "PASS: all $_lib_rows"
}
