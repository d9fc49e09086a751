#!/usr/bin/env bash
# Measures the running program under Xvfb and trayer and prints figures:
# launch to icon docked; memory at start (empty, and with a 1 MiB note in one
# line or in many) and once the panel is shown; memory after 100 toggles;
# wake-ups while the panel is shown, focused and idle; CPU used while idle;
# shortcut press to panel visible; `jotbox new TEXT` to the note on disk.
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
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 500); do [[ -s "$work/display" ]] && break; sleep 0.01; done
export DISPLAY=:$(head -n1 "$work/display")
trayer --edge top --align center --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
sleep 1

docked() { [[ -n "$(xwininfo -root -tree | awk '/\("jotbox" "Jotbox"\)/ && / (1[6-9]|2[0-9]|3[0-2])x/')" ]]; }
panel_id() { xwininfo -root -tree | awk '/\("jotbox" "Jotbox"\)/ && / 464x256\+/ { print $1; exit }'; }
visible() { [[ -n "$1" ]] && [[ $(xwininfo -id "$1") == *IsViewable* ]]; }
shown() { until visible "$(panel_id)"; do sleep 0.01; done; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Context switches of every thread: each is the process waking up or being woken.
switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
mib() { awk -v kb="$1" 'BEGIN {printf "%.1f MiB", kb / 1024}'; }

pid=
launch() { # launch [notes.json content generator]
  rm -rf "$XDG_DATA_HOME/Jotbox"
  if [[ $# -gt 0 ]]; then mkdir -p "$XDG_DATA_HOME/Jotbox" && "$@" >"$XDG_DATA_HOME/Jotbox/notes.json"; fi
  "$jotbox" >/dev/null 2>&1 &
  pid=$!
  pids+=($pid)
  until docked; do sleep 0.005; done
}
quit() { kill "$pid"; wait "$pid" 2>/dev/null; }
show_and_measure() { # the panel shown, half a second to settle, its resident memory
  xdotool key ctrl+alt+n
  shown
  sleep 0.5
  echo "...once the panel is shown:       $(mib "$(rss_kb $pid)")"
}
# A 1 MiB note, in one line or in lines of 70 characters.
one_line() { printf '[{"id":"00000000-0000-0000-0000-000000000001","content":"'; head -c 1048576 /dev/zero | tr '\0' x; printf '","createdAt":1}]'; }
many_lines() { printf '[{"id":"00000000-0000-0000-0000-000000000001","content":"'; head -c 1048576 /dev/zero | tr '\0' x | fold -w 69 | sed 's/$/\\n/' | tr -d '\n'; printf '","createdAt":1}]'; }

start=$(now)
launch
echo "launch to icon docked:            $(ms_since "$start") ms"
sleep 1
empty_kb=$(rss_kb $pid)
echo "VmRSS at start, no notes:         $(mib "$empty_kb")"
show_and_measure
quit
for kind in one_line many_lines; do
  launch $kind
  sleep 1
  kb=$(rss_kb $pid)
  echo "VmRSS at start, 1 MiB ${kind/_/ }: $(mib "$kb") ($(mib $((kb - empty_kb))) over empty; target within 4 MiB)"
  show_and_measure
  quit
done

launch
xdotool key ctrl+alt+n
shown
panel=$(panel_id)
xdotool key ctrl+alt+n
sleep 0.3
"$(dirname "$0")/../build/bench/shortcut_latency" "$panel" 21

for _ in $(seq 100); do xdotool key ctrl+alt+n; sleep 0.02; done
sleep 1
echo "VmRSS after 100 toggles:          $(mib "$(rss_kb $pid)")"

# Shown, focused, and left alone: the cursor stops blinking after 10 s.
visible "$panel" || xdotool key ctrl+alt+n
shown
sleep 12
before=$(switches $pid)
sleep 10
echo "wake-ups shown and idle, 12-22 s after the last input: $(( $(switches $pid) - before )) (target 0)"
xdotool key ctrl+alt+n
sleep 1

ticks_before=$(cpu_ticks $pid)
sleep 10
ticks=$(( $(cpu_ticks $pid) - ticks_before ))
echo "CPU while hidden and idle for 10 s: $((ticks * 1000 / $(getconf CLK_TCK))) ms ($ticks ticks)"

# A capture from a script: `jotbox new TEXT` until it returns, the note then on disk.
median_new() { # in ms, of 20 runs
  local runs=() start
  for i in $(seq 20); do
    start=$(now); "$jotbox" new "captured $i" >/dev/null 2>&1; runs+=($(( ($(now) - start) / 10000 )))
  done
  local sorted; sorted=($(printf '%s\n' "${runs[@]}" | sort -n))
  local hundredths=$(( (sorted[9] + sorted[10]) / 2 ))
  printf '%d.%02d ms' $((hundredths / 100)) $((hundredths % 100))
}
echo "jotbox new TEXT to the note on disk, median of 20, Jotbox running: $(median_new)"
quit
echo "...with no Jotbox running (on the file, no display):     $(DISPLAY= median_new)"
