#!/bin/bash
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, testing and the demo need,
# and only those that are missing.
set -euo pipefail

usage() {
  cat <<'TEXT'
usage: scripts/install-deps.sh
Installs the Debian packages that building, testing and the demo need, and
only those that are missing (as root; otherwise it names them).
TEXT
}

case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libfreetype-dev libfontconfig-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev prometheus-cpp-dev libcpp-httplib-dev
  iproute2 procps prometheus curl jq
  # the exporter's HTTP server, its web configuration (YAML), TLS and bcrypt
  libmicrohttpd-dev libyaml-cpp-dev libgnutls28-dev nettle-dev libcrypt-dev
  # host names with a deadline (c-ares), and the name server of the tests' own LAN
  libc-ares-dev dnsmasq-base
  # the exporter's tests: certificates made at run time, and the attack suite's ulimits
  openssl util-linux python3
  xvfb xauth x11-utils xdotool imagemagick openbox wmctrl
  fonts-liberation fonts-dejavu-core fonts-dejavu-extra
  dpkg-dev fakeroot file gzip binutils desktop-file-utils appstream lintian man-db
  # the screen-reader walk (tests/e2e/desktop_a11y_test.sh): the AT-SPI bus and
  # registry, Debian's Python bindings for it, and a private session bus
  at-spi2-core python3-pyatspi dbus
  # the notifications' run (tests/e2e/notify_test.sh): its recording service on
  # Debian's D-Bus bindings, and dbus-launch, which a monitor without a session
  # bus must not start
  python3-dbus python3-gi dbus-x11
  # fuzzing (scripts/fuzz.sh): clang with libFuzzer and the sanitizers, and the
  # symbolizer for readable reports
  clang libclang-rt-14-dev llvm
  # the monitoring systems that run the probe's plugin and take its command
  # definitions in tests/probe/monitoring (the daemon alone, without the web
  # interface, Apache and PHP that the nagios4 package brings)
  nagios4-core icinga2-bin icinga2-common
  # the packages' checks: systemd-analyze for the exporter's unit (no systemd
  # needs to run), reuse for the licence information of every file
  systemd reuse
  # the C++ style (scripts/format.sh, .clang-format)
  clang-format-14
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run as root, or: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Packages with a daemon (nagios4-core, icinga2, the mail server that Nagios's
# mailx pulls in) start it on installation; tests run their own, privately, so
# no service is started while installing. Where no policy is in place, one
# that refuses every start stands in for the time of the install.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# install-deps.sh: no service starts while it installs\nexit 101\n' >"$policy"
  chmod 0755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
