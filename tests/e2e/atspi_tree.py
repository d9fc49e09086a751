# Prints Jotbox's accessible tree as a screen reader reads it over AT-SPI:
# one line per object that is not a nameless filler, indented by depth, with
# its role, name, place among its siblings for a page tab ("2 of 5") and the
# states a listener hears. Scroll bars and what lies inside the editor are left
# out. With --focused, only the innermost object with the focus; with
# --listen, what a screen reader hears of as it happens: each object that
# takes the focus or becomes selected, and each new name, one line each.
# --app NAME reads another application (GNOME Shell's own menus); --where TEXT
# prints the screen centre of the showing object so named, for a click.
# Usage: atspi_tree.py [--app NAME] [--focused | --listen | --where TEXT]
import sys

import pyatspi

STATES = {pyatspi.STATE_SELECTED: "selected", pyatspi.STATE_FOCUSED: "focused",
          pyatspi.STATE_MULTI_LINE: "multi-line", pyatspi.STATE_EDITABLE: "editable"}


def lines(obj, depth=0):
    role, states = obj.getRoleName(), obj.getState()
    if role in ("scroll bar", "frame") or not states.contains(pyatspi.STATE_SHOWING):
        return
    shown = role != "filler" or bool(obj.name)
    if shown:
        words = [role, f'"{obj.name}"' if obj.name else ""]
        if role == "page tab":
            words.append(f"{obj.getIndexInParent() + 1} of {obj.parent.childCount}")
        words += [word for state, word in STATES.items() if states.contains(state)]
        yield depth, " ".join(w for w in words if w)
    if role != "text":
        for child in obj:
            yield from lines(child, depth + shown)


def heard(event):
    kind = {"object:state-changed:focused": "focus", "object:state-changed:selected": "selected",
            "object:property-change:accessible-name": "name"}[event.type.rstrip(":")]
    if kind == "name" or event.detail1:
        print(kind, next(lines(event.source))[1], flush=True)


if "--listen" in sys.argv:
    pyatspi.Registry.registerEventListener(heard, "object:state-changed:focused",
                                           "object:state-changed:selected",
                                           "object:property-change:accessible-name")
    pyatspi.Registry.start()
def option(name, default=None):
    return sys.argv[sys.argv.index(name) + 1] if name in sys.argv else default


def named(obj, name):
    if obj.name == name and obj.getState().contains(pyatspi.STATE_SHOWING):
        return obj
    return next((found for child in obj if child for found in [named(child, name)] if found), None)


apps = [app for app in pyatspi.Registry.getDesktop(0) if app and app.name == option("--app", "Jotbox")]
if "--where" in sys.argv:
    target = next((found for app in apps for found in [named(app, option("--where"))] if found), None)
    if target:
        box = target.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x + box.width // 2, box.y + box.height // 2)
    sys.exit(0 if target else 1)
found = [(depth, line) for app in apps for window in app for depth, line in lines(window)]
if "--focused" in sys.argv:  # the innermost object with the focus
    found = [(0, line) for _, line in found if " focused" in line][-1:]
for depth, line in found:
    print("  " * depth + line)
