#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The exporter with a web configuration file, end to end by curl on loopback: TLS with throwaway keys
# (openssl, made here), basic authentication with a bcrypt hash, client certificates, a bad file refused at
# start. As root in a network namespace of its own, also :PORT (every address, IPv6 and IPv4).
#   tls_auth_test.sh PROBE
set -euo pipefail
probe=$(realpath "$1")
if [ "$(id -u)" = 0 ] && [ "${KESTRUM_IN_NS:-}" != 1 ] && unshare -n true 2>/dev/null; then
  exec env KESTRUM_IN_NS=1 unshare -n -- bash "$0" "$probe"
fi
[ "${KESTRUM_IN_NS:-}" = 1 ] && ip link set lo up
. "$(dirname "$0")/../support/lib.sh"
need openssl curl

hash=$(python3 -W ignore -c 'import crypt as c; print(c.crypt("secret", c.mksalt(c.METHOD_BLOWFISH, rounds=1024)))')

cd "$work"
# cert NAME CN [EXTENSION]: a key and its certificate, signed by our CA (by itself for the CA and "other").
cert() {
  local by=(-CA ca.pem -CAkey ca.key)
  case $1 in ca | other) by=() ;; esac
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "/CN=$2" \
    -keyout "$1.key" -out "$1.pem" "${by[@]}" ${3:+-addext "$3"} 2>/dev/null
}
cert ca kestrum-test-ca
cert server 127.0.0.1 subjectAltName=IP:127.0.0.1,IP:::1
cert client scraper
cert other stranger
cert server-only scraper extendedKeyUsage=serverAuth  # from the client CA, but for servers only
printf 'tls_server_config:\n  cert_file: server.pem\n  key_file: server.key\n' >tls.yml
{ cat tls.yml; printf "basic_auth_users:\n  alice: '%s'\n" "$hash"; } >web.yml
{ cat tls.yml; printf '  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.pem\n'; } >mtls.yml

# serve NAME ARGS...: starts the exporter; sets port_NAME to the first address's port.
serve() {
  local name=$1
  shift
  "$probe" serve "$@" >"$name.out" 2>&1 &
  at_exit "kill $!"
  printf -v "port_$name" '%s' "$(wait_listening "$name.out" | sed 's/.*://')"
}
# code URL CURL_ARGS...: the HTTP status, 000 when there was none.
code() { local url=$1; shift; curl -s -o body.txt -w '%{http_code}' --max-time 5 "$@" "$url" || true; }
# want STATUS WHY URL CURL_ARGS...
want() { local status=$1 why=$2; shift 2; [ "$(code "$@")" = "$status" ] || fail "$why: want $status"; }

serve auth --web.listen-address 127.0.0.1:0 --web.listen-address '[::1]:0' --web.config.file web.yml
grep -q 'msg="Web front" tls=on client_auth=NoClientCert basic_auth=on users=1' auth.out ||
  fail "the start log does not say what guards the exporter: $(cat auth.out)"
grep -q 'listen=127.0.0.1:0,\[::1\]:0 ' auth.out || fail "the start log does not name every address: $(cat auth.out)"
port6=$(grep '^listening ' auth.out | sed -n '2s/^listening \[::1\]://p')
base="https://127.0.0.1:$port_auth"
tls=(--cacert ca.pem)
want 401 "no password" "$base/metrics" "${tls[@]}"
[[ "$(curl -s -D - -o /dev/null --max-time 5 "${tls[@]}" "$base/metrics")" == *"WWW-Authenticate: Basic"* ]] ||
  fail "a 401 without WWW-Authenticate: Basic"
want 401 "a wrong password" "$base/metrics" "${tls[@]}" -u alice:wrong
want 200 "the right password" "$base/metrics" "${tls[@]}" -u alice:secret
grep -q '^process_cpu_seconds_total' body.txt || fail "the right password: no metrics"
want 200 "a probe through TLS and basic auth" "$base/probe?target=127.0.0.1:9" "${tls[@]}" -u alice:secret
grep -q '^kestrum_up 0' body.txt || fail "a probe through TLS and basic auth: $(cat body.txt)"
want 200 "TLS on [::1]" "https://[::1]:$port6/metrics" "${tls[@]}" -u alice:secret
want 000 "a certificate no CA vouches for" "$base/metrics" -u alice:secret
want 000 "plain HTTP on the TLS port" "http://127.0.0.1:$port_auth/metrics" -u alice:secret

serve mtls --web.listen-address 127.0.0.1:0 --web.config.file mtls.yml
grep -q 'msg="Web front" tls=on client_auth=RequireAndVerifyClientCert basic_auth=off users=0' mtls.out ||
  fail "the start log does not say what guards the exporter: $(cat mtls.out)"
base="https://127.0.0.1:$port_mtls"
want 200 "a client certificate from the CA" "$base/metrics" "${tls[@]}" --cert client.pem --key client.key
want 403 "no client certificate" "$base/metrics" "${tls[@]}"
want 403 "a client certificate from another CA" "$base/metrics" "${tls[@]}" --cert other.pem --key other.key
want 403 "a client certificate for server use only" "$base/metrics" "${tls[@]}" --cert server-only.pem \
  --key server-only.key

# A bad file: a clear error at start, exit 1; with --log.format json every line is JSON.
sed s/server.key/nowhere.key/ tls.yml >bad.yml
rc=0
out=$(timeout 5 "$probe" serve --log.format json --web.listen-address 127.0.0.1:0 --web.config.file bad.yml 2>&1) || rc=$?
[ $rc = 1 ] && [[ "$out" == *'"err":"'*"cannot read"*"No such file or directory"* ]] && ! grep -qv '^{' <<<"$out" ||
  fail "a key file that is not there, logged as JSON with the reason: exit $rc, '$out'"

if [ "${KESTRUM_IN_NS:-}" = 1 ]; then
  serve all --web.listen-address :0
  grep -q '^listening \[::\]:' all.out || fail "':0' is not shown as [::]: $(cat all.out)"
  [ "$(code "http://127.0.0.1:$port_all/metrics")" = 200 ] || fail ":PORT over IPv4"
  [ "$(code "http://[::1]:$port_all/metrics")" = 200 ] || fail ":PORT over IPv6"
fi
echo PASS
