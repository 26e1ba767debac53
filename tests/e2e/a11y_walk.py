#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Walks the monitor's windows through AT-SPI, as a screen reader does, and
checks what a reader hears: names, roles, texts and the change events.

    a11y_walk.py list MONITOR SHOT_DIR   two servers answer: notice, server list,
                                         main window, replies, About, Connect Failed!
    a11y_walk.py entry MONITOR           no server answers: address entry, blank error
    a11y_walk.py dpi MONITOR SHOT_DIR    at 192 dpi: the main window's size and layout

Runs inside a private session bus (dbus-run-session) on the test's display, and
drives the monitor with xdotool. Prints, for each window, what a reader hears.
"""
import json
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

APP = "usbkestrum"
LIMIT = 30.0  # seconds for any one thing to appear
EVENTS = []   # (type, role, name, detail1, data) as the listener heard them


def fail(why):
    print("FAIL: " + why, flush=True)
    sys.exit(1)


def pump(seconds):
    """Lets AT-SPI events arrive for a while."""
    ctx = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while ctx.pending():
            ctx.iteration(False)
        time.sleep(0.02)


def wait_for(what, probe, limit=LIMIT):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # an object that went away while looked at
            found = None
        if found:
            return found
        pump(0.1)
    fail("no " + what + " within %d s" % limit)


def safe(call, default=""):
    try:
        return call()
    except Exception:
        return default


def on_event(event):
    src = event.source
    EVENTS.append((event.type, safe(src.getLocalizedRoleName), safe(lambda: src.name), event.detail1,
                   safe(lambda: event.any_data if isinstance(event.any_data, str) else "")))


def listen():
    for kind in ("object:property-change:accessible-name", "object:text-changed", "object:state-changed:focused",
                 "focus:", "object:children-changed"):
        pyatspi.Registry.registerEventListener(on_event, kind)


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "60"] + list(keys), check=False)
    pump(0.3)


def refocus(title):
    """With no window manager, the keyboard focus goes nowhere when a box closes:
    back to the window under it, as a manager would give it."""
    subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title, "windowfocus", "--sync"],
                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
    pump(0.3)


def app():
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and safe(lambda: a.name) == APP:
            return a
    return None


def windows():
    a = app()
    return [w for w in a if w is not None] if a else []


def window(title):
    for w in windows():
        if safe(lambda: w.name) == title and safe(lambda: w.getState().contains(pyatspi.STATE_SHOWING), False):
            return w
    return None


def descendants(acc):
    for child in acc:
        if child is None:
            continue
        yield child
        yield from descendants(child)


# Roles as a reader speaks them: AT-SPI's localized role names.
def text_of(acc):
    t = safe(acc.queryText, None)
    return t.getText(0, -1) if t else None


def states(acc):
    s = acc.getState()
    names = [("focusable", pyatspi.STATE_FOCUSABLE), ("focused", pyatspi.STATE_FOCUSED),
             ("read-only", pyatspi.STATE_READ_ONLY), ("multi-line", pyatspi.STATE_MULTI_LINE),
             ("selected", pyatspi.STATE_SELECTED), ("editable", pyatspi.STATE_EDITABLE)]
    return [n for n, st in names if s.contains(st)]


def hears(acc):
    """One line: what a reader says for a control."""
    role, name = acc.getLocalizedRoleName(), acc.name
    line = "%s \"%s\"" % (role, name)
    if role in ("text", "label", "alert", "paragraph"):
        t = text_of(acc)
        if t is not None and t != name:
            line += " text %s" % json.dumps(t)
    st = [s for s in states(acc) if s not in ("editable",)]
    if st:
        line += " [" + ", ".join(st) + "]"
    return line


def show(title, win):
    print("== %s: %s" % (title, hears(win)), flush=True)
    for acc in descendants(win):
        if acc.getLocalizedRoleName() in ("filler", "scroll bar") and not acc.name:
            continue
        if not acc.getState().contains(pyatspi.STATE_SHOWING) and acc.getLocalizedRoleName() != "cell":
            continue
        depth = 0
        p = acc.parent
        while p is not None and p != win:
            depth += 1
            p = p.parent
        print("   " + "  " * depth + hears(acc), flush=True)


def find(win, role, name=None):
    for acc in descendants(win):
        if acc.getLocalizedRoleName() == role and (name is None or acc.name == name):
            return acc
    return None


def expect(cond, why):
    if not cond:
        fail(why)


def check_focusables_named(win, title):
    for acc in descendants(win):
        if acc.getState().contains(pyatspi.STATE_FOCUSABLE) and acc.getState().contains(pyatspi.STATE_SHOWING):
            if acc.getLocalizedRoleName() in ("cell", "tree item", "list item", "column header"):
                continue
            expect(acc.name.strip(), "%s: a focusable %s has no name" % (title, acc.getLocalizedRoleName()))


def start_monitor(log):
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    return subprocess.Popen([sys.argv[2]], env=env, stdout=log, stderr=log)


def read_box(title, text, button="OK"):
    """A message box: its title, its text and its one button."""
    end = time.monotonic() + LIMIT
    while not window(title) and time.monotonic() < end:
        pump(0.2)
    if not window(title):
        fail("no box %s; windows: %r" % (title, [safe(lambda: w.name) for w in windows()]))
    box = window(title)
    show("message box", box)
    texts = [safe(lambda: (text_of(a) or a.name)) for a in descendants(box) if a.getLocalizedRoleName() == "label"]
    expect(any(t.strip() == text for t in texts), "box %s does not read %r (reads %r)" % (title, text, texts))
    expect(find(box, "push button", button), "box %s has no button %s" % (title, button))
    return box


def read_notice():
    notice = wait_for("notice", lambda: window("Please waiting ..."))
    show("notice", notice)
    expect(find(notice, "label", "Finding Print Server ..."), "the notice does not read its text")


def server_list_and_choice():
    dlg = wait_for("server list", lambda: window("Print Server IP List"))
    servers = wait_for("both servers in the list", lambda: (lambda l: l if l and l.childCount == 2 else None)(
        find(dlg, "list", "Print servers")))
    show("server list", dlg)
    names = [c.name for c in servers]
    expect(names == ["10.213.0.1", "10.213.0.2"], "list items read %r" % names)
    expect(all(c.getLocalizedRoleName() == "list item" for c in servers), "the entries are not list items")
    expect(servers.getState().contains(pyatspi.STATE_FOCUSED), "the list does not have the focus")
    for b in ("OK", "Cancel"):
        expect(find(dlg, "push button", b), "no button " + b)
    check_focusables_named(dlg, "server list")
    key("Home", "Return")


def focused_events():
    return "; ".join('%s "%s"' % (e[1], e[2]) for e in EVENTS
                     if e[0].startswith("object:state-changed:focused") and e[3] == 1)


def tree_items(tree):
    return [a for a in descendants(tree) if a.getLocalizedRoleName() == "tree item"]


def status_row(table):
    cells = [c for c in table if c.getLocalizedRoleName() == "cell"]
    return [c.name for c in cells]


def main_window_walk(shot_dir):
    title = "USB Kestrum (Server IP: 10.213.0.1)"
    win = wait_for("main window", lambda: window(title))
    tree = wait_for("printer tree", lambda: find(win, "tree", "Printers"))
    wait_for("printers in the tree", lambda: len(tree_items(tree)) >= 3)
    table = find(win, "table", "Printer status")
    details = find(win, "text", "Printer details")
    exit_button = find(win, "push button", "Exit")
    expect(table, "the status list is not a table named Printer status")
    expect(details, "the details are not a text named Printer details")
    expect(exit_button, "no push button named Exit")
    expect({"read-only", "multi-line"} <= set(states(details)), "the details are not read-only multi-line text")
    check_focusables_named(win, "main window")
    heads = [c.name for c in table if c.getLocalizedRoleName() == "column header"]
    expect(heads == ["Status", "Job in Queue", "Printed Percent"], "column headers read %r" % heads)
    names = [i.name for i in tree_items(tree)]
    expect(names[:3] == ["Remote Printers:", "Caf\u00e9 Laser", "Label Writer"], "tree items read %r" % names)
    expect(tree.getState().contains(pyatspi.STATE_FOCUSED), "the tree does not have the focus")

    # Down from the root selects the first printer: its row and details at once.
    del EVENTS[:]
    key("Down")
    row = wait_for("status row", lambda: (lambda r: r if len(r) == 3 and r[0] else None)(status_row(table)), 5)
    lines = text_of(details).split("\n")
    focus = [e for e in EVENTS if e[0].startswith("object:state-changed:focused") and e[3] == 1]
    print("-- focus after Down: " + "; ".join("%s \"%s\"" % (e[1], e[2]) for e in focus), flush=True)
    expect(any(e[1] == "tree item" and e[2] == "Caf\u00e9 Laser" for e in focus),
           "moving to the first printer did not announce it")
    print("-- selected: row %r, details %r" % (row, lines), flush=True)
    expect(lines[0] == "Port Type: \t\tLPT" and lines[1].startswith("Current User: \t\t"),
           "the details read %r" % lines)
    show("main window", win)

    # Tab goes round the controls; each announces itself.
    del EVENTS[:]
    key("Tab")
    key("Tab")
    heard = focused_events()
    print("-- focus after Tab, Tab: " + heard, flush=True)
    expect('table "Printer status"' in heard and 'text "Printer details"' in heard, "Tab did not announce the controls")
    key("shift+Tab", "shift+Tab")

    # The scenario changes the printer's status and its user within a few replies:
    # the row's cells are renamed and say so, and so does the details text.
    del EVENTS[:]
    first = (row, text_of(details))
    wait_for("a change of the status text and of the details",
             lambda: status_row(table)[:1] != first[0][:1] and text_of(details) != first[1], 15)
    pump(0.5)
    second = (status_row(table), text_of(details))
    print("-- after a reply: row %r (before: %r)" % (second[0], first[0]), flush=True)
    seen = []
    for e in EVENTS:
        line = "%s %s \"%s\"" % (e[0], e[1], e[2] if e[1] != "text" else e[2] + "\" " + json.dumps(e[4])[:60])
        if line not in seen:
            seen.append(line)
    print("-- events between the replies:\n" + "\n".join("   " + l for l in seen), flush=True)
    renamed = {e[2] for e in EVENTS if e[0] == "object:property-change:accessible-name" and e[1] == "cell"}
    expect(second[0][0] in renamed, "no name change event for the new status %r" % second[0][0])
    for was, now in zip(first[0], second[0]):
        expect(was == now or now in renamed or now == "", "the cell %r became %r without an event" % (was, now))
    texts = [e for e in EVENTS if e[0].startswith("object:text-changed") and e[2] == "Printer details"]
    expect(texts, "the details changed without a text change event")
    print("-- details now: %r" % second[1].split("\n"), flush=True)

    # The About box, by the window menu from the keyboard.
    key("shift+F10", "a")
    about = wait_for("About box", lambda: window("About USB Kestrum"))
    show("About box", about)
    expect(find(about, "label", "USB Kestrum Ver 1.0"), "the About box does not read its version")
    expect(find(about, "push button", "OK"), "the About box has no OK button")
    key("Return")
    wait_for("About box closed", lambda: not window("About USB Kestrum"), 5)
    return win


def run_list(shot_dir):
    with open(os.path.join(shot_dir, "monitor-list.log"), "w") as log:
        monitor = start_monitor(log)
        try:
            server_list_and_choice()
            main_window_walk(shot_dir)
            # The server stops answering: the worker says so, then the program ends.
            read_box(APP, "Connect Failed!", "OK")
            key("Return")
            monitor.wait(10)
        finally:
            if monitor.poll() is None:
                monitor.kill()
    expect(monitor.returncode == 0, "the monitor ended with %s" % monitor.returncode)


def run_entry():
    with open(os.devnull, "w") as log:
        monitor = start_monitor(log)
        try:
            read_notice()  # it stands while nobody answers
            dlg = wait_for("address dialog", lambda: window("Please Input IP Address"), 30)
            address = find(dlg, "panel", "Input Server IP:")
            expect(address, "the address control is not named Input Server IP:")
            fields = [a for a in descendants(address) if a.getLocalizedRoleName() == "text"]
            show("address entry", dlg)
            expect([f.name for f in fields] == ["Input Server IP: field %d of 4" % i for i in range(1, 5)],
                   "the fields read %r" % [f.name for f in fields])
            expect(find(dlg, "push button", "OK").getState().contains(pyatspi.STATE_FOCUSED), "OK has no focus")
            check_focusables_named(dlg, "address entry")
            del EVENTS[:]
            key("Tab")
            focus = [e for e in EVENTS if e[0].startswith("object:state-changed:focused") and e[3] == 1]
            print("-- focus after Tab: " + "; ".join("%s \"%s\"" % (e[1], e[2]) for e in focus), flush=True)
            expect(any(e[2] == "Input Server IP: field 1 of 4" for e in focus), "Tab did not announce field 1")
            key("Return")
            read_box("Input IP Address Error", "IP Address can not be blank!")
            key("Return")
            wait_for("error box closed", lambda: not window("Input IP Address Error"), 5)
            refocus("Please Input IP Address")
            key("Escape")
            monitor.wait(15)
        finally:
            if monitor.poll() is None:
                monitor.kill()
    expect(monitor.returncode == 0, "the monitor ended with %s" % monitor.returncode)


def geometry(title):
    out = subprocess.run(["xwininfo", "-name", title], capture_output=True, text=True).stdout
    w = [int(l.split()[-1]) for l in out.splitlines() if "Width:" in l]
    h = [int(l.split()[-1]) for l in out.splitlines() if "Height:" in l]
    return (w[0], h[0]) if w and h else None


def run_dpi(shot_dir):
    with open(os.devnull, "w") as log:
        monitor = start_monitor(log)
        try:
            dlg = wait_for("server list", lambda: window("Print Server IP List"))
            wait_for("servers", lambda: (lambda l: l and l.childCount == 2)(find(dlg, "list", "Print servers")))
            key("Home", "Return")
            title = "USB Kestrum (Server IP: 10.213.0.1)"
            win = wait_for("main window", lambda: window(title))
            tree = wait_for("printer tree", lambda: find(win, "tree", "Printers"))
            wait_for("printers", lambda: len(tree_items(tree)) >= 3)
            key("Down")
            pump(1.5)
            size = geometry(title)
            print("-- main window at 192 dpi: %dx%d" % size, flush=True)
            expect(size == (1116, 742), "the main window is %r at 192 dpi, not 1116x742" % (size,))
            # Device-independent pixels: the rectangles of 96 dpi, each drawn twice as large.
            x0, y0 = win.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[:2]
            for role, name, want in (("tree", "Printers", (7, 47, 172, 277)),
                                     ("table", "Printer status", (182, 47, 368, 129)),
                                     ("text", "Printer details", (182, 178, 368, 146)),
                                     ("push button", "Exit", (528, 341, 24, 24))):
                e = find(win, role, name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                got = (e[0] - x0, e[1] - y0, e[2], e[3])
                print("-- %s \"%s\" at %d,%d %dx%d" % ((role, name) + got), flush=True)
                expect(got == want, "%s moved at 192 dpi: %r, not %r" % (name, got, want))
            subprocess.run(["import", "-window", "root", os.path.join(shot_dir, "monitor-192dpi.png")], check=False)
            key("Escape")
            monitor.wait(10)
        finally:
            if monitor.poll() is None:
                monitor.kill()
    expect(monitor.returncode == 0, "the monitor ended with %s" % monitor.returncode)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("list", "entry", "dpi"):
        print(__doc__)
        return 64
    listen()
    mode = sys.argv[1]
    if mode == "list":
        run_list(sys.argv[3])
    elif mode == "entry":
        run_entry()
    else:
        run_dpi(sys.argv[3])
    print("PASS: " + mode, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
