#!/usr/bin/env bash
# Drives the real Jotbox as a user would: its own X server (Xvfb), an XEmbed
# tray host (trayer), xdotool for keys and clicks, and its own XDG folders.
# Usage: jotbox_e2e.sh JOTBOX_BINARY SCREENSHOT_TOOL [SCREENSHOT_DIR]
jotbox=$1
screenshot_tool=$2
shots=${3:-}
source "$(dirname "$0")/lib.sh"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent

start_x
start_tray() {
  spawn trayer --edge top --align center --widthtype request --height 24 --SetDockType true >/dev/null 2>&1
  wait_for 10 sh -c 'xwininfo -root -tree | grep "\"panel\": (\"panel\" \"trayer\")" >/dev/null' || echo "trayer not seen"
}
# Under openbox the tray is there first; bare, it comes after Jotbox, as it may at login.
late_tray=true
if [[ "${JOTBOX_E2E_WM:-}" == openbox ]]; then spawn openbox >/dev/null 2>&1; start_tray; late_tray=false; fi

# The icon: Jotbox's small window docked in the tray. Prints "X Y W H".
icon_geometry() {
  xwininfo -root -tree | awk '/\("jotbox" "Jotbox"\)/ {
      split($0, a, ")"); n = split(a[2], f, " "); size = f[1]; abs = f[2];
      split(size, wh, "x"); w = wh[1]; h = wh[2];
      if (w > 1 && w <= 64 && h <= 64) { split(abs, xy, "+"); print xy[2], xy[3], w, h; exit } }'
}
docked_icon() { [[ -n "$(icon_geometry)" ]] && kill -0 "$jotbox_pid" 2>/dev/null; }
shot() { # shot NAME X Y W H
  [[ -n "$shots" ]] && mkdir -p "$shots" && "$screenshot_tool" "$shots/$1" "${@:2}" 2>/dev/null; true
}
click_icon() { # click_icon BUTTON
  read -r ix iy iw ih < <(icon_geometry)
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click "$1"
}

# --- without a display it says what it needs
message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$jotbox" 2>&1)
check "without a display it exits saying DISPLAY is needed" test $? -ne 0 -a -n "$(echo "$message" | grep DISPLAY)"

# --- start: the icon docks
launch_ms=$(date +%s%3N)
start_jotbox
if $late_tray; then sleep 1; start_tray; fi
check "the icon docks in the tray (one that came late, too)" wait_for 10 docked_icon
$late_tray || echo "# launch to icon docked: $(( $(date +%s%3N) - launch_ms )) ms"
sleep 0.3 # the tray host settles the icon's place
check "the panel is hidden at start" panel_hidden

# --- the shortcut shows the panel under the icon
xdotool key ctrl+alt+n
check "Ctrl+Alt+N shows the panel" wait_for 3 panel_visible
read -r ix iy iw ih < <(icon_geometry)
read -r px py < <(panel_xy)
check "the panel, 464 by 256, sits 5 points under the icon, centred" test -n "$(panel_id)" -a "$py" -eq $((iy + ih + 5)) -a "$px" -eq $((ix + iw / 2 - 232))

# --- typing lands in notes.json half a second later, not before
xdotool type --delay 5 'Buy oat milk'
typed_ms=$(date +%s%3N)
sleep 0.2
check "nothing is written while typing goes on" bash -c "! grep -qF 'Buy oat milk' '$notes' 2>/dev/null"
wait_for 3 notes_contain 'Buy oat milk'
saved_after=$(( $(date +%s%3N) - typed_ms ))
check "the text is saved about 500 ms after the last key ($saved_after ms)" test "$saved_after" -ge 300 -a "$saved_after" -le 1500

