#!/usr/bin/env bash
# The panel on two monitors side by side (one X screen split with xrandr
# --setmonitor, where Qt reports no work area): an XEmbed tray on either
# monitor, at the top or the bottom, started before or after Jotbox, at 1x,
# at 2x, and with the left one at 1x beside the right one at 2x; tint2
# reserves its bar (a strut), trayer does not. The icon is drawn for its
# monitor's scale; a click on it opens the panel on its monitor, wholly
# inside it, 5 logical px from the bar, 464x256 logical px; and the status
# menu opens clear of the bar.
# Usage: screens_e2e.sh JOTBOX_BINARY
jotbox=$1
source "$(dirname "$0")/lib.sh"
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent # XEmbed trays only: none to wait for
start_x 2560x800
xrandr --setmonitor L 1280/338x800/211+0+0 screen >/dev/null && xrandr --setmonitor R 1280/338x800/211+1280+0 none >/dev/null

start_tray() { # start_tray tint2|trayer MONITOR top|bottom [SCALE]
  if [[ $1 == tint2 ]]; then
    printf 'panel_items = S\npanel_position = %s center horizontal\npanel_size = 100%% 40\nstrut_policy = follow_size\nsystray_padding = 0 8 4\npanel_monitor = %d\n' \
      "$3" $(($2 + 1)) >"$work/tint2rc"
    spawn tint2 -c "$work/tint2rc" >/dev/null 2>&1
  else
    spawn trayer --edge "$3" --monitor "$2" --height $((24 * ${4:-1})) --widthtype request --SetDockType true --SetPartialStrut false >/dev/null 2>&1
  fi
  tray_pid=${pids[-1]}
}
# The bar's window, "X Y W H": tint2's, or trayer's "panel".
bar() { tree | awk '/"tint2"|\("panel" "trayer"\)/ && / [0-9]+x[0-9]+\+/ { split($0, a, ")"); split(a[2], f, " ");
  split(f[1], g, "[x+]"); if (g[1] > 1) { print g[3], g[4], g[1], g[2]; exit } }'; }
has_bar() { [[ -n $(bar) ]]; }
# Docked, and in its place: a bar that grows to hold the icon moves it.
docked() { local a; a=$(xembed_icon); [[ -n $a && -n $(bar) ]] && sleep 0.1 && [[ $(xembed_icon) == "$a" ]]; }

placed() { # placed SCALE MONITOR EDGE: prints the figures; true when all hold
  local s=$1 left=$(($2 * 1280)) x y w h bx by bw bh gap
  [[ -n $(panel_id) ]] || { echo "  no panel"; return 1; }
  read -r x y < <(panel_xy); read -r w h < <(xwininfo -id "$(panel_id)" | awk '/Width/ {w=$2} /Height/ {h=$2} END {print w, h}')
  read -r bx by bw bh < <(bar)
  [[ $3 == top ]] && gap=$((y - by - bh)) || gap=$((by - y - h))
  echo "  panel ${w}x${h} at $x,$y; bar ${bw}x${bh} at $bx,$by; $gap px from the bar"
  ((w == 464 * s && h == 256 * s && x >= left && x + w <= left + 1280 && y >= 0 && y + h <= 800 && gap == 5 * s))
}
# The icon's window as wide as the tray's screen asks (the icon is drawn to fill it).
icon_sized() { local x y w h; read -r x y w h < <(xembed_icon) && ((w == 22 * $1)); }
menu_clear() { # menu_clear EDGE: the status menu wholly off the bar
  local id my mh bx by bw bh
  id=$(tree | awk '/"Jotbox menu"/ { print $1; exit }'); [[ -n $id ]] || return 1
  read -r my mh < <(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {y=$4} /Height/ {h=$2} END {print y, h}')
  read -r bx by bw bh < <(bar)
  [[ $1 == top ]] && ((my >= by + bh)) || ((my + mh <= by))
}

for scale in ${SCALES:-1 2 mixed}; do
  for tray in ${TRAYS:-tint2 trayer}; do
    [[ $scale == mixed && $tray == tint2 ]] && continue # it sizes its icons itself
    for monitor in 0 1; do
      s=$scale env="QT_SCALE_FACTOR=$scale"
      [[ $scale == mixed ]] && s=$((monitor + 1)) env="QT_SCREEN_SCALE_FACTORS=L=1;R=2"
      for edge in top bottom; do
        for order in before after; do
          # tint2 docks an icon only after dropping it once (5 s; 15 s when it comes
          # second): started after Jotbox at the top of one monitor only.
          [[ $tray == tint2 && $order == after && $monitor$edge != 1top ]] && continue
          what="$tray at the $edge of monitor $((monitor + 1)), ${scale}x, started $order Jotbox"
          panel_size=$((464 * s))x$((256 * s))
          [[ $order == before ]] && start_tray $tray $monitor $edge $s && wait_for 10 has_bar
          start_jotbox "$env"
          [[ $order == after ]] && start_tray $tray $monitor $edge $s
          if wait_for 20 docked; then
            read -r ix iy iw ih < <(xembed_icon)
            xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
            wait_for 5 panel_visible
            [[ $scale == mixed ]] && check "$what: the icon drawn for its monitor's scale" wait_for 10 icon_sized $s
            check "$what: the panel under the icon, on its monitor" placed $s $monitor $edge
            # Once per tray and edge: the status menu.
            if [[ $monitor == 1 && $order == after ]]; then
              xdotool click 1 && wait_for 5 panel_hidden && xdotool click 3
              check "$what: the status menu clear of the bar" wait_for 5 menu_clear $edge
              xdotool key Escape
            fi
          else
            check "$what: the icon docks" false
          fi
          stop "$jotbox_pid"; stop "$tray_pid"
        done
      done
    done
  done
done
finish
