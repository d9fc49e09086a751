#!/usr/bin/env bash
# Keyboard focus under a window manager that guards it: KWin for X11 with its
# default focus-stealing prevention. Another application has focus and has
# just been typed into; the shortcut, a second launch and a click on the
# icon (a StatusNotifierItem tray, the path with no X event of our own) must
# each leave the typing in Jotbox's note, not in that application.
# Usage: focus_e2e.sh JOTBOX_BINARY SNI_HOST_BINARY TYPING_RECORDER_BINARY
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session -- "$0" "$@" 2>/dev/null
jotbox=$1
source "$(dirname "$0")/lib.sh"

start_x
dbus-update-activation-environment DISPLAY XDG_CONFIG_HOME XDG_RUNTIME_DIR 2>/dev/null
printf '[Compositing]\nEnabled=false\n' >"$XDG_CONFIG_HOME/kwinrc"
# KWin has the bus start its shortcut service, which is not ours to wait for.
on_cleanup+=('p=$(bus_pid org.kde.kglobalaccel); [[ -n $p ]] && kill $p')
KWIN_COMPOSE=N QT_QPA_PLATFORM=xcb spawn kwin_x11 --replace >/dev/null 2>&1
wm_running() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]]; }
wait_for 20 wm_running || echo "KWin not seen"
spawn "$2" >/dev/null 2>&1
start_jotbox
spawn "$3" >"$work/recorder.log" 2>&1
wait_for 10 sni_registered

n=0
for way in "the shortcut" "a second launch" "a click on the icon"; do
  n=$((n + 1))
  xdotool mousemove 300 400 click 1 # the other application, clicked and typed into
  wait_for 5 focused recorder && xdotool type --delay 10 "busy$n "
  case $way in
    "the shortcut") xdotool key ctrl+alt+n ;;
    "a second launch") "$jotbox" ;;
    *) xdotool mousemove 1268 12 click 1 ;;
  esac
  check "after $way the panel shows and has keyboard focus" wait_for 5 focused Jotbox
  xdotool type --delay 10 "note$n"
  check "...so typing lands in the note" wait_for 3 notes_contain "note$n"
  check "...and not in the other application" bash -c "! grep -q note$n '$work/recorder.log'"
  check "...which had its own typing" grep -q "busy$n" "$work/recorder.log"
done
finish
