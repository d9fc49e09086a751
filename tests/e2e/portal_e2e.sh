#!/usr/bin/env bash
# The toggle shortcut in a Wayland session, through a real GlobalShortcuts
# portal: xdg-desktop-portal with its KDE back end and kglobalaccel, on a
# private session bus under Xvfb. Jotbox is told it is in a Wayland session.
# Usage: portal_e2e.sh JOTBOX_BINARY TYPING_RECORDER_BINARY
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session -- "$0" "$@" 2>/dev/null
jotbox=$1
source "$(dirname "$0")/lib.sh"

start_x
export XDG_CURRENT_DESKTOP=KDE
# The bus starts the portal's back end; without the display it aborts.
dbus-update-activation-environment DISPLAY XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR XDG_CONFIG_HOME \
  XDG_DATA_HOME QT_QPA_PLATFORM=xcb 2>/dev/null
# What the bus started is not ours to wait for: stop it by its pid, and the documents' mount.
on_cleanup+=('for name in org.freedesktop.impl.portal.desktop.kde org.freedesktop.portal.Documents \
  org.freedesktop.impl.portal.PermissionStore; do p=$(bus_pid $name); [[ -n $p ]] && kill $p; done
  fusermount3 -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null || fusermount -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null')
QT_QPA_PLATFORM=xcb spawn kglobalaccel5 >/dev/null 2>&1
wait_for 10 on_bus org.kde.kglobalaccel || echo "kglobalaccel not seen"
spawn /usr/libexec/xdg-desktop-portal >/dev/null 2>&1
wait_for 10 on_bus org.freedesktop.portal.Desktop || echo "the portal not seen"
echo "# $(dpkg-query -W -f='${Package} ${Version}, ' xdg-desktop-portal xdg-desktop-portal-kde libkf5globalaccel-bin)"
# Every activation the portal sends, as a user's desktop would see it.
spawn dbus-monitor --session "type='signal',interface='org.freedesktop.portal.GlobalShortcuts',member='Activated'" >"$work/activations"
activations() { grep -c 'member=Activated' "$work/activations"; }
activated() { [[ $(activations) -eq $1 ]]; }
# A window of our own holds focus, so keys go somewhere as they would on a desktop.
spawn "$2" >/dev/null 2>&1
wait_for 10 focused recorder

start_jotbox XDG_SESSION_TYPE=wayland
bound() {
  gdbus call --session --dest org.kde.kglobalaccel --object-path /component/jotbox \
    --method org.kde.kglobalaccel.Component.shortcutNames 2>/dev/null | grep -q "'toggle'"
}
check "the portal binds \"toggle\"" wait_for 10 bound
sleep 0.5

xdotool key ctrl+alt+n
check "Ctrl+Alt+N shows the panel" wait_for 3 panel_visible
check "...through the portal, which saw the key (so no X11 grab of Jotbox's held it)" wait_for 3 activated 1
xdotool type --delay 10 'Through the portal'
check "typing after the shortcut lands in the note" wait_for 3 notes_contain 'Through the portal'
xdotool key ctrl+alt+n
check "the next press hides it" wait_for 3 panel_hidden
sleep 0.5
check "...once: it stays hidden" panel_hidden
check "...and the portal saw exactly two presses" test "$(activations)" -eq 2
check "Jotbox did not fall back to telling the user to bind a shortcut" bash -c "! grep -q 'bind a shortcut' '$work/jotbox.log'"
finish
