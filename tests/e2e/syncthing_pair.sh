# Two machines sharing their notes through Syncthing, for sync_e2e.sh and
# bench/sync_measure.sh: two real Syncthing instances on 127.0.0.1 only (no
# discovery, relays or NAT). Source it after lib.sh.
source "$(dirname "${BASH_SOURCE[0]}")/pair.sh"
base=$((20000 + $$ % 20000))
key=key$$
declare -A gui id

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

