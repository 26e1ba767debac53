#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The exporter with a web configuration file, end to end by curl on loopback:
# TLS with a throwaway key pair (openssl, made here), basic authentication
# with a bcrypt hash, client certificates, and bad files refused at start.
# As root it runs in a network namespace of its own and also checks :PORT
# (every address, IPv6 and IPv4); elsewhere on 127.0.0.1 and [::1] only.
#   tls_auth_test.sh PROBE
set -euo pipefail
probe=$(realpath "$1")
if [ "$(id -u)" = 0 ] && [ "${KESTRUM_IN_NS:-}" != 1 ] && unshare -n true 2>/dev/null; then
  exec env KESTRUM_IN_NS=1 unshare -n -- bash "$0" "$probe"
fi
[ "${KESTRUM_IN_NS:-}" = 1 ] && ip link set lo up
. "$(dirname "$0")/../support/lib.sh"
need openssl curl

# bcrypt: libcrypt through python3, else htpasswd or mkpasswd.
bcrypt='import crypt, sys; print(crypt.crypt(sys.argv[1], crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1024)))'
hash=$(python3 -W ignore -c "$bcrypt" secret 2>/dev/null)
[ -n "$hash" ] || hash=$(htpasswd -nbBC 10 "" secret 2>/dev/null | tr -d ':\n')
[ -n "$hash" ] || hash=$(mkpasswd -m bcrypt secret 2>/dev/null)
case "$hash" in '$2'*) ;; *) skip "nothing here makes a bcrypt hash" ;; esac

cd "$work"
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -days 2 -subj /CN=kestrum-test-ca -keyout ca.key -out ca.pem 2>/dev/null
openssl req "${ec[@]}" -subj /CN=127.0.0.1 -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,IP:::1\n' >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server.ext \
    -out server.pem 2>/dev/null
openssl req "${ec[@]}" -subj /CN=scraper -keyout client.key -out client.csr 2>/dev/null
openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out client.pem 2>/dev/null
openssl req -x509 "${ec[@]}" -days 2 -subj /CN=stranger -keyout other.key -out other.pem 2>/dev/null
# From the client CA, but for servers only: not a client's certificate.
printf 'extendedKeyUsage=serverAuth\n' >server-only.ext
openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server-only.ext \
    -out server-only.pem 2>/dev/null
chmod 600 server.key
[ -s server.pem ] && [ -s client.pem ] || { echo "openssl could not make the certificates"; exit 1; }

cat >web.yml <<YAML
tls_server_config:
  cert_file: server.pem
  key_file: server.key
basic_auth_users:
  alice: '$hash'
YAML
cat >mtls.yml <<YAML
tls_server_config:
  cert_file: server.pem
  key_file: server.key
  client_auth_type: RequireAndVerifyClientCert
  client_ca_file: ca.pem
YAML

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

serve auth --web.listen-address 127.0.0.1:0 --web.listen-address '[::1]:0' --web.config.file web.yml
grep -q 'msg="Web front" tls=on client_auth=NoClientCert basic_auth=on users=1' auth.out ||
  fail "the start log does not say what guards the exporter: $(cat auth.out)"
port6=$(grep '^listening ' auth.out | sed -n '2s/^listening \[::1\]://p')
base="https://127.0.0.1:$port_auth"
tls=(--cacert ca.pem)
[ "$(code "$base/metrics" "${tls[@]}")" = 401 ] || fail "no password: want 401"
[[ "$(curl -s -D - -o /dev/null --max-time 5 "${tls[@]}" "$base/metrics")" == *"WWW-Authenticate: Basic"* ]] ||
  fail "a 401 without WWW-Authenticate: Basic"
[ "$(code "$base/metrics" "${tls[@]}" -u alice:wrong)" = 401 ] || fail "a wrong password: want 401"
[ "$(code "$base/metrics" "${tls[@]}" -u bob:secret)" = 401 ] || fail "an unknown user: want 401"
[ "$(code "$base/metrics" "${tls[@]}" -u alice:secret)" = 200 ] && grep -q '^process_cpu_seconds_total' body.txt ||
  fail "the right password: want 200 and the metrics"
[ "$(code "$base/probe?target=127.0.0.1:9" "${tls[@]}" -u alice:secret)" = 200 ] &&
    grep -q '^kestrum_up 0' body.txt || fail "a probe through TLS and basic auth"
[ "$(code "https://[::1]:$port6/metrics" "${tls[@]}" -u alice:secret)" = 200 ] || fail "TLS on [::1]"
[ "$(code "$base/metrics" -u alice:secret)" = 000 ] || fail "a certificate no CA vouches for was accepted"
[ "$(code "http://127.0.0.1:$port_auth/metrics" -u alice:secret)" = 200 ] && fail "plain HTTP on the TLS port"

serve mtls --web.listen-address 127.0.0.1:0 --web.config.file mtls.yml
base="https://127.0.0.1:$port_mtls"
[ "$(code "$base/metrics" "${tls[@]}" --cert client.pem --key client.key)" = 200 ] ||
  fail "a client certificate from the CA: want 200"
[ "$(code "$base/metrics" "${tls[@]}")" = 200 ] && fail "no client certificate, yet 200"
[ "$(code "$base/metrics" "${tls[@]}" --cert other.pem --key other.key)" = 200 ] &&
  fail "a client certificate from another CA, yet 200"
[ "$(code "$base/metrics" "${tls[@]}" --cert server-only.pem --key client.key)" = 200 ] &&
  fail "a client certificate for server use only, yet 200"
grep -q 'msg="Web front" tls=on client_auth=RequireAndVerifyClientCert basic_auth=off users=0' mtls.out ||
  fail "the start log does not say what guards the exporter: $(cat mtls.out)"

# A key that every user may read: served, with a warning.
chmod 644 server.key
serve readable --web.listen-address 127.0.0.1:0 --web.config.file web.yml
grep -q 'level=warn .*can be read by every user' readable.out || fail "no warning for a key others can read"

# Bad files: a clear error at start, exit non-zero.
printf 'tls_server_config:\n  cert_file: server.pem\n  key_file: nowhere.key\n' >bad.yml
printf 'basic_auth_users:\n  alice: secret\n' >plain.yml
for bad in bad.yml:"cannot read" plain.yml:"not a bcrypt hash" absent.yml:"cannot read"; do
  rc=0
  out=$(timeout 5 "$probe" serve --web.listen-address 127.0.0.1:0 --web.config.file "${bad%%:*}" 2>&1) || rc=$?
  [ $rc = 1 ] && [[ "$out" == *"${bad#*:}"* ]] || fail "${bad%%:*}: exit $rc, '$out'"
done

if [ "${KESTRUM_IN_NS:-}" = 1 ]; then
  serve all --web.listen-address :0
  grep -q '^listening \[::\]:' all.out || fail "':0' is not shown as [::]: $(cat all.out)"
  [ "$(code "http://127.0.0.1:$port_all/metrics")" = 200 ] || fail ":PORT over IPv4"
  [ "$(code "http://[::1]:$port_all/metrics")" = 200 ] || fail ":PORT over IPv6"
fi
echo PASS
