# Two machines on this one, for the sync runs: each with its own Jotbox,
# data, cache, config and runtime folders and X server. Source it after lib.sh.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
declare -A display jotboxes
data_of() { echo "$work/$1/data/Jotbox"; }
mkdir -p "$(data_of A)" "$(data_of B)"

start_jotbox_on() { # start_jotbox_on M: its X server kept across restarts
  local m=$1
  [[ -n ${display[$m]:-} ]] || { start_x; display[$m]=$DISPLAY; }
  mkdir -p "$work/$m/config" "$work/$m/run" && chmod 700 "$work/$m/run"
  DISPLAY=${display[$m]} XDG_DATA_HOME=$work/$m/data XDG_CONFIG_HOME=$work/$m/config XDG_CACHE_HOME=$work/$m/cache \
    XDG_RUNTIME_DIR=$work/$m/run spawn "$jotbox" >>"$work/$m.jotbox.log" 2>&1
  jotboxes[$m]=${pids[-1]}
}
on() { local m=$1; shift; DISPLAY=${display[$m]} "$@"; }
file_of() { echo "$work/$1/data/Jotbox/notes.json"; }
# What machine M's panel shows of its active note: shown, all selected and copied, hidden again.
panel_text() {
  on "$1" xdotool key ctrl+alt+n; sleep 0.3
  on "$1" xdotool key ctrl+a ctrl+c; sleep 0.1
  on "$1" xclip -o -selection clipboard 2>/dev/null
  on "$1" xdotool key Escape; sleep 0.2
}
shows() { [[ $(panel_text "$1") == *"$2"* ]]; }
in_panel() { # in_panel M COMMAND...: the panel shown, each an xdotool command, hidden again
  local m=$1 c; shift
  on "$m" xdotool key ctrl+alt+n; sleep 0.3
  for c in "$@"; do on "$m" xdotool $c; done
  on "$m" xdotool key Escape
}
type_in() { # type_in M TEXT [TAB]: at the end of the note in that tab (the active one by default)
  local m=$1
  on "$m" xdotool key ctrl+alt+n; sleep 0.3
  on "$m" xdotool ${3:+key alt+$3} key ctrl+End type --delay 10 "$2"
  on "$m" xdotool key Escape
}
notes_on() { grep -o '"content":' "$(file_of "$1")" | wc -l; } # closed records hold no content
same_files() { cmp -s "$(file_of A)" "$(file_of B)"; }
