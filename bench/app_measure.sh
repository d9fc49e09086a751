#!/usr/bin/env bash
# Measures the running program under Xvfb and trayer and prints figures:
# launch to icon docked, memory after start and after 100 panel toggles,
# CPU used while idle, and shortcut press to panel visible.
# Usage: bench/app_measure.sh [build/src/app/jotbox]   (after a build, from the project root)
set -uo pipefail
jotbox=${1:-$(dirname "$0")/../build/src/app/jotbox}
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
now() { date +%s%N; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 500); do [[ -s "$work/display" ]] && break; sleep 0.01; done
export DISPLAY=:$(head -n1 "$work/display")
trayer --edge top --align center --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
sleep 1

docked() { [[ -n "$(xwininfo -root -tree | awk '/\("jotbox" "Jotbox"\)/ && / (1[6-9]|2[0-9]|3[0-2])x/')" ]]; }
panel_id() { xwininfo -root -tree | awk '/\("jotbox" "Jotbox"\)/ && / 464x256\+/ { print $1; exit }'; }
visible() { [[ $(xwininfo -id "$1") == *IsViewable* ]]; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

start=$(now)
"$jotbox" >/dev/null 2>&1 &
pid=$!
pids+=($pid)
until docked; do sleep 0.005; done
echo "launch to icon docked:        $(ms_since "$start") ms"
sleep 1
echo "VmRSS after start:            $(rss_kb $pid) kB"

xdotool key ctrl+alt+n
until [[ -n "$(panel_id)" ]] && visible "$(panel_id)"; do sleep 0.01; done
panel=$(panel_id)
xdotool key ctrl+alt+n
sleep 0.3

"$(dirname "$0")/../build/bench/shortcut_latency" "$panel" 21

for _ in $(seq 100); do xdotool key ctrl+alt+n; sleep 0.02; done
sleep 1
echo "VmRSS after 100 toggles:      $(rss_kb $pid) kB"

ticks_before=$(cpu_ticks $pid)
sleep 10
ticks=$(( $(cpu_ticks $pid) - ticks_before ))
echo "CPU while idle for 10 s:      $((ticks * 1000 / $(getconf CLK_TCK))) ms ($ticks ticks)"
