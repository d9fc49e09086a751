#!/usr/bin/python3
# Calls everything a program exports on the session bus as a buggy or hostile
# caller would: every method found by introspection, with arguments of the
# right and of wrong types, unknown and huge ids, negative depths, long lists,
# then bursts of thousands. Every call must be answered (a reply or an error)
# within a second, the program must go on answering, its memory must stay
# bounded and at most one status menu may be open.
# Usage: dbus_hostile.py BUS_NAME PID SEED CALLS
import random, subprocess, sys, time, xml.etree.ElementTree as ET
import dbus, dbus.mainloop.glib
from dbus.lowlevel import MethodCallMessage
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name, pid, rng, calls = sys.argv[1], int(sys.argv[2]), random.Random(int(sys.argv[3])), int(sys.argv[4])
failures, stats = [], {"calls": 0, "errors": 0, "slowest": 0.0}
MENU, ITEM, PROPS = "com.canonical.dbusmenu", "org.kde.StatusNotifierItem", "org.freedesktop.DBus.Properties"
APP = "org.freedesktop.Application"


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def rss_mb():
    return next(int(l.split()[1]) for l in open(f"/proc/{pid}/status") if l.startswith("VmRSS")) / 1024


def call(path, iface, member, sig, args, timeout=1.0):
    """The reply's arguments, or the error's name; a call left unanswered fails."""
    msg = MethodCallMessage(name, path, iface, member)
    if sig:
        msg.append(*args, signature=sig)
    start, stats["calls"] = time.monotonic(), stats["calls"] + 1
    try:
        return bus.send_message_with_reply_and_block(msg, timeout).get_args_list()
    except dbus.exceptions.DBusException as e:
        if e.get_dbus_name().endswith((".NoReply", ".Timeout")):
            fail(f"{member} {sig} {str(args)[:60]} not answered within {timeout} s")
        stats["errors"] += 1
        return e.get_dbus_name()
    finally:
        stats["slowest"] = max(stats["slowest"], time.monotonic() - start)


def objects(path="/"):
    root = ET.fromstring(str(call(path, "org.freedesktop.DBus.Introspectable", "Introspect", "", [])[0]))
    found = [(path, i) for i in root.findall("interface") if not i.get("name").startswith("org.freedesktop.DBus")]
    for node in root.findall("node"):
        found += objects(path.rstrip("/") + "/" + node.get("name"))
    return found


def value(t, nested=0):
    """A hostile value of type t."""
    c = t[0]
    if c in "inqytux":
        return rng.choice([0, 1, 2, 7, 99, 2**31 - 1, 1 << 20] + [-1, -2**31] * (c in "inx"))
    if c in "sog":
        return rng.choice({"s": ["", "clicked", "label", "x" * 10000, "\u00e9\U0001F600", "_", "show", "hide", "new-note"],
                           "o": ["/", "/MenuBar"], "g": ["", "a{sv}"]}[c])
    if c in "bd":
        return rng.choice([True, 0.0, 1e308, float("nan")] if c == "d" else [True, False])
    if c == "v":
        inner = rng.choice(["i", "s", "as", "ai"] + ["a{sv}"] * (nested < 2))
        return variant(inner, value(inner, nested + 1))
    n = rng.choice([0, 1, 3, 200] if not nested else [0, 2])
    if t.startswith("a{"):
        return dbus.Dictionary({value(t[2]): value(t[3:-1], nested + 1) for _ in range(n)}, signature=t[2:-1])
    if c == "a":
        return dbus.Array([value(t[1:], nested + 1) for _ in range(n)], signature=t[1:])
    return tuple(value(part, nested + 1) for part in dbus.Signature(t[1:-1]))


def variant(t, v):
    if t in "is":
        return (dbus.Int32 if t == "i" else dbus.String)(v, variant_level=1)
    return (dbus.Dictionary if t[1] == "{" else dbus.Array)(v, signature=t[2:-1] if t[1] == "{" else t[1:], variant_level=1)


found = objects()
paths = {i.get("name"): p for p, i in found}
methods = [(p, i.get("name"), m.get("name"), "".join(a.get("type") for a in m.findall("arg") if a.get("direction", "in") == "in"))
           for p, i in found for m in i.findall("method")]
properties = [(p, i.get("name"), pr.get("name")) for p, i in found for pr in i.findall("property")]
if not {MENU, ITEM, APP} <= paths.keys():
    sys.exit(f"FAIL: the item, its menu and the application not all exported: {sorted(paths)}")
