#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A notification service of the test's own: owns org.freedesktop.Notifications on the session bus,
# answers as a server with body markup would, and prints each call with its arguments, one a line
# ("ready" first). Ends on SIGTERM or after SECONDS.   notify_service.py SECONDS
import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


def plain(value):
    return int(value) if isinstance(value, (dbus.Byte, dbus.Int32, dbus.UInt32, dbus.Boolean)) else str(value)


def log(line):
    print(line, flush=True)


class Service(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.last = 0

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        log("GetCapabilities")
        return ["body", "body-markup"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("kestrum-test", "USB Kestrum tests", "1", "1.2")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if replaces == 0:
            self.last += 1
        nid = replaces or self.last
        shown = {str(k): plain(v) for k, v in sorted(hints.items())}
        log(f"Notify app={ascii(str(app))} replaces={int(replaces)} icon={ascii(str(icon))} "
            f"summary={ascii(str(summary))} body={ascii(str(body))} actions={[str(a) for a in actions]} "
            f"hints={shown} timeout={int(timeout)} -> {nid}")
        return nid

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        log(f"CloseNotification {int(nid)}")
        self.NotificationClosed(nid, 3)

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    service = Service(bus)
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(int(sys.argv[1]), loop.quit)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    log("ready")
    loop.run()
    del service, name


if __name__ == "__main__":
    main()