# --- the plus button adds a tab and the strip appears
read -r px py < <(panel_xy)
xdotool mousemove $((px + 464 - 8 - 14)) $((py + 14)) click 1
xdotool type --delay 5 'Second thought'
check "the plus button adds a note that takes the typing" wait_for 3 sh -c "[ \$(grep -o '\"id\":' '$notes' | wc -l) -eq 2 ] && grep -qF 'Second thought' '$notes'"
xdotool key Return && xdotool type --delay 5 'line two'
sleep 0.7
read -r ix iy iw ih < <(icon_geometry)
shot panel.png $((ix - 300)) 0 $((iw + 600)) 300

# --- a click elsewhere hides; the icon shows and hides
xdotool mousemove 100 600 click 1
check "a click elsewhere hides the panel" wait_for 2 panel_hidden
click_icon 1
check "a click on the icon shows the panel" wait_for 2 panel_visible
sleep 0.3
click_icon 1
check "a click on the icon hides it again (once, not hide-and-reopen)" wait_for 2 panel_hidden
sleep 0.6
check "...and it stays hidden" panel_hidden

# --- the status menu
click_icon 3
check "a right click opens the status menu" wait_for 2 menu_visible
sleep 0.2
read -r ix iy iw ih < <(icon_geometry)
shot status-menu.png $((ix - 200)) 0 $((iw + 400)) 130
check "the panel stays as it was" panel_hidden
xdotool key Down Down Return
check "\"Launch at Login\" writes the autostart entry" wait_for 2 test -f "$autostart"
check "the entry starts this program" grep -qF "Exec=\"$(readlink -f "$jotbox")\"" "$autostart"
click_icon 3
wait_for 2 menu_visible
xdotool key Down Down Return
check "choosing it again removes the entry" wait_for 2 test ! -f "$autostart"

# --- a second launch toggles the first and exits
"$jotbox" >/dev/null 2>&1
check "a second launch exits with status 0" test $? -eq 0
check "...after showing the running one's panel" wait_for 2 panel_visible
"$jotbox" >/dev/null 2>&1
check "a third launch hides it again" wait_for 2 panel_hidden

# --- Escape puts it away
xdotool key ctrl+alt+n
wait_for 2 focused Jotbox
xdotool key Escape
check "Escape hides the panel" wait_for 2 panel_hidden

# --- quit keeps the last edit
xdotool key ctrl+alt+n
wait_for 2 panel_visible
xdotool key ctrl+End && xdotool type --delay 5 ' +last'
click_icon 3
wait_for 2 menu_visible
xdotool key ctrl+q
check "\"Quit Jotbox\" (Ctrl+Q in the menu) ends the process" wait_for 3 bash -c "! kill -0 $jotbox_pid 2>/dev/null"
check "the last edit was saved at quit" notes_contain 'line two +last'

# --- a restart shows the saved notes, the first tab active
start_jotbox
wait_for 10 docked_icon
sleep 0.3
xdotool key ctrl+alt+n
wait_for 3 panel_visible
xdotool key ctrl+End && xdotool type --delay 5 ' (first)'
check "after a restart the first tab is active and keeps its text" wait_for 3 notes_contain 'Buy oat milk (first)'

# --- SIGTERM keeps the last edit too
xdotool type --delay 5 ' bye'
kill -TERM "$jotbox_pid"
check "SIGTERM ends the process" wait_for 3 bash -c "! kill -0 $jotbox_pid 2>/dev/null"
check "the edit made just before SIGTERM was saved" notes_contain '(first) bye'

# --- a crash leaves no lock that blocks the next start
start_jotbox
wait_for 10 docked_icon
kill -KILL "$jotbox_pid"
wait "$jotbox_pid" 2>/dev/null
# This time as a Wayland session would start it: it still goes through X11.
start_jotbox QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-e2e
check "after a crash the next start runs (no stale lock), through XWayland" wait_for 10 docked_icon
check "...and is the one Jotbox that answers the shortcut" bash -c "sleep 0.3; xdotool key ctrl+alt+n"
check "...showing its panel" wait_for 3 panel_visible

finish
