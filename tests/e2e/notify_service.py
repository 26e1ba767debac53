#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# A notification service of the test's own on the session bus: prints "ready", then each call with its
# arguments, one a line, answering as a service that reads body markup. Ends after SECONDS.
#   notify_service.py SECONDS
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Service(dbus.service.Object):
    last = 0

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        print("GetCapabilities", flush=True)
        return ["body", "body-markup"]

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last += replaces == 0
        shown = {str(k): str(v) if isinstance(v, str) else int(v) for k, v in sorted(hints.items())}
        app, icon, summary, body = (ascii(str(v)) for v in (app, icon, summary, body))
        print(f"Notify app={app} replaces={int(replaces)} icon={icon} summary={summary} body={body} "
              f"actions={[str(a) for a in actions]} hints={shown} timeout={int(timeout)} -> {replaces or self.last}",
              flush=True)
        return replaces or self.last

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, nid):
        print(f"CloseNotification {int(nid)}", flush=True)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
service = Service(bus, "/org/freedesktop/Notifications")
name = dbus.service.BusName(NAME, bus, do_not_queue=True)
loop = GLib.MainLoop()
GLib.timeout_add_seconds(int(sys.argv[1]), loop.quit)
print("ready", flush=True)
loop.run()
