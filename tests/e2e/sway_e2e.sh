#!/usr/bin/env bash
# Jotbox in a real Wayland session: headless sway, waybar as its
# StatusNotifierItem tray, Jotbox through XWayland. sway has no input
# devices here: keys reach X11 windows through XWayland's XTEST, focus moves
# by swaymsg, and a click on the tray icon is the Activate call waybar sends.
# Usage: sway_e2e.sh JOTBOX_BINARY TYPING_RECORDER_BINARY
here=$(cd "$(dirname "$0")" && pwd)
# sway refuses to run as root: hand the run, with copies of what it runs, to nobody.
if [[ $(id -u) -eq 0 ]]; then
  home=$(mktemp -d)
  cp "$1" "$2" "$here/sway_e2e.sh" "$here/lib.sh" "$here/../support/private-session-bus.conf" "$home/"
  chown -R 65534:65534 "$home"
  HOME=$home setpriv --reuid=65534 --regid=65534 --clear-groups "$home/sway_e2e.sh" "$home/jotbox" "$home/typing_recorder"
  status=$?
  rm -rf "$home"
  exit $status
fi
bus_config=$here/private-session-bus.conf
[[ -f $bus_config ]] || bus_config=$here/../support/private-session-bus.conf
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session --config-file="$bus_config" -- "$0" "$@" 2>/dev/null
jotbox=$1
source "$here/lib.sh"

printf 'output HEADLESS-1 resolution 1280x800\n' >"$work/sway.conf"
printf '{ "position": "top", "height": 26, "modules-right": ["tray"] }\n' >"$work/waybar.json"
printf 'window#waybar { background: #333; }\n' >"$work/waybar.css"
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 spawn sway -c "$work/sway.conf" >"$work/sway.log" 2>&1
wait_for 10 compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*" >/dev/null || { echo "sway did not start"; finish; }
export SWAYSOCK WAYLAND_DISPLAY
SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*")
WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-?")")
spawn waybar -c "$work/waybar.json" -s "$work/waybar.css" >/dev/null 2>&1

# Started by sway, as a desktop starts programs: it hands over XWayland's display.
printf '#!/bin/sh\necho "$DISPLAY" >"%s/display"\necho $$ >"%s/pid"\nexec "%s" >"%s/jotbox.log" 2>&1\n' \
  "$work" "$work" "$jotbox" "$work" >"$work/launch"
chmod +x "$work/launch"
wait_for 10 on_bus org.kde.StatusNotifierWatcher || echo "waybar's tray not seen"
swaymsg exec "$work/launch" >/dev/null
wait_for 10 test -s "$work/display" && export DISPLAY=$(cat "$work/display")
wait_for 10 test -s "$work/pid" && pids+=("$(cat "$work/pid")")
# Qt's first window on a display owns its selections, before any is shown.
check "Jotbox starts through XWayland" wait_for 10 sh -c "xwininfo -root -tree 2>/dev/null | grep -q 'for jotbox'"
check "its icon registers in waybar's tray" wait_for 10 sni_registered
check "with no portal here, it says once how to bind a desktop shortcut" wait_for 5 \
  bash -c "[[ \$(grep -c 'bind a shortcut' '$work/jotbox.log') -eq 1 ]]"

"$jotbox"
check "a second launch exits with status 0" test $? -eq 0
check "...and shows the panel, which sway gives focus" wait_for 5 focused Jotbox
sleep 0.5
check "...and it stays shown while it gains focus" panel_visible
xdotool type --delay 10 'Typed in sway'
check "typed text is saved" wait_for 3 notes_contain 'Typed in sway'
"$jotbox"
check "another launch hides it" wait_for 3 panel_hidden
item=$(sni_items)
gdbus call --session --dest "${item%%/*}" --object-path "/${item#*/}" --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
check "waybar's click on the icon (Activate) shows it" wait_for 3 panel_visible
check "...with focus" wait_for 3 focused Jotbox

QT_QPA_PLATFORM=wayland spawn "$2" >/dev/null 2>&1
check "a native Wayland window taking focus hides the panel" wait_for 5 panel_hidden
check "...and has the focus" bash -c "swaymsg -t get_tree | grep -q '\"app_id\": \"typing_recorder\"'"

finish
