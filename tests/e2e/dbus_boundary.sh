#!/usr/bin/env bash
# Jotbox's D-Bus objects against a hostile caller: the real program (under the
# sanitizers when run from their build), on a private session bus with a real
# StatusNotifierItem watcher and host, called by dbus_hostile.py with every
# method and property it exports, wrong types, unknown and huge ids and bursts.
# Usage: dbus_boundary.sh JOTBOX_BINARY [SEED] [CALLS]
[[ -n "${JOTBOX_E2E_BUS:-}" ]] || JOTBOX_E2E_BUS=1 exec dbus-run-session \
  --config-file="$(dirname "$0")/../support/private-session-bus.conf" -- "$0" "$@" 2>/dev/null
jotbox=$1
source "$(dirname "$0")/lib.sh"

start_x
spawn status-notifier-watcher >/dev/null 2>&1
wait_for 10 on_bus org.kde.StatusNotifierWatcher || echo "the watcher not seen"
spawn gtk-sni-tray-standalone --top --end --size 24 >/dev/null 2>&1
# Jotbox takes the StatusNotifierItem path only once a host is there.
wait_for 10 bash -c "gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered | grep -q true"
start_jotbox ASAN_OPTIONS=detect_leaks=0
has_item() { [[ -n $(own_sni_item) ]]; }
check "Jotbox's item is registered" wait_for 30 has_item
item=$(own_sni_item)
# A token the host hands over before a click is the proof the panel shows with.
gdbus call --session --dest "${item%%/*}" --object-path /StatusNotifierItem \
  --method org.kde.StatusNotifierItem.ProvideXdgActivationToken tray-token >/dev/null &&
  gdbus call --session --dest "${item%%/*}" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
check "the token a tray host gave before a click reaches the panel" wait_for 5 startup_id tray-token
hostile() { /usr/bin/python3 "$(dirname "$0")/dbus_hostile.py" "${item%%/*}" "$jotbox_pid" "${2:-1}" "${3:-2000}" 2>&1; }
check "every method and property answered, bursts too, memory bounded, one menu" hostile "$@"
check "Jotbox still runs" kill -0 "$jotbox_pid"
finish
