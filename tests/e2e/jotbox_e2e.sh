#!/usr/bin/env bash
# Drives the real Jotbox as a user would: its own X server (Xvfb), a tray,
# xdotool for keys and clicks, and its own XDG folders. The tray is an XEmbed
# one (trayer) or a StatusNotifierItem one (gtk-sni-tray, on a private session
# bus), the way current desktops' panels talk to icons: registration over
# D-Bus, clicks as Activate calls, the menu drawn by the tray from DBusMenu,
# and no icon geometry for the panel to go by. Bare, the tray comes after Jotbox.
# Under KWin, which guards keyboard focus, another application has focus and
# has just been typed into before each way of showing the panel.
# Usage: JOTBOX_E2E_TRAY=xembed|sni JOTBOX_E2E_WM=none|openbox|kwin jotbox_e2e.sh
#   JOTBOX_BINARY TYPING_RECORDER_BINARY
tray=${JOTBOX_E2E_TRAY:-xembed}
[[ $tray == xembed || -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-session-bus.conf" -- "$0" "$@" 2>/dev/null
jotbox=$1
recorder=$2
source "$(dirname "$0")/lib.sh"
[[ $tray == xembed ]] && export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent

start_x
start_tray() {
  if [[ $tray == sni ]]; then
    # The watcher first: gtk-sni-tray's own (--watcher) may not answer it in time, and it gives up.
    spawn status-notifier-watcher >/dev/null 2>&1
    wait_for 10 on_bus org.kde.StatusNotifierWatcher || echo "the watcher not seen"
    spawn gtk-sni-tray-standalone --top --end --size 24 >/dev/null 2>&1
    return
  fi
  spawn trayer --edge top --align center --widthtype request --height 24 --SetDockType true >/dev/null 2>&1
  wait_for 10 sh -c 'xwininfo -root -tree | grep "\"panel\": (\"panel\" \"trayer\")" >/dev/null' || echo "trayer not seen"
}
late_tray=true
case ${JOTBOX_E2E_WM:-none} in
  openbox) spawn openbox >/dev/null 2>&1 ;;
  kwin) # with its default focus-stealing prevention
    printf '[Compositing]\nEnabled=false\n' >"$XDG_CONFIG_HOME/kwinrc"
    KWIN_COMPOSE=N QT_QPA_PLATFORM=xcb spawn kwin_x11 --replace >/dev/null 2>&1
    wait_for 20 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" || echo "KWin not seen" ;;
esac
[[ ${JOTBOX_E2E_WM:-none} != none && $tray == xembed ]] && { start_tray; late_tray=false; }

# The icon, "X Y W H": Jotbox's small window docked in trayer, or the one
# place at the right end of gtk-sni-tray's strip.
icon_geometry() { if [[ $tray == sni ]]; then echo 1256 0 24 24; else xembed_icon; fi; }
docked_icon() { # this run's Jotbox has its icon in the tray
  kill -0 "$jotbox_pid" 2>/dev/null || return 1
  [[ -n $( [[ $tray == xembed ]] && icon_geometry || own_sni_item) ]]
}
click_icon() { # click_icon [xdotool click options] BUTTON
  read -r ix iy iw ih < <(icon_geometry)
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click "$@"
}
at() { [[ "$(panel_xy)" == "$1 $2" ]]; }
# Centred 5 points under the icon, inside the 1280-point screen.
under_icon() { # 5 points under trayer's 24-point bar, not under the icon a pixel inside it
  read -r ix iy iw ih < <(icon_geometry)
  local x=$((ix + iw / 2 - 232)); at $((x > 816 ? 816 : x)) $((iy + ih > 24 ? iy + ih + 5 : 29))
}
# The open status menu, "W H X Y": Jotbox's own, or the one gtk-sni-tray draws.
menu_geometry() {
  local id
  for id in $(tree | awk '/"Jotbox menu"|"gtk-sni-tray-standalone": \("gtk/ { print $1 }'); do
    xwininfo -id "$id" | awk '/IsViewable/ { v = 1 } /Width:/ { w = $2 } /Height:/ { h = $2 }
      /Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
      END { if (v && h > 30) print w, h, x, y }'
  done | head -n1
}
menu_visible() { [[ -n $(menu_geometry) ]]; }
menu_covers() { # X Y: the status menu's top edge is near Y and it spans X
  read -r w h x y < <(menu_geometry); (( x <= $1 && $1 <= x + w && y <= $2 + 30 ))
}

# --- without a display it says what it needs
message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$jotbox" 2>&1)
check "without a display it exits saying DISPLAY is needed" test $? -ne 0 -a -n "$(echo "$message" | grep DISPLAY)"

# --- start: the icon docks, in a tray that may come late, as it may at login
launch_ms=$(date +%s%3N)
start_jotbox
if $late_tray; then
  sleep 1
  check "the panel is hidden at start" panel_hidden
  xdotool key ctrl+alt+n
  check "before any tray, the shortcut shows the panel at the top right corner" wait_for 3 at 811 5
  xdotool key ctrl+alt+n
  wait_for 3 panel_hidden
  start_tray
fi
check "the icon docks in the tray (one that came late, too)" wait_for 10 docked_icon
$late_tray || echo "# launch to icon docked: $(( $(date +%s%3N) - launch_ms )) ms"
sleep 0.3 # the tray host settles the icon's place

# --- the shortcut shows the panel under the icon, or at the end of the tray's edge
xdotool key ctrl+alt+n
check "Ctrl+Alt+N shows the panel" wait_for 3 panel_visible
if [[ $tray == sni ]]; then
  check "...at the end of the tray's edge, no click on the icon known yet" at 811 29
