#!/usr/bin/env bash
# Jotbox's start against the floor (bench/floor: the smallest Qt program with
# a tray icon and a hidden 464x256 editor), interleaved, in the same
# conditions: each start on a fresh X server, home folder and session bus
# (whose portal and accessibility services the bus starts on demand), with
# an XEmbed tray (trayer) and with a StatusNotifierItem host (gtk-sni-tray).
# Prints, per tray, the median [min-max] of each program and Jotbox's ratio
# to the floor: exec to icon shown, resident and anonymous memory at 3 s, CPU
# in the first 3 s, and context switches from 3 s to 13 s while hidden.
# Usage: bench/start_measure.sh [JOTBOX [ROUNDS]]   (after a build, from the project root)
# JOTBOX_TRAYS=xembed (or sni) measures with one kind of tray only.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jotbox=$(realpath "${1:-$here/../build/src/app/jotbox}")
rounds=${2:-7}
floor=$here/../build/bench/qt_floor
watch=$here/../build/bench/start_watch
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -x $floor && -x $watch && -x $jotbox ]] || { echo "build first: cmake --build build" >&2; exit 2; }

# One start of PROGRAM (class CLASS) beside TRAY, on a bus of its own.
one_start() { # one_start TRAY CLASS PROGRAM
  local home=$work/home-$RANDOM
  mkdir -p "$home/run" && chmod 700 "$home/run"
  HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache \
    XDG_RUNTIME_DIR=$home/run dbus-run-session -- bash -c '
      tray=$1 class=$2 program=$3 watch=$4
      Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$HOME/display" 2>/dev/null &
      xvfb=$!
      for _ in $(seq 500); do [[ -s $HOME/display ]] && break; sleep 0.01; done
      export DISPLAY=:$(head -n1 "$HOME/display")
      if [[ $tray == sni ]]; then
        status-notifier-watcher >/dev/null 2>&1 & helpers=$!
        gtk-sni-tray-standalone --top --end --size 24 >/dev/null 2>&1 & helpers="$helpers $!"
        for _ in $(seq 500); do
          gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
            --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
            IsStatusNotifierHostRegistered 2>/dev/null | grep -q true && break
          sleep 0.02
        done
      else
        trayer --edge top --align center --widthtype request --height 24 --SetDockType true \
          >/dev/null 2>&1 & helpers=$!
        for _ in $(seq 500); do xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")" && break; sleep 0.02; done
      fi
      sleep 1 # the tray settled, as at a login before autostart
      "$watch" "$class" -- "$program" >"$HOME/line" 2>/dev/null
      kill $helpers 2>/dev/null; wait $helpers 2>/dev/null
      kill $xvfb; wait $xvfb 2>/dev/null
    ' _ "$1" "$2" "$3" "$watch" >/dev/null 2>&1
  cat "$home/line"
}

# Of the starts that showed an icon (-1: none within 13 s, said below the table).
values() { awk -v c="$2" '$1 >= 0 { print $c }' "$1" | sort -n; }
summary() { # summary FILE COLUMN: "median [min-max]"
  values "$1" "$2" | awk '{ v[NR] = $1 } END { printf "%s [%s-%s]", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
median() { values "$1" "$2" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for tray in ${JOTBOX_TRAYS:-xembed sni}; do
  : >"$work/floor-$tray" && : >"$work/jotbox-$tray"
  for round in $(seq "$rounds"); do
    # Interleaved, each first in every other round.
    order=(floor jotbox); (( round % 2 )) || order=(jotbox floor)
    for who in "${order[@]}"; do
      if [[ $who == floor ]]; then one_start "$tray" qt_floor "$floor" >>"$work/floor-$tray"
      else one_start "$tray" jotbox "$jotbox" >>"$work/jotbox-$tray"; fi
    done
  done
  f=$work/floor-$tray j=$work/jotbox-$tray
  echo "== $tray tray, $rounds starts each (median [min-max]) =="
  printf '%-34s %-22s %-22s %s\n' "" floor Jotbox "Jotbox / floor"
  row() { # row TITLE COLUMN UNIT SCALE
    local fm jm; fm=$(median "$f" "$2") jm=$(median "$j" "$2")
    printf '%-34s %-22s %-22s %s\n' "$1" "$(summary "$f" "$2")" "$(summary "$j" "$2")" \
      "$(awk -v a="$jm" -v b="$fm" 'BEGIN { if (b > 0) printf "%.2fx (%+d)", a / b, a - b; else printf "+%d", a - b }')"
  }
  row "exec to icon shown (ms)" 1
  row "resident memory at 3 s (KiB)" 2
  row "anonymous memory at 3 s (KiB)" 3
  row "CPU in the first 3 s (ms)" 4
  row "context switches 3-13 s, hidden" 5
  for who in floor jotbox; do
    missed=$(awk '$1 < 0' "$work/$who-$tray" | wc -l)
    (( missed == 0 )) || echo "$who: $missed of $rounds starts showed no icon within 13 s (left out above)"
  done
done
