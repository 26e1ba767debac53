// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the program settles before its window: the command line (only --help
// and --version), whether there is a display, and whether the session has a bus.
#pragma once
#include <QtGlobal>
#include <optional>
#include <string>

// The status to end with at once (0 after --help or --version, 64 for any
// other argument), or nothing when the monitor is to run.
std::optional<int> HandleCommandLine(int argc, char **argv);

// Why Qt would find no display to open, as one line; empty when one is named.
std::string MissingDisplay();

// Whether the session names a bus: DBUS_SESSION_BUS_ADDRESS, or the socket
// $XDG_RUNTIME_DIR/bus that libdbus looks for when that is not set.
bool SessionBusNamed();

// Points libdbus at an address of no transport, so that nothing of Qt's own that
// asks for the session bus makes libdbus autolaunch one (dbus-launch and a
// dbus-daemon outliving the program). Call only when SessionBusNamed() is false.
void KeepBusUnstarted();

// Around the construction of QApplication: a display that is named but cannot
// be opened ends the program with one line and status 1 instead of Qt's abort;
// what Qt said meanwhile is passed on when all went well.
class DisplayOpenGuard {
public:
    DisplayOpenGuard();
    ~DisplayOpenGuard();
    DisplayOpenGuard(const DisplayOpenGuard &) = delete;
    DisplayOpenGuard &operator=(const DisplayOpenGuard &) = delete;

private:
    QtMessageHandler m_previous;
};
