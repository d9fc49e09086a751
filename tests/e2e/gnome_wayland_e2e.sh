#!/usr/bin/env bash
# Jotbox through XWayland in GNOME Shell's Wayland session (headless), keys
# coming from the compositor as a keyboard's do. Ctrl+Alt+N is held 150 ms,
# as people press it: the panel takes the focus while the key is down, and
# XWayland then ends the shortcut's grab before the key comes up.
# Usage: gnome_wayland_e2e.sh JOTBOX_BINARY TYPING_RECORDER_BINARY
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session -- "$0" "$@" 2>/dev/null
jotbox=$1
here=$(dirname "$0")
source "$here/lib.sh"
export HOME=$work/home && mkdir -p "$HOME"
start_system_bus
spawn gnome-shell --headless --wayland --virtual-monitor 1280x800 >"$work/shell.log" 2>&1
wait_for 60 grep -q "Using public X11 display" "$work/shell.log" || { echo "no GNOME Shell"; finish; }
export DISPLAY=$(grep -o "public X11 display :[0-9]*" "$work/shell.log" | grep -o ":[0-9]*")
wait_for 10 compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" >/dev/null &&
  export XAUTHORITY=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" | head -n1)
wait_for 20 on_bus org.gnome.Mutter.RemoteDesktop || echo "no RemoteDesktop"
keys() { /usr/bin/python3 "$here/remote_keys.py" "$@"; }

QT_QPA_PLATFORM=xcb spawn "$2" >/dev/null 2>&1
start_jotbox QT_QPA_PLATFORM=xcb
wait_for 10 sh -c "xwininfo -root -tree 2>/dev/null | grep -q 'for jotbox'" && sleep 1
keys down:Escape up:Escape # the shell opens its overview at start, which holds the keys
xdotool search --name recorder windowactivate 2>/dev/null # no pointer here to click it with
check "an X11 window has the focus" wait_for 10 focused recorder
keys down:ctrl down:alt down:n wait:0.15 up:n up:alt up:ctrl
check "Ctrl+Alt+N held 150 ms shows the panel, focused" wait_for 3 focused Jotbox
keys down:ctrl down:alt down:n wait:0.15 up:n up:alt up:ctrl
check "...and the next press hides it (the grab ended with the key down)" wait_for 3 panel_hidden
keys down:ctrl down:alt down:n up:n up:alt up:ctrl
check "a quick press shows it too" wait_for 3 focused Jotbox
keys down:j up:j down:o up:o down:t up:t
check "...and what is typed there is saved" wait_for 3 notes_contain jot
finish
