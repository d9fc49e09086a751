#!/usr/bin/env bash
# Jotbox on real desktop panels under Xvfb, each started 5 s after Jotbox as
# at a login: xfce4-panel (a 40-pixel bar at the top), lxqt-panel (one at the
# bottom), both StatusNotifierItem hosts that also own an XEmbed tray, and
# Plasma (its default bottom panel, the tray at its right end). tint2, an
# XEmbed tray alone, is the screens run's.
# Clicks are real ones on the icon; what a host's menu holds is read the way
# the host reads it (DBusMenu), and the menu window is seen to open.
# Usage: JOTBOX_E2E_PANEL=xfce|lxqt|plasma panels_e2e.sh JOTBOX_BINARY
# Plasma's shell needs the services the bus starts; the others get a bus of their own.
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session $([[ ${JOTBOX_E2E_PANEL:-} == plasma ]] ||
  echo --config-file="$(dirname "$0")/../support/private-session-bus.conf") -- "$0" "$@" 2>/dev/null
jotbox=$1
panel=${JOTBOX_E2E_PANEL:-xfce}
source "$(dirname "$0")/lib.sh"
start_x

start_panel() {
  [[ $panel == xfce || $panel == plasma ]] || spawn openbox >/dev/null 2>&1
  case $panel in
  xfce)
    local conf=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml p='property name=' one='<value type="int" value="1"/>'
    mkdir -p "$conf"
    echo "<channel name=\"xfce4-panel\" version=\"1.0\"><${p}\"configver\" type=\"int\" value=\"2\"/><${p}\"panels\" type=\"array\">$one<${p}\"panel-1\" type=\"empty\">
      <${p}\"position\" type=\"string\" value=\"p=6;x=0;y=0\"/><${p}\"length\" type=\"uint\" value=\"100\"/><${p}\"size\" type=\"uint\" value=\"40\"/><${p}\"plugin-ids\" type=\"array\">$one</property></property></property>
      <${p}\"plugins\" type=\"empty\"><${p}\"plugin-1\" type=\"string\" value=\"systray\"/></property></channel>" >"$conf/xfce4-panel.xml"
    spawn /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd >/dev/null 2>&1
    spawn xfwm4 --compositor=off >/dev/null 2>&1
    panel_cmd=(xfce4-panel) ;;
  lxqt) # both its StatusNotifierItem host and its XEmbed tray, at the bottom
    mkdir -p "$XDG_CONFIG_HOME/lxqt"
    printf 'panels=panel1\n[panel1]\nplugins=statusnotifier,tray\nposition=Bottom\npanelSize=40\n[statusnotifier]\ntype=statusnotifier\nalignment=Left\n[tray]\ntype=tray\n' >"$XDG_CONFIG_HOME/lxqt/panel.conf"
    panel_cmd=(env QT_QPA_PLATFORM=xcb lxqt-panel) ;;
  plasma) # as a session starts it; the shell read over AT-SPI to find the icon
    export XDG_CURRENT_DESKTOP=KDE QT_QUICK_BACKEND=software LIBGL_ALWAYS_SOFTWARE=1 QT_XCB_GL_INTEGRATION=none
    dbus-update-activation-environment DISPLAY XDG_CURRENT_DESKTOP QT_QUICK_BACKEND LIBGL_ALWAYS_SOFTWARE \
      QT_XCB_GL_INTEGRATION XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR 2>/dev/null
    printf '[Compositing]\nEnabled=false\n' >"$XDG_CONFIG_HOME/kwinrc"
    KWIN_COMPOSE=N QT_QPA_PLATFORM=xcb spawn kwin_x11 --replace >/dev/null 2>&1
    spawn kded5 >/dev/null 2>&1 && wait_for 10 on_bus org.kde.kded5
    gdbus call --session --dest org.kde.kded5 --object-path /kded \
      --method org.kde.kded5.loadModule statusnotifierwatcher >/dev/null
    spawn xembedsniproxy >/dev/null 2>&1
    spawn /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1
    panel_cmd=(env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 plasmashell --no-respawn) ;;
  esac
  spawn "${panel_cmd[@]}" >/dev/null 2>&1
}

