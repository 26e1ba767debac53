# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian packages, built by CPack (scripts/package.sh) from one source, one
# package per install component:
#   monitor  -> usbkestrum            the desktop monitor (Qt)
#   probe    -> kestrum-probe         the command-line probe and exporter, its service
#   printsim -> kestrum-printsim      the print-server simulator
#   agent    -> kestrum-agent-module  the gateway lookup module both programs load
# so that a headless monitoring host gets the probe without Qt. Every install
# rule names its component: a rule without one falls into CMake's Unspecified
# component, which no package takes, and scripts/package.sh refuses to go on.
set(KESTRUM_MAINTAINER "USB Kestrum developers <developers@kestrum.org>")
set(KESTRUM_HOMEPAGE "https://kestrum.org/")
set(KESTRUM_LICENSE "GPL-3.0-or-later")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME usbkestrum)
set(CPACK_PACKAGE_VENDOR "The USB Kestrum developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KESTRUM_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Directories in the package are 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL monitor probe printsim agent)
if(NOT KESTRUM_GUI)
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL monitor)
endif()
# Depends between our own packages, with the exact version: the module and the
# programs that load it are built together.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_MONITOR_DEPENDS agent)
set(CPACK_COMPONENT_PROBE_DEPENDS agent)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE usbkestrum)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRUM_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTRUM_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts 0755, conffiles 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each description is the package's summary, then its long description: CPack
# indents its lines and turns a blank line into the control file's paragraph
# mark. CPack puts the common summary before each unless it is its own default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_DEBIAN_MONITOR_PACKAGE_NAME usbkestrum)
set(CPACK_DEBIAN_MONITOR_PACKAGE_SUGGESTS "kestrum-probe, kestrum-printsim")
set(CPACK_DEBIAN_MONITOR_DESCRIPTION [[
desktop monitor for network print servers with USB printers
USB Kestrum finds the print servers on the local network (a UDP broadcast
to port 60000, then the default gateway), lets you pick one or type its
address, and then shows every printer on it, refreshed about once a
second: on line, busy, in a fault state or out of paper, the jobs in its
queue, how far the current document has printed, who sent it from which
address, and how large it is.

The package kestrum-printsim holds a print-server simulator for trying
the monitor without real print servers.]])

set(CPACK_DEBIAN_PROBE_PACKAGE_NAME kestrum-probe)
set(CPACK_DEBIAN_PROBE_PACKAGE_SECTION net)
# The maintainer scripts enable and start the service with deb-systemd-helper
# and deb-systemd-invoke, from init-system-helpers; as Debian's exporters do, the
# version whose helpers the scripts call is a Pre-Depends. The plugin and its
# command definitions serve Nagios and Icinga, the exporter and its rules
# Prometheus.
set(CPACK_DEBIAN_PROBE_PACKAGE_PREDEPENDS "init-system-helpers (>= 1.54~)")
set(CPACK_DEBIAN_PROBE_PACKAGE_SUGGESTS "kestrum-printsim, prometheus")
set(CPACK_DEBIAN_PROBE_PACKAGE_ENHANCES "icinga2, nagios4")
# Every file it installs under /etc must be listed in its conffiles.
set(CPACK_DEBIAN_PROBE_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/kestrum-probe/conffiles
  ${CMAKE_SOURCE_DIR}/packaging/kestrum-probe/postinst
  ${CMAKE_SOURCE_DIR}/packaging/kestrum-probe/prerm
  ${CMAKE_SOURCE_DIR}/packaging/kestrum-probe/postrm)
set(CPACK_DEBIAN_PROBE_DESCRIPTION [[
USB print servers in scripts, monitoring plugins and Prometheus
kestrum-probe reads the network print servers that USB Kestrum watches,
without a desktop: it finds them on the LAN, prints the status of their
printers as text or JSON, judges them as a monitoring plugin would, and
serves them to Prometheus as a multi-target exporter.

The exporter runs as the systemd service kestrum-probe, configured in
/etc/default/kestrum-probe.]])

set(CPACK_DEBIAN_PRINTSIM_PACKAGE_NAME kestrum-printsim)
set(CPACK_DEBIAN_PRINTSIM_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PRINTSIM_DESCRIPTION [[
simulator of network print servers with USB printers
kestrum-printsim answers on UDP like a network print server with up to
eight USB printers, from a scenario of printers, jobs and faults, for
trying USB Kestrum and kestrum-probe without real print servers.]])

set(CPACK_DEBIAN_AGENT_PACKAGE_NAME kestrum-agent-module)
set(CPACK_DEBIAN_AGENT_PACKAGE_SECTION net)
set(CPACK_DEBIAN_AGENT_DESCRIPTION [[
gateway lookup module of USB Kestrum
When no print server answers the broadcast, USB Kestrum and kestrum-probe
ask the default gateway, reading the routing table through this network
agent module, which they load from their private folder.]])

include(CPack)
