#!/usr/bin/python3
"""Calls everything a program exports on the session bus as a buggy or hostile
caller would: every method of every interface found by introspection, with
arguments of the right and of wrong types, unknown and huge ids, negative
depths, long lists and strings, then bursts of thousands of calls. Every call
must be answered (a reply or an error) within a second, the program must go on
answering, its memory must stay bounded and at most one status menu may be open.

Usage: dbus_hostile.py BUS_NAME PID SEED CALLS
"""
import random
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

import dbus
import dbus.mainloop.glib
from dbus.lowlevel import MethodCallMessage
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name, pid, seed, calls = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(seed)
failures = []
stats = {"calls": 0, "errors": 0, "slowest": 0.0}


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def rss_mb():
    with open(f"/proc/{pid}/status") as f:
        return next(int(l.split()[1]) for l in f if l.startswith("VmRSS")) / 1024


def call(path, iface, member, sig, args, timeout=1.0):
    """The reply's arguments, or the error's name; a call left unanswered fails."""
    msg = MethodCallMessage(name, path, iface, member)
    if sig:
        msg.append(*args, signature=sig)
    start = time.monotonic()
    stats["calls"] += 1
    try:
        return bus.send_message_with_reply_and_block(msg, timeout).get_args_list()
    except dbus.exceptions.DBusException as e:
        if e.get_dbus_name() in ("org.freedesktop.DBus.Error.NoReply",
                                 "org.freedesktop.DBus.Error.Timeout"):
            fail(f"{member}{sig and ' ' + sig} {str(args)[:80]} not answered within {timeout} s")
        stats["errors"] += 1
        return e.get_dbus_name()
    finally:
        stats["slowest"] = max(stats["slowest"], time.monotonic() - start)


def interfaces(path="/"):
    """(path, interface element) for every object below path."""
    xml = call(path, "org.freedesktop.DBus.Introspectable", "Introspect", "", [])
    if not isinstance(xml, list):
        return []
    root = ET.fromstring(str(xml[0]))
    found = [(path, i) for i in root.findall("interface")]
    for node in root.findall("node"):
        found += interfaces(path.rstrip("/") + "/" + node.get("name"))
    return found


# Values a hostile caller sends, by D-Bus type.
INTS = [0, 1, -1, 2, 7, 99, 2**31 - 1, -2**31, 1 << 20]
STRINGS = ["", "clicked", "hovered", "label", "toggle-state", "x" * 10000, "\u00e9\U0001F600", "_"]


nested = [0]


def value(t):
    c = t[0]
    if c in "iny":
        return rng.choice(INTS) if c == "i" else rng.randrange(0, 128)
    if c in "uqt":
        return rng.choice([0, 1, 2**32 - 1 if c == "u" else 1, rng.randrange(1 << 16)])
    if c == "x":
        return rng.choice([0, -1, 2**63 - 1, -2**63])
    if c == "b":
        return rng.random() < 0.5
    if c == "d":
        return rng.choice([0.0, -1.5, 1e308, float("nan")])
    if c == "s":
        return rng.choice(STRINGS + ["s%d" % rng.randrange(1000)])
    if c == "o":
        return rng.choice(["/", "/MenuBar", "/a/b"])
    if c == "g":
        return rng.choice(["", "i", "a{sv}"])
    if c == "v":
        nested[0] += 1
        try:  # variants in variants, a few levels deep
            return variant(rng.choice(["i", "s", "as", "ai", "(ii)"] + ["a{sv}"] * (nested[0] < 3)))
        finally:
            nested[0] -= 1
    if t.startswith("a{"):
        return dbus.Dictionary({value(t[2]): value(t[3:-1]) for _ in range(rng.choice([0, 1, 50]))},
                               signature=t[2:-1])
    if c == "a":
        n = rng.choice([0, 1, 3, 200]) if nested[0] == 0 else rng.choice([0, 1, 3])
        return dbus.Array([value(t[1:]) for _ in range(n)], signature=t[1:])
    if c == "(":
        return tuple(value(part) for part in split(t[1:-1]))
    raise ValueError(t)


def variant(t, v=None):
    v = value(t) if v is None else v
    if t in ("i", "s"):
        return (dbus.Int32 if t == "i" else dbus.String)(v, variant_level=1)
    if t.startswith("a{"):
        return dbus.Dictionary(v, signature=t[2:-1], variant_level=1)
    if t[0] == "a":
        return dbus.Array(v, signature=t[1:], variant_level=1)
    return dbus.Struct(v, signature=t[1:-1], variant_level=1)


def split(sig):
    """A signature's complete types."""
    out, i = [], 0
    while i < len(sig):
        j, depth = i, 0
        while True:
            ch = sig[j]
            depth += ch in "({"
            depth -= ch in ")}"
            j += 1
            if depth == 0 and ch != "a":
                break
        out.append(sig[i:j])
        i = j
    return out


WRONG = ["", "s", "i", "ii", "sss", "a{sv}", "v", "ai", "iisas", "u", "x", "iiii", "as"]

# What the program exports; clicks that would end it or open a browser are left out.
found = [(p, i) for p, i in interfaces() if not i.get("name").startswith("org.freedesktop.DBus")]
methods = [(p, i.get("name"), m.get("name"),
            "".join(a.get("type") for a in m.findall("arg") if a.get("direction", "in") == "in"))
           for p, i in found for m in i.findall("method")]