# A StatusNotifierItem is drawn by the host: at the start of its bar, or where Plasma says.
icon_shows() { [[ -n $(xembed_icon) || -n $(own_sni_item) ]] && [[ $panel != plasma || -n $(plasma_icon) ]]; }
workarea() { xprop -root _NET_WORKAREA | tr -d ',' | awk '{ print $3, $4, $5, $6 }'; }
plasma_icon() { /usr/bin/python3 "$(dirname "$0")/atspi_tree.py" --app plasmashell --where Jotbox; }
click_icon() { # click_icon BUTTON: at the icon's middle
  local x y w h; read -r x y w h < <(xembed_icon)
  [[ $panel == plasma ]] && read -r x y < <(plasma_icon) && w=0 h=0
  if [[ -z $x ]]; then read -r _ wy _ wh < <(workarea)
    x=0 w=32; (( wy > 0 )) && y=0 h=$wy || y=$((wy + wh)) h=$((800 - wy - wh)); fi
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click "$1"
}
# 5 pixels off the bar's edge (the work area's), and inside the screen.
off_the_bar() {
  local px py wx wy ww wh; read -r px py < <(panel_xy) || return 1; read -r wx wy ww wh < <(workarea)
  (( px >= 0 && px + 464 <= 1280 )) || return 1
  (( wy > 0 )) && (( py == wy + 5 )) || (( py + 256 == wy + wh - 5 ))
}
viewable() { xwininfo -root -children | awk '/^ +0x/ {print $1}' | xargs -rn1 xwininfo -id | grep -c IsViewable; }
more_windows() { (( $(viewable) > before )); }
layout() { # the status menu as a DBusMenu host reads it when it opens it
  local item menu; item=$(own_sni_item)
  menu=$(gdbus call --session --dest "${item%%/*}" --object-path /StatusNotifierItem --method \
    org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Menu | grep -o "'[^']*'" | tr -d "'")
  gdbus call --session --dest "${item%%/*}" --object-path "$menu" \
    --method com.canonical.dbusmenu.AboutToShow 0 >/dev/null 2>&1
  gdbus call --session --dest "${item%%/*}" --object-path "$menu" \
    --method com.canonical.dbusmenu.GetLayout -- 0 -1 "@as []" 2>/dev/null
}
menu_reads() { layout | grep -q "$1"; }

start_jotbox
sleep 5
start_panel
check "the icon shows in a $panel panel started 5 s after Jotbox" wait_for 20 icon_shows
sni() { gdbus call --session --dest "${1%%/*}" --object-path /StatusNotifierItem --method \
  org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$2" | grep -o "'[^']*'" | tr -d "'"; }
# Jotbox runs from its build tree here, its icons not installed: the item says where they are.
svg() { local item; item=$(own_sni_item); echo "$(sni "$item" IconThemePath)/hicolor/scalable/apps/$(sni "$item" IconName).svg"; }
[[ -z $(own_sni_item) ]] || check "...given by name, in a folder the host is told of, as an SVG" eval 'cmp -s "$(svg)" "$(dirname "$0")/../../data/dev.jotbox.Jotbox.svg"'
pixmaps() { local item; item=$(own_sni_item); gdbus call --session --dest "${item%%/*}" --object-path \
  /StatusNotifierItem --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem IconPixmap; }
[[ -z $(own_sni_item) ]] || check "...and drawn, for hosts that go by pixmaps" eval 'pixmaps | grep -q "(22, 22, .*(64, 64, "'
# The first click may come before a busy host has laid the icon out: tried again then.
first_click() { local n; sleep 1; for n in 1 2 3; do click_icon 1; wait_for 2 panel_visible && return; done; false; }
check "one click on the icon shows the panel" first_click
check "...5 pixels off the bar and inside the screen ($(panel_xy))" off_the_bar
sleep 0.3
click_icon 1
check "a second click hides it" wait_for 2 panel_hidden
sleep 0.8
check "...once: it stays hidden" panel_hidden
click_icon 1
wait_for 3 panel_visible
xdotool mousemove 600 400 click 1
check "a click elsewhere hides it" wait_for 2 panel_hidden

xdotool key ctrl+alt+n
check "Ctrl+Alt+N shows it focused" wait_for 3 focused Jotbox
xdotool type --delay 5 "on $panel"
check "...and what is typed is saved" wait_for 3 notes_contain "on $panel"
xdotool key Escape && wait_for 2 panel_hidden
# The window manager hands the focus on after the panel hides; a menu opened in
# that moment (sooner than a hand moves) can lose it and close: let it settle.
sleep 1

before=$(viewable)
click_icon 3
check "a right click opens a menu" wait_for 3 more_windows
if [[ -n $(own_sni_item) ]]; then
  check "...Jotbox's status menu, as the host reads it" menu_reads "'Jotbox v.*'Launch at Login'.*'Quit Jotbox'"
else
  check "...Jotbox's own status menu" bash -c "xwininfo -root -tree | grep -q '\"Jotbox menu\"'"
fi
xdotool key Down Down Return
check "choosing \"Launch at Login\" writes the autostart entry" wait_for 3 test -f "$autostart"
[[ -z $(own_sni_item) ]] || check "...and the menu shows it on" menu_reads "'Launch at Login'>, 'toggle-state': <1>"
xdotool key Escape

# The panel restarts, as after a crash or an update: the icon comes back and works.
stop "${pids[-1]}"
unset 'pids[-1]'
spawn "${panel_cmd[@]}" >/dev/null 2>&1
check "a restarted panel shows the icon again" wait_for 20 icon_shows
check "...and one click on it shows the panel" first_click
finish
