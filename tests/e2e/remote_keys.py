#!/usr/bin/python3
# Keys as GNOME's compositor itself delivers them: a RemoteDesktop session,
# every call from this one connection (Mutter accepts only the session's
# creator). Usage: remote_keys.py ACTION...  where ACTION is down:KEY, up:KEY
# or wait:SECONDS, and KEY is ctrl, alt, shift, Escape or a letter.
import sys, time, dbus

NAME, bus = "org.gnome.Mutter.RemoteDesktop", dbus.SessionBus()
path = dbus.Interface(bus.get_object(NAME, "/org/gnome/Mutter/RemoteDesktop"), NAME).CreateSession()
session = dbus.Interface(bus.get_object(NAME, path), NAME + ".Session")
session.Start()
KEYSYMS = {"ctrl": 0xFFE3, "alt": 0xFFE9, "shift": 0xFFE1, "Escape": 0xFF1B}
# The first key of a session is lost: a Shift tap first.
for action in ["down:shift", "up:shift", "wait:0.1"] + sys.argv[1:] + ["wait:0.1"]:
    what, arg = action.split(":", 1)
    if what == "wait":
        time.sleep(float(arg))
    else:
        session.NotifyKeyboardKeysym(dbus.UInt32(KEYSYMS.get(arg) or ord(arg)), what == "down")
session.Stop()