else
  check "...464 by 256, 5 points under the icon, centred" under_icon
fi

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
check "Return starts a new line of the note" wait_for 3 notes_contain 'Second thought\nline two'

# --- Ctrl+W closes the note at once; Ctrl+Shift+T brings it back as it was
ids() { grep -o '"id":"[^"]*"' "$notes" | tr '\n' ' '; } # the notes', then closed ones'
both=$(ids) && xdotool key ctrl+w
check "Ctrl+W closes the note on disk" wait_for 3 eval "! notes_contain 'Second thought'"
xdotool key ctrl+shift+t
check "Ctrl+Shift+T brings it back as it was, no close kept" wait_for 3 eval \
  "notes_contain 'Second thought\nline two' && [[ \$(ids) == '$both' ]]"

# --- a click elsewhere hides; the icon shows and hides
xdotool mousemove 100 600 click 1
check "a click elsewhere hides the panel" wait_for 2 panel_hidden
click_icon 1
check "a click on the icon shows the panel" wait_for 2 panel_visible
check "...under the icon" under_icon
sleep 0.3
click_icon 1
check "a click on the icon hides it again (its press is outside the panel)" wait_for 2 panel_hidden
sleep 0.8
check "...once, not hide-and-reopen: it stays hidden" panel_hidden
xdotool mousemove 600 600 key ctrl+alt+n
check "the shortcut shows it where the last click on the icon did, not at the pointer" wait_for 2 under_icon
xdotool key ctrl+alt+n
wait_for 2 panel_hidden
click_icon --repeat 2 --delay 120 1
sleep 0.8
check "a quick double click shows and hides it: hidden" panel_hidden

# --- the status menu
click_icon 3
check "a right click opens the status menu" wait_for 2 menu_visible
check "...at the click" menu_covers $((ix + iw / 2)) $((iy + ih / 2))
sleep 0.2
check "the panel stays as it was" panel_hidden
xdotool key Down Down Return
check "\"Launch at Login\" writes the autostart entry" wait_for 2 test -f "$autostart"
check "the entry starts this program" grep -qF "Exec=\"$(readlink -f "$jotbox")\"" "$autostart"

# --- a second launch shows the running one's panel and exits; Escape puts it away
"$jotbox" >/dev/null 2>&1
check "a second launch exits with status 0" test $? -eq 0
check "...after showing the running one's panel" wait_for 2 focused Jotbox
xdotool key ctrl+q && sleep 0.3
check "Ctrl+Q in the panel does not quit: it is the status menu's" panel_visible
xdotool key Escape
check "Escape hides the panel" wait_for 2 panel_hidden

# --- under KWin: each way of showing the panel takes the focus from the application in use
if [[ ${JOTBOX_E2E_WM:-none} == kwin ]]; then
  spawn "$recorder" >"$work/recorder.log" 2>&1
  n=0
  for way in "the shortcut" "a second launch" "a click on the icon"; do
    n=$((n + 1))
    xdotool mousemove 300 400 click 1 # the other application, clicked and typed into
    wait_for 5 focused recorder && xdotool type --delay 10 "busy$n "
    case $way in
      "the shortcut") xdotool key ctrl+alt+n ;;
      "a second launch") "$jotbox" ;;
      *) click_icon 1 ;;
    esac
    check "after $way the panel shows and has keyboard focus" wait_for 5 focused Jotbox
    xdotool type --delay 10 "note$n"
    check "...so typing lands in the note" wait_for 3 notes_contain "note$n"
    check "...and not in the other application" bash -c "! grep -q note$n '$work/recorder.log'"
    check "...which had its own typing" grep -q "busy$n" "$work/recorder.log"
  done
  xdotool key Escape
fi

# --- quit keeps the last edit
xdotool key ctrl+alt+n
wait_for 2 panel_visible
xdotool key ctrl+End && xdotool type --delay 5 ' last-words'
click_icon 3
wait_for 2 menu_visible
# Ctrl+Q works in Jotbox's own menu; in the one the tray draws, the last entry.
[[ $tray == sni ]] && xdotool key Up Return || xdotool key ctrl+q
check "\"Quit Jotbox\" ends the process" wait_for 3 bash -c "! kill -0 $jotbox_pid 2>/dev/null"
check "the last edit was saved at quit" notes_contain ' last-words'

# --- a restart shows the saved notes, the first tab active
start_jotbox
wait_for 10 docked_icon
sleep 0.3
xdotool key ctrl+alt+n
wait_for 3 panel_visible
xdotool key ctrl+End && xdotool type --delay 5 ' (first)'
check "after a restart the first tab is active and keeps its text" wait_for 3 notes_contain 'Buy oat milk (first)'

check "the single-instance socket is this user's alone" \
  test "$(stat -c %a "$XDG_RUNTIME_DIR/jotbox.socket")" = 700

# --- SIGTERM (a logout), or SIGHUP (a closed terminal), keeps the last edit too
signal=$([[ $tray == sni ]] && echo TERM || echo HUP)
xdotool type --delay 5 ' bye'
kill -$signal "$jotbox_pid"
check "SIG$signal ends the process" wait_for 3 bash -c "! kill -0 $jotbox_pid 2>/dev/null"
check "the edit made just before SIG$signal was saved" notes_contain '(first) bye'

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
check "...and a second launch reaches it (the crashed run's socket is gone)" "$jotbox"
check "...hiding it" wait_for 3 panel_hidden

finish