properties = [(p, i.get("name"), pr.get("name")) for p, i in found for pr in i.findall("property")]
names = {i.get("name") for _, i in found}
for wanted in ("org.kde.StatusNotifierItem", "com.canonical.dbusmenu"):
    if wanted not in names:
        fail(f"{wanted} not exported")
menu_path = next((p for p, i in found if i.get("name") == "com.canonical.dbusmenu"), "/MenuBar")
layout = call(menu_path, "com.canonical.dbusmenu", "GetLayout", "iias", [0, -1, []])
spared = {int(child[0]) for child in layout[1][2]
          if str(child[1].get("label", "")).startswith(("Quit", "Jotbox"))} if isinstance(layout, list) else set()


def harmless(member, sig, args):
    if member == "Event" and sig == "isvu" and args[0] in spared:
        args[1] = "hovered"
    if member == "EventGroup" and sig == "a(isvu)":
        args[0] = [(i, "hovered" if i in spared else e, d, t) for i, e, d, t in args[0]]
    return args


# Every property, through Get and GetAll, and ones that do not exist.
for path, iface, prop in properties:
    call(path, "org.freedesktop.DBus.Properties", "Get", "ss", [iface, prop])
for path, iface, _ in properties:
    call(path, "org.freedesktop.DBus.Properties", "GetAll", "s", [iface])
    call(path, "org.freedesktop.DBus.Properties", "Get", "ss", [iface, "NoSuchProperty"])
    call(path, "org.freedesktop.DBus.Properties", "Set", "ssv", [iface, "Id", variant("s", "x")])

# The interface's own answers to what names nothing.
for member, sig, args in [("GetProperty", "is", [99999, "label"]), ("GetProperty", "is", [0, "nope"]),
                          ("GetLayout", "iias", [424242, -1, []]), ("Event", "isvu", [-5, "clicked", variant("i", 0), 0]),
                          ("AboutToShow", "i", [2**31 - 1])]:
    if not (isinstance(call(menu_path, "com.canonical.dbusmenu", member, sig, args), str)):
        fail(f"{member} {args[:2]} names nothing, yet was answered as if it did")

# Lists far longer than any tray sends.
for member, sig, args in [("GetGroupProperties", "aias", [list(range(-5, 20000)), ["label"] * 20000]),
                          ("GetLayout", "iias", [0, -1, ["x%d" % i for i in range(20000)]]),
                          ("AboutToShowGroup", "ai", [list(range(20000))]),
                          ("EventGroup", "a(isvu)", [[(i, "hovered", variant("i", 0), 0) for i in range(20000)]])]:
    call(menu_path, "com.canonical.dbusmenu", member, sig, args)

base = rss_mb()
for n in range(calls):
    path, iface, member, sig = rng.choice(methods)
    if rng.random() < 0.3:
        sig = rng.choice(WRONG)
    call(path, iface, member, sig, harmless(member, sig, [value(t) for t in split(sig)]))
    if n % 250 == 0 and call("/", "org.freedesktop.DBus.Peer", "Ping", "", []) != []:
        fail("the program stopped answering")

# Bursts, all sent at once and then waited for.
loop = GLib.MainLoop()
pending = [0]


def answered(*_):
    pending[0] -= 1
    if pending[0] == 0:
        loop.quit()


item_path = next((p for p, i in found if i.get("name") == "org.kde.StatusNotifierItem"), "/StatusNotifierItem")
for path, iface, member, sig, args in [
        (item_path, "org.kde.StatusNotifierItem", "ContextMenu", "ii", [5, 5]),
        (menu_path, "com.canonical.dbusmenu", "GetLayout", "iias", [0, -2**31, ["label"] * 50]),
        (menu_path, "com.canonical.dbusmenu", "Event", "isvu", [77777, "clicked", variant("i", 0), 0]),
        (menu_path, "com.canonical.dbusmenu", "AboutToShow", "i", [0])]:
    start = time.monotonic()
    for _ in range(3000):
        pending[0] += 1
        bus.call_async(name, path, iface, member, sig, args, answered, answered, timeout=60)
    GLib.timeout_add_seconds(60, loop.quit)
    loop.run()
    if pending[0]:
        fail(f"{pending[0]} of 3000 {member} calls in a burst not answered within a minute")
    pending[0] = 0
    stats["calls"] += 3000
    print(f"  burst of 3000 {member}: answered in {time.monotonic() - start:.2f} s")

if call("/", "org.freedesktop.DBus.Peer", "Ping", "", []) != []:
    fail("the program stopped answering after the bursts")
grown = rss_mb() - base
if grown > 60:
    fail(f"memory grew by {grown:.0f} MB")
menus = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout.count('"Jotbox menu"')
if menus > 1:
    fail(f"{menus} status menus open")
print(f"dbus boundary: {stats['calls']} calls to {len(methods)} methods and {len(properties)} properties, "
      f"{stats['errors']} error replies, slowest answer {stats['slowest'] * 1000:.0f} ms, "
      f"memory {base:.0f} MB then {base + grown:.0f} MB, {menus} status menu(s) open")
sys.exit(1 if failures else 0)
