#!/usr/bin/env bash
# Two machines sharing their notes through Syncthing: two real Syncthing
# instances on 127.0.0.1 only (no discovery, relays or NAT), each with its
# own Jotbox, data, config and runtime folders and X server. A user's view of
# a panel is its text, read by selecting all and copying.
# Usage: sync_e2e.sh JOTBOX_BINARY
jotbox=$1
source "$(dirname "$0")/lib.sh"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
base=$((20000 + $$ % 20000))
key=key$$
declare -A gui id display

st() { # st A|B METHOD PATH [JSON]: the instance's REST API
  curl -sf -X "$2" -H "X-API-Key: $key" -H 'Content-Type: application/json' \
    ${4:+--data "$4"} "http://127.0.0.1:${gui[$1]}$3"
}
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
  peer=$([[ $m == A ]] && echo B || echo A)
  mkdir -p "$work/$m/data/Jotbox"
  st $m POST /rest/config/devices "{\"deviceID\":\"${id[$peer]}\",\"addresses\":[\"tcp://127.0.0.1:$((gui[$peer] + 1))\"]}"
  st $m POST /rest/config/folders "{\"id\":\"notes\",\"path\":\"$work/$m/data/Jotbox\",\"type\":\"sendreceive\",
    \"fsWatcherDelayS\":1,\"rescanIntervalS\":60,\"devices\":[{\"deviceID\":\"${id[A]}\"},{\"deviceID\":\"${id[B]}\"}]}"
done
connected() { st A GET /rest/system/connections | tr -d ' \n\t' | grep -q "\"${id[B]}\":{[^}]*\"connected\":true"; }
idle() { [[ $(st "$1" GET '/rest/db/status?folder=notes') == *'"state": "idle"'* ]]; }
check "the two Syncthing instances connect and share the folder" wait_for 60 bash -c \
  "$(declare -f st connected idle); $(declare -p gui key id); connected && idle A && idle B && [ -d '$work/A/data/Jotbox/.stfolder' ]"

# One Jotbox per machine, each on its own X server. B's user keeps an ignore file of their own.
printf '// the user'"'"'s own\n(?d)notes.json.saving-*\n' >"$work/B/data/Jotbox/.stignore"
for m in A B; do
  start_x; display[$m]=$DISPLAY
  mkdir -p "$work/$m/config" "$work/$m/run" && chmod 700 "$work/$m/run"
  XDG_DATA_HOME=$work/$m/data XDG_CONFIG_HOME=$work/$m/config XDG_RUNTIME_DIR=$work/$m/run \
    spawn "$jotbox" >"$work/$m.jotbox.log" 2>&1
done
sleep 1
on() { local m=$1; shift; DISPLAY=${display[$m]} "$@"; }
# What machine M's panel shows: shown, all selected and copied, hidden again.
panel_text() {
  on "$1" xdotool key ctrl+alt+n; sleep 0.3
  on "$1" xdotool key ctrl+a ctrl+c; sleep 0.1
  on "$1" xclip -o -selection clipboard 2>/dev/null
  on "$1" xdotool key Escape; sleep 0.2
}
shows() { [[ $(panel_text "$1") == *"$2"* ]]; }
type_in() { # type_in M TEXT: at the end of the note
  on "$1" xdotool key ctrl+alt+n; sleep 0.3
  on "$1" xdotool key ctrl+End type --delay 10 "$2"
  on "$1" xdotool key Escape
}
check "Jotbox tells Syncthing to ignore its own files" \
  test "$(cat "$work/A/data/Jotbox/.stignore")" = "$(printf '(?d)notes.json.saving-*\n(?d)notes.json.unreadable-*')"
check "...but leaves a user's own ignore file as it is" grep -qx "// the user's own" "$work/B/data/Jotbox/.stignore"

type_in A "Typed on A."
check "a note typed on A appears in B's panel, without a restart" wait_for 20 shows B "Typed on A."
type_in B " Then B."
check "an edit on B comes back to A" wait_for 20 shows A "Typed on A. Then B."

# Apart, both change the same note; together again, both texts are on both.
for m in A B; do st $m POST "/rest/system/pause?device=${id[$([[ $m == A ]] && echo B || echo A)]}"; done
sleep 1
type_in A " A alone."
type_in B " B alone."
sleep 2
for m in A B; do st $m POST "/rest/system/resume?device=${id[$([[ $m == A ]] && echo B || echo A)]}"; done
# Both texts in M's notes (the other one in a tab of its own), and its panel up to date.
both() { grep -q 'A alone\.' "$work/$1/data/Jotbox/notes.json" && grep -q 'B alone\.' "$work/$1/data/Jotbox/notes.json" &&
  shows "$1" "alone."; }
check "after the conflict A has both texts" wait_for 40 both A
check "...and so has B" wait_for 40 both B
no_copies() { ! compgen -G "$work/[AB]/data/Jotbox/notes.sync-conflict-*" >/dev/null; }
check "the conflict copies are gone on both" wait_for 20 no_copies
arrived() { st "$1" GET '/rest/events?events=ItemFinished&since=0&timeout=0'; }
check "no notes.json.saving-* file ever reached the other side" \
  bash -c "! { $(declare -f st arrived); $(declare -p gui key); arrived A; arrived B; } | grep -q 'notes.json.saving-'"
finish