# Clicks that would end the program or open a browser are left out.
layout = call(paths[MENU], MENU, "GetLayout", "iias", [0, -1, []])
spared = {int(c[0]) for c in layout[1][2] if str(c[1].get("label", "")).startswith(("Quit", "Jotbox"))}

for path, iface, prop in properties:
    for member, sig, args in [("Get", "ss", [iface, prop]), ("GetAll", "s", [iface]),
                              ("Set", "ssv", [iface, prop, variant("s", "x")]), ("Get", "ss", [iface, "Nope"])]:
        call(path, PROPS, member, sig, args)
# What names nothing gets an error, and lists far longer than any tray sends are answered.
for member, sig, args in [("GetProperty", "is", [99999, "label"]), ("GetProperty", "is", [0, "nope"]),
                          ("GetLayout", "iias", [424242, -1, []]), ("AboutToShow", "i", [2**31 - 1]),
                          ("Event", "isvu", [-5, "clicked", variant("i", 0), 0])]:
    if not isinstance(call(paths[MENU], MENU, member, sig, args), str):
        fail(f"{member} {args[:2]} names nothing, yet was answered as if it did")
for member, sig, args in [("GetGroupProperties", "aias", [list(range(-5, 20000)), ["label"] * 20000]),
                          ("GetLayout", "iias", [0, -2**31, ["x%d" % i for i in range(20000)]]),
                          ("AboutToShowGroup", "ai", [list(range(20000))]),
                          ("EventGroup", "a(isvu)", [[(i, "hovered", variant("i", 0), 0) for i in range(20000)]])]:
    call(paths[MENU], MENU, member, sig, args)

base = rss_mb()
for n in range(calls):
    path, iface, member, sig = rng.choice(methods)
    sig = rng.choice(["", "s", "i", "ii", "sss", "a{sv}", "v", "ai", "iisas", "u", "x"]) if rng.random() < 0.3 else sig
    args = [value(str(t)) for t in dbus.Signature(sig)]
    if member.startswith("Event"):  # a click only where it neither quits nor opens a browser
        args = [[(i, "hovered", d, t) for i, e, d, t in args[0]]] if sig == "a(isvu)" else args
        args[1:2] = ["hovered"] if sig == "isvu" and args[0] in spared else args[1:2]
    call(path, iface, member, sig, args)
    if n % 250 == 0 and call("/", "org.freedesktop.DBus.Peer", "Ping", "", []) != []:
        fail("the program stopped answering")

loop, pending = GLib.MainLoop(), [0]
answered = lambda *_: (pending.__setitem__(0, pending[0] - 1), pending[0] == 0 and loop.quit())

for path, iface, member, sig, args in [(paths[ITEM], ITEM, "ContextMenu", "ii", [5, 5]),
                                       (paths[APP], APP, "Activate", "a{sv}", [{"activation-token": "t" * 5000}]),
                                       (paths[MENU], MENU, "GetLayout", "iias", [0, -1, ["label"] * 50]),
                                       (paths[MENU], MENU, "Event", "isvu", [77777, "clicked", variant("i", 0), 0]),
                                       (paths[MENU], MENU, "AboutToShow", "i", [0])]:
    start, pending[0] = time.monotonic(), 3000
    for _ in range(3000):
        bus.call_async(name, path, iface, member, sig, args, answered, answered, timeout=60)
    GLib.timeout_add_seconds(60, loop.quit)
    loop.run()
    if pending[0]:
        fail(f"{pending[0]} of 3000 {member} calls in a burst not answered within a minute")
    stats["calls"] += 3000
    print(f"  burst of 3000 {member}: answered in {time.monotonic() - start:.2f} s")

grown = rss_mb() - base
menus = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout.count('"Jotbox menu"')
for failed, what in [(call("/", "org.freedesktop.DBus.Peer", "Ping", "", []) != [], "no answer after the bursts"),
                     (grown > 60, f"memory grew by {grown:.0f} MB"), (menus > 1, f"{menus} status menus open")]:
    if failed:
        fail(what)
print(f"dbus boundary: {stats['calls']} calls to {len(methods)} methods and {len(properties)} properties, "
      f"{stats['errors']} error replies, slowest answer {stats['slowest'] * 1000:.0f} ms, "
      f"memory {base:.0f} MB then {base + grown:.0f} MB, {menus} status menu(s) open")
sys.exit(1 if failures else 0)
