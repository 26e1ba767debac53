# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, built by CPack (scripts/package.sh): one package,
# usbkestrum, with everything that `cmake --install` puts in place, so that any
# program given an install rule later lands in it too.
set(KESTRUM_MAINTAINER "USB Kestrum developers <developers@kestrum.org>")
set(KESTRUM_HOMEPAGE "https://kestrum.org/")
# No licence has been chosen yet; this is what the package and its metadata say
# until one is.
set(KESTRUM_LICENSE "LicenseRef-proprietary")

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

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRUM_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTRUM_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The summary, then the long description: CPack indents its lines and turns
# the blank line into the control file's paragraph mark.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop monitor for network print servers with USB printers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
USB Kestrum finds the print servers on the local network (a UDP broadcast
to port 60000, then the default gateway), lets you pick one or type its
address, and then shows every printer on it, refreshed about once a
second: on line, busy, in a fault state or out of paper, the jobs in its
queue, how far the current document has printed, who sent it from which
address, and how large it is.

The package also holds kestrum-probe, which reads the same print servers
for scripts, monitoring plugins and Prometheus (a multi-target exporter),
and kestrum-printsim, a print-server simulator for trying the monitor
without real print servers.]])

include(CPack)
