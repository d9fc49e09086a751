#!/usr/bin/python3
# Keys as GNOME's compositor itself delivers them: a RemoteDesktop session,
# every call from this one connection (Mutter accepts only the session's
# creator). Usage: remote_keys.py ACTION...  where ACTION is down:KEY, up:KEY
# or wait:SECONDS, and KEY is ctrl, alt, Escape or a letter.
import sys, time, dbus

bus = dbus.SessionBus()
NAME = "org.gnome.Mutter.RemoteDesktop"
path = dbus.Interface(bus.get_object(NAME, "/org/gnome/Mutter/RemoteDesktop"), NAME).CreateSession()
session = dbus.Interface(bus.get_object(NAME, path), NAME + ".Session")
session.Start()
KEYSYMS = {"ctrl": 0xFFE3, "alt": 0xFFE9, "shift": 0xFFE1, "Escape": 0xFF1B}


def key(name, down):
    session.NotifyKeyboardKeysym(dbus.UInt32(KEYSYMS.get(name) or ord(name)), dbus.Boolean(down))


key("shift", True)  # the first key of a session is lost
key("shift", False)
time.sleep(0.1)
for action in sys.argv[1:]:
    what, arg = action.split(":", 1)
    if what == "wait":
        time.sleep(float(arg))
    else:
        key(arg, what == "down")
time.sleep(0.1)
session.Stop()
