#!/usr/bin/env bash
# Jotbox under a StatusNotifierItem tray (a stand-in watcher and host on a
# private session bus) and openbox, the way KDE, XFCE, Cinnamon and MATE
# panels talk to tray icons: registration over D-Bus, clicks as Activate and
# ContextMenu calls, and no icon geometry for the panel to go by.
# Usage: sni_e2e.sh JOTBOX_BINARY SNI_HOST_BINARY
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session -- "$0" "$@" 2>/dev/null
jotbox=$1
sni_host=$2
source "$(dirname "$0")/lib.sh"

start_x
spawn openbox >/dev/null 2>&1
# The host's strip runs along the top; the one icon sits at its right end.
click_icon() { xdotool mousemove 1268 12 click "$@"; }
at() { [[ "$(panel_xy)" == "$1 $2" ]]; }
menu_covers() { # X Y: the status menu's top edge is near Y and it spans X
  tree | awk -v x="$1" -v y="$2" '/"Jotbox menu"/ { split($0, a, ")"); split(a[2], f, " "); split(f[1], g, /[x+]/);
    found = g[3] <= x && x <= g[3] + g[1] && g[4] <= y + 30 } END { exit !found }'
}

# --- the tray host comes 3 s after Jotbox, as it may at login
start_jotbox
sleep 1
xdotool key ctrl+alt+n
check "before any tray, the shortcut shows the panel" wait_for 3 panel_visible
check "...at the top right corner of the screen" at 811 5
xdotool key ctrl+alt+n
wait_for 3 panel_hidden
sleep 2
spawn "$sni_host" >"$work/host.log" 2>&1
check "a tray host that starts 3 s after Jotbox gets its icon" wait_for 10 sni_registered

# --- a click on the icon shows the panel under it and typing lands in the note
click_icon 1
check "Activate shows the panel" wait_for 3 panel_visible
check "...5 px under the tray near the click, inside the screen" at 816 29
xdotool type --delay 5 'From the tray'
check "typing lands in the note" wait_for 3 notes_contain 'From the tray'

# --- a click on the icon while shown: its press is outside the panel, then Activate
click_icon 1
check "a click on the icon hides the shown panel" wait_for 3 panel_hidden
sleep 0.8
check "...and it stays hidden" panel_hidden
click_icon 1
check "the next click shows it again" wait_for 3 panel_visible
xdotool mousemove 600 600 click 1
check "a click elsewhere hides it" wait_for 3 panel_hidden
click_icon --repeat 2 --delay 120 1
sleep 0.8
check "a quick double click shows and hides it: hidden" panel_hidden

# --- the status menu through ContextMenu, driven from the keyboard
click_icon 3
check "a right click opens the status menu" wait_for 3 menu_visible
check "...at the click" menu_covers 1268 12
xdotool key Down Down Return
check "\"Launch at Login\" from the keyboard writes the autostart entry" wait_for 3 test -f "$autostart"
check "the panel stays hidden through the menu" panel_hidden
finish
