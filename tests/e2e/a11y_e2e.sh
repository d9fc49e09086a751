#!/usr/bin/env bash
# Jotbox as a screen reader meets it: the desktop's accessibility bus
# (at-spi2-core) on a private session bus, Qt's accessibility on, and the
# tree read over AT-SPI the way Orca reads it (atspi_tree.py) after keys a
# user presses: adding, switching and closing tabs, and going round the
# controls with Tab and Shift+Tab.
# Usage: a11y_e2e.sh JOTBOX_BINARY
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-session-bus.conf" -- "$0" "$@" 2>/dev/null
jotbox=$1
source "$(dirname "$0")/lib.sh"
start_x
spawn /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1
spawn openbox >/dev/null 2>&1
wait_for 10 on_bus org.a11y.Bus || echo "the accessibility bus not seen"
# Qt turns to the accessibility bus where a screen reader says it runs,
# through the desktop's settings, which this bare session has none of.
start_jotbox QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

a11y_tree() { /usr/bin/python3 "$(dirname "$0")/atspi_tree.py" "$@"; }
tree_is() { # the expected tree, one line per argument
  local want; want=$(printf '%s\n' "$@")
  wait_for 3 eval '[[ $(a11y_tree) == "$want" ]]' || { printf 'got:\n%s\n' "$(a11y_tree)"; return 1; }
}
focus_is() {
  local want=$1
  wait_for 3 eval '[[ $(a11y_tree --focused) == "$want" ]]' || { echo "focused: $(a11y_tree --focused)"; return 1; }
}

shown() { panel_visible || { xdotool key ctrl+alt+n; sleep 0.3; panel_visible; }; }
wait_for 10 shown # once Jotbox listens for the shortcut
check "the panel is a dialog named Jotbox; one note: an editor named Note, no tabs" \
  tree_is 'dialog "Jotbox" focused' '  push button "New Note"' '  text "Note" focused multi-line editable'
heard=$work/heard # what a screen reader is told, as it happens
spawn /usr/bin/python3 "$(dirname "$0")/atspi_tree.py" --listen >"$heard"
sleep 1
heard() { grep -qxF "$1" "$heard"; }
xdotool type --delay 5 'Shopping' && xdotool key ctrl+t && xdotool type --delay 5 'Call Anna'
sleep 0.5
check "typing a first line does not rename the editor (said aloud at each key)" \
  eval '! grep -q "^name text \"C" "$heard"'
xdotool key ctrl+t
check "a page tab list of page tabs named by caption, placed, the active one selected" \
  tree_is 'dialog "Jotbox" focused' '  page tab list' \
  '    page tab "Shopping" 1 of 3' '      push button "Close Shopping"' \
  '    page tab "Call Anna" 2 of 3' '      push button "Close Call Anna"' \
  '    page tab "New Note" 3 of 3 selected' '      push button "Close New Note"' \
  '  push button "New Note"' '  text "New Note" focused multi-line editable'
xdotool key ctrl+Tab
check "Ctrl+Tab in the editor: the editor takes the new tab's name" \
  focus_is 'text "Shopping" focused multi-line editable'
check "...a listener hears the tab selected and the editor's new name" wait_for 3 eval \
  "heard 'selected page tab \"Shopping\" 1 of 3 selected' && heard 'name text \"Shopping\" focused multi-line editable'"
xdotool key shift+Tab
check "Shift+Tab leaves the editor for the add button" focus_is 'push button "New Note" focused'
xdotool key shift+Tab shift+Tab
check "...then the active tab's close button, then the tab" focus_is 'page tab "Shopping" 1 of 3 selected focused'
xdotool key Right
check "Right chooses the next tab, which takes the focus" focus_is 'page tab "Call Anna" 2 of 3 selected focused'
check "...and says so" wait_for 3 heard 'focus page tab "Call Anna" 2 of 3 selected focused'
xdotool key ctrl+Tab
check "Ctrl+Tab there too" focus_is 'page tab "New Note" 3 of 3 selected focused'
xdotool key Home Tab
check "Home, then Tab to its close button" focus_is 'push button "Close Shopping" focused'
xdotool key space
check "Space closes it; the focus goes to the tab now active" focus_is 'page tab "Call Anna" 1 of 2 selected focused'
xdotool key Delete
check "Delete closes that one; with one note left the editor has the focus" \
  focus_is 'text "Note" focused multi-line editable'
xdotool key Tab && xdotool type --delay 5 'x'
check "Tab in the editor types a tab" wait_for 3 notes_contain '\tx'
finish
