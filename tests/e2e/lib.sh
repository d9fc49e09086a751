# Shared by the end-to-end scripts: a private X server and XDG folders, checks
# that count, bounded waits, and what a user sees of Jotbox's windows.
# Source it after setting `jotbox`; it stops everything started through it.
set -uo pipefail

work=$(mktemp -d)
pids=()
passed=0
failed=0
on_cleanup=() # commands to run before the processes are stopped

stop() { # asked to end; made to after 3 s
  kill "$1" 2>/dev/null && timeout 3 tail -s 0.02 --pid="$1" -f /dev/null
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

cleanup() {
  for c in "${on_cleanup[@]}"; do eval "$c"; done
  # Window managers first: KWin may crash when its X server goes before it.
  for (( i = ${#pids[@]} - 1; i >= 0; i-- )); do stop "${pids[i]}"; done
  # What the test's own bus started outlives it otherwise (some of KDE's
  # services leave their starter), holding the test's output open: all of it
  # knows the bus's address.
  [[ -n ${JOTBOX_E2E_BUS:-} ]] && kill $(bus_clients) 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

bus_clients() {
  local p; for p in /proc/[0-9]*; do
    [[ ${p#/proc/} == "$$" || ${p#/proc/} == "$BASHPID" ]] && continue
    grep -qzxF "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" "$p/environ" 2>/dev/null && echo "${p#/proc/}"
  done
}

check() { # check "what" command...
  local what=$1; shift
  if "$@"; then
    passed=$((passed + 1)); echo "ok   - $what"
  else
    failed=$((failed + 1)); echo "FAIL - $what"
  fi
}

finish() { echo "$passed passed, $failed failed"; [[ $failed -eq 0 ]]; exit; }

# wait_for SECONDS command...: polls every 20 ms, gives up after SECONDS.
wait_for() {
  local limit=$1; shift
  local deadline; deadline=$(($(date +%s%3N) + ${limit%.*} * 1000))
  while ! "$@"; do
    (( $(date +%s%3N) > deadline )) && return 1
    sleep 0.02
  done
  return 0
}

spawn() { "$@" & pids+=($!); } # a background process that cleanup stops

# A private system bus, for desktop shells that want one; their settings in a file.
start_system_bus() {
  sed 's#<type>session#<type>system#' /usr/share/dbus-1/session.conf >"$work/system.conf"
  spawn dbus-daemon --config-file="$work/system.conf" --print-address=3 --nofork 3>"$work/system-bus" >/dev/null 2>&1
  wait_for 5 test -s "$work/system-bus"
  export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$work/system-bus") GSETTINGS_BACKEND=keyfile
}

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
notes=$XDG_DATA_HOME/Jotbox/notes.json
autostart=$XDG_CONFIG_HOME/autostart/jotbox.desktop
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE

# start_x: an X server on a free display, which it tells us; another one at each call.
start_x() { # start_x [WIDTHxHEIGHT]
  local told; told=$(mktemp -p "$work")
  spawn Xvfb -displayfd 3 -screen 0 "${1:-1280x800}x24" -nolisten tcp -noreset 3>"$told" 2>/dev/null
  wait_for 10 test -s "$told" || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
  export DISPLAY=:$(head -n1 "$told")
  xsetroot -solid '#5d6d7e' 2>/dev/null
}

jotbox_pid=
start_jotbox() { # start_jotbox [VAR=value...]
  env "$@" "$jotbox" >"$work/jotbox.log" 2>&1 &
  jotbox_pid=$!
  pids+=("$jotbox_pid")
}

# Window listings are read whole before matching: `grep -q` would close the
# pipe early and, under pipefail, turn a match into a failure.
tree() { xwininfo -root -tree 2>/dev/null; }
panel_id() { tree | awk -v size=" ${panel_size:-464x256}+" '/\("jotbox" "Jotbox"\)/ && index($0, size) { print $1; exit }'; }
panel_visible() { local id; id=$(panel_id); [[ -n "$id" ]] && [[ $(xwininfo -id "$id") == *IsViewable* ]]; }
panel_hidden() { ! panel_visible; }
panel_xy() { # none when there is no panel (xwininfo without an id waits for a click)
  local id; id=$(panel_id); [[ -n $id ]] || return 1
  xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'
}
startup_id() { xprop -id "$(panel_id)" _NET_STARTUP_ID 2>/dev/null | grep -qF "\"$1\""; }
notes_contain() { [[ -f "$notes" ]] && grep -qF -- "$1" "$notes"; }
# The process that owns a name on the session bus.
bus_pid() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" 2>/dev/null | grep -o '[0-9]\+' | tail -n1
}
on_bus() { [[ -n $(bus_pid "$1") ]]; }
# The StatusNotifierItems a tray's watcher knows, a line each: "bus-name/path"
# or, as some watchers keep them, the bus name alone.
sni_items() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems \
    2>/dev/null | grep -o "'[^']*'" | tr -d "'"
}
sni_registered() { [[ -n $(sni_items) ]]; }
# The window holding keyboard focus, by its title.
focused() { [[ $(xdotool getwindowfocus getwindowname 2>/dev/null) == "$1" ]]; }
# The icon's window where it is an XEmbed one, "X Y W H".
xembed_icon() {
  xwininfo -root -tree | awk '/\("jotbox" "Jotbox"\)/ {
      split($0, a, ")"); n = split(a[2], f, " "); split(f[1], wh, "x"); split(f[2], xy, "+");
      if (wh[1] > 1 && wh[1] <= 64 && wh[2] <= 64) { print xy[2], xy[3], wh[1], wh[2]; exit } }'
}
# This run's Jotbox's StatusNotifierItem, "bus-name/path".
own_sni_item() {
  local item; for item in $(sni_items); do [[ $(bus_pid "${item%%/*}") == "$jotbox_pid" ]] && echo "$item"; done
}
