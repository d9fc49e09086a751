#!/usr/bin/env bash
# Jotbox on GNOME Shell 43 with the AppIndicator extension (Ubuntu's tray),
# the shell started 5 s after Jotbox as at a login. The shell draws the
# icon's menu itself: it is read, and clicked, over AT-SPI, as a screen
# reader reads the shell.
# Usage: gnome_e2e.sh JOTBOX_BINARY
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session -- "$0" "$@" 2>/dev/null
jotbox=$1
source "$(dirname "$0")/lib.sh"
start_x
start_system_bus
gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com']"
spawn /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1
shell() { /usr/bin/python3 "$(dirname "$0")/atspi_tree.py" --app gnome-shell "$@"; }
click_on() { local x y; read -r x y < <(shell --where "$1") && xdotool mousemove "$x" "$y" click "${2:-1}"; }

start_jotbox
sleep 5
# The extension's log says which icon it loads.
G_MESSAGES_DEBUG=Ubuntu-AppIndicators spawn gnome-shell --x11 --replace >"$work/shell.log" 2>&1 # it may crash when stopped: harmless
check "the icon shows in GNOME Shell's bar, started 5 s after Jotbox" wait_for 60 shell --where Jotbox # slow to start on a loaded machine
check "...loaded by name from the folder Jotbox names, not left a placeholder" \
  wait_for 10 grep -q "IconCache: adding 0:dev.jotbox.Jotbox@[0-9]*:/.*/icons" "$work/shell.log"
xdotool key Escape && sleep 1 # the shell opens its overview at start, which holds the keys
menu() { shell | grep -o 'label "[^"]*"' | tr '\n' ' '; }
menu_reads() { [[ $(menu) == *'label "Open Jotbox" label "Jotbox v'*'" label "Launch at Login" label "Quit Jotbox"'* ]]; }
click_on Jotbox
check "one click opens the menu (the extension keeps one click for it), \"Open Jotbox\" first" \
  wait_for 3 menu_reads
click_on "Open Jotbox"
check "\"Open Jotbox\" shows the panel, 5 px under the bar at its right end" \
  wait_for 3 eval '[[ $(panel_xy) == "811 37" ]]'
check "...focused" wait_for 3 focused Jotbox
xdotool type --delay 5 'on GNOME'
check "...and what is typed is saved" wait_for 3 notes_contain 'on GNOME'
xdotool key Escape && wait_for 2 panel_hidden
xdotool key ctrl+alt+n
check "Ctrl+Alt+N shows it focused" wait_for 3 focused Jotbox
xdotool mousemove 600 400 click 1
check "a click elsewhere hides it" wait_for 2 panel_hidden
click_on Jotbox 3 && wait_for 3 menu_reads && click_on "Launch at Login"
check "a right click opens the menu too, and \"Launch at Login\" writes the autostart entry" \
  wait_for 3 test -f "$autostart"
(( failed == 0 )) || grep -E "AppIndicators|JS ERROR" "$work/shell.log" | cut -c1-300 | tail -40
finish
