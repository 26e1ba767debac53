#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the monitor's windows through AT-SPI as a screen reader does, driving it by keys: every line of
the mode's section in a11y_heard.txt must begin a line heard.   a11y_walk.py list|entry MONITOR
list: two servers answer; entry: none does (address entry)."""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

EVENTS = []  # (type, role, name, detail1)
HEARD = []
MAIN = "USB Kestrum (Server IP: 10.213.0.1)"


def fail(why):
    print("FAIL: " + why, flush=True)
    sys.exit(1)


def pump(seconds):
    ctx, end = GLib.MainContext.default(), time.monotonic() + seconds
    while time.monotonic() < end:
        while ctx.pending():
            ctx.iteration(False)
        time.sleep(0.02)


def safe(call, default=None):
    try:
        return call()
    except Exception:  # gone while looked at
        return default


def wait_for(what, probe, limit=30):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        found = safe(probe)
        if found:
            return found
        pump(0.1)
    fail("no %s within %d s" % (what, limit))


def on_event(e):
    EVENTS.append((e.type, safe(e.source.getLocalizedRoleName, ""), safe(lambda: e.source.name, ""), e.detail1))


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "60"] + list(keys), check=False)
    pump(0.3)


def window(title):
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and safe(lambda: a.name) == "usbkestrum":
            for w in a:
                if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
    return None


def descendants(acc):
    for child in acc:
        if child is not None:
            yield child
            yield from descendants(child)


def find(win, role, name=None):
    return next((a for a in descendants(win) if a.getLocalizedRoleName() == role and name in (None, a.name)), None)


def hears(acc):
    role, name, s = acc.getLocalizedRoleName(), acc.name.replace("\n", "\\n"), acc.getState()
    states = [n for n, st in (("focusable", pyatspi.STATE_FOCUSABLE), ("focused", pyatspi.STATE_FOCUSED),
                              ("read-only", pyatspi.STATE_READ_ONLY), ("multi-line", pyatspi.STATE_MULTI_LINE))
              if s.contains(st)]
    line = '%s "%s"' % (role, name) + (" [" + ", ".join(states) + "]" if states else "")
    text = safe(lambda: acc.queryText().getText(0, -1))
    return line + (" text %r" % text if role in ("text", "label") and text not in (None, acc.name) else "")


def show(what, title):
    win = wait_for(what, lambda: window(title))
    print("== %s: %s" % (what, hears(win)), flush=True)
    for acc in descendants(win):
        role = acc.getLocalizedRoleName()
        if role in ("filler", "scroll bar") and not acc.name:
            continue
        if role == "cell" or acc.getState().contains(pyatspi.STATE_SHOWING):
            HEARD.append(hears(acc))
            print("   " + HEARD[-1], flush=True)
    return win


def await_event(kind, name, limit=10):
    wait_for("%s %s" % (kind, name), lambda: any(e[0].startswith(kind) and e[2] == name for e in EVENTS), limit)


def heard_events(kind, detail=None):
    lines = ['%s %s "%s"' % (kind, e[1], e[2]) for e in EVENTS if e[0].startswith(kind) and detail in (None, e[3])]
    HEARD.extend(lines)
    print("\n".join("-- " + l for l in lines), flush=True)


def run_list():
    wait_for("both servers", lambda: find(window("Print Server IP List"), "list", "Print servers").childCount == 2)
    show("server list", "Print Server IP List")
    key("Home", "Return")
    win = wait_for("main window", lambda: window(MAIN))
    wait_for("printers", lambda: len([a for a in descendants(win) if a.getLocalizedRoleName() == "tree item"]) >= 3)
    del EVENTS[:]
    key("Down", "Tab", "Tab")  # the first printer, then round the controls
    await_event("object:state-changed:focused", "Printer details")
    heard_events("object:state-changed:focused", 1)
    key("shift+Tab", "shift+Tab")
    table, details = find(win, "table", "Printer status"), find(win, "text", "Printer details")
    row = lambda: [c.name for c in table if c.getLocalizedRoleName() == "cell"]
    first = (row(), details.queryText().getText(0, -1))
    show("main window", MAIN)
    # The scenario changes the printer's status and user within a few replies.
    del EVENTS[:]
    wait_for("a reply's changes", lambda: row()[0] != first[0][0] and details.queryText().getText(0, -1) != first[1])
    await_event("object:property-change:accessible-name", row()[0])
    await_event("object:text-changed", "Printer details")
    heard_events("object:property-change:accessible-name")
    heard_events("object:text-changed")
    show("message box", "usbkestrum")  # the server stops answering
    key("Return")


def run_entry():
    show("notice", "Please waiting ...")
    show("address entry", "Please Input IP Address")
    del EVENTS[:]
    key("Tab")
    await_event("object:state-changed:focused", "Input Server IP: field 1 of 4")
    heard_events("object:state-changed:focused", 1)
    key("Return")
    show("message box", "Input IP Address Error")
    key("Return")
    wait_for("the box to close", lambda: not window("Input IP Address Error"))
    subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Please Input IP Address$", "windowfocus",
                    "--sync"], check=False, capture_output=True, timeout=10)  # no manager gives it back
    key("Escape")


def main():
    mode = sys.argv[1]
    for kind in ("object:property-change:accessible-name", "object:text-changed", "object:state-changed:focused"):
        pyatspi.Registry.registerEventListener(on_event, kind)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    monitor = subprocess.Popen([sys.argv[2]], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        {"list": run_list, "entry": run_entry}[mode]()
        monitor.wait(15)
    finally:
        if monitor.poll() is None:
            monitor.kill()
    if monitor.returncode != (1 if mode == "list" else 0):  # "Connect Failed!" ends the list run
        fail("the monitor ended with %s" % monitor.returncode)
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "a11y_heard.txt"), encoding="utf-8") as f:
        section = [l.rstrip("\n") for l in f.read().split("[%s]\n" % mode)[1].split("\n[")[0].split("\n")]
    missing = [l for l in section if l and not l.startswith("#") and not any(h.startswith(l) for h in HEARD)]
    if missing:
        fail("a reader does not hear:\n  " + "\n  ".join(missing))
    print("PASS: " + mode, flush=True)


if __name__ == "__main__":
    main()
