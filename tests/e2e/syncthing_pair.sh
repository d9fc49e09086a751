# Two machines sharing their notes through Syncthing, for sync_e2e.sh and
# bench/sync_measure.sh: two real Syncthing instances on 127.0.0.1 only (no
# discovery, relays or NAT), each with its own Jotbox, data, cache, config
# and runtime folders and X server. Source it after lib.sh.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
base=$((20000 + $$ % 20000))
key=key$$
declare -A gui id display

st() { # st A|B METHOD PATH [JSON]: the instance's REST API
  curl -sf -X "$2" -H "X-API-Key: $key" -H 'Content-Type: application/json' \
    ${4:+--data "$4"} "http://127.0.0.1:${gui[$1]}$3"
}
peer_of() { [[ $1 == A ]] && echo B || echo A; }
for m in A B; do
  home=$work/$m/syncthing
  id[$m]=$(syncthing generate --home="$home" --no-default-folder 2>&1 | awk '/Device ID/ {print $NF}')
  gui[$m]=$base; base=$((base + 2))
  sed -i -E -e "s|<listenAddress>default</listenAddress>|<listenAddress>tcp://127.0.0.1:$((gui[$m] + 1))</listenAddress>|" \
    -e 's|<reconnectionIntervalS>60<|<reconnectionIntervalS>1<|; s|<urAccepted>0<|<urAccepted>-1<|' \
    -e 's|<autoUpgradeIntervalH>12<|<autoUpgradeIntervalH>0<|' \
    -e 's#<(globalAnnounceEnabled|localAnnounceEnabled|relaysEnabled|natEnabled|crashReportingEnabled|startBrowser)>true<#<\1>false<#' \
    "$home/config.xml"
  spawn syncthing serve --home="$home" --no-browser --no-restart --gui-address="127.0.0.1:${gui[$m]}" \
    --gui-apikey="$key" >"$work/$m.log" 2>&1
done
for m in A B; do wait_for 30 st $m GET /rest/system/ping >/dev/null || echo "Syncthing $m not up"; done
for m in A B; do
  mkdir -p "$work/$m/data/Jotbox"
  st $m POST /rest/config/devices "{\"deviceID\":\"${id[$(peer_of $m)]}\",\"addresses\":[\"tcp://127.0.0.1:$((gui[$(peer_of $m)] + 1))\"]}"
  st $m POST /rest/config/folders "{\"id\":\"notes\",\"path\":\"$work/$m/data/Jotbox\",\"type\":\"sendreceive\",
    \"fsWatcherDelayS\":1,\"rescanIntervalS\":60,\"devices\":[{\"deviceID\":\"${id[A]}\"},{\"deviceID\":\"${id[B]}\"}]}"
done
connected() { st A GET /rest/system/connections | tr -d ' \n\t' | grep -q "\"${id[B]}\":{[^}]*\"connected\":true"; }
idle() { [[ $(st "$1" GET '/rest/db/status?folder=notes') == *'"state": "idle"'* ]]; }
shared() {
  wait_for 60 bash -c "$(declare -f st connected idle); $(declare -p gui key id); connected && idle A && idle B && [ -d '$work/A/data/Jotbox/.stfolder' ]"
}
pause() { for m in A B; do st $m POST "/rest/system/pause?device=${id[$(peer_of $m)]}"; done; sleep 1; }
resume() { for m in A B; do st $m POST "/rest/system/resume?device=${id[$(peer_of $m)]}"; done; }

start_jotboxes() { # one per machine, each on its own X server
  for m in A B; do
    start_x; display[$m]=$DISPLAY
    mkdir -p "$work/$m/config" "$work/$m/run" && chmod 700 "$work/$m/run"
    XDG_DATA_HOME=$work/$m/data XDG_CONFIG_HOME=$work/$m/config XDG_CACHE_HOME=$work/$m/cache \
      XDG_RUNTIME_DIR=$work/$m/run spawn "$jotbox" >"$work/$m.jotbox.log" 2>&1
  done
  sleep 1
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
