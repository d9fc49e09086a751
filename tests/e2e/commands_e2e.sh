#!/usr/bin/env bash
# The command line and the D-Bus face as scripts and desktops use them, a
# table each: every command with no Jotbox running (no display, no bus) and
# against a running one that the bus started for a call; what each exits
# with, prints, leaves on disk and shows; bad input changing nothing; a
# hostile caller on the socket; the startup id reaching the panel.
# Usage: commands_e2e.sh JOTBOX_BINARY
jotbox=$1
source "$(dirname "$0")/lib.sh"
export JOTBOX_E2E_BUS=1 # cleanup stops what the test's bus started

texts() { /usr/bin/python3 -c 'import json,sys; print("|".join(n["content"] for n in json.load(open(sys.argv[1]))))' "$notes"; }
big=$work/big.txt; head -c 1500000 /dev/urandom | base64 >"$big" # 2 MB, many lines
bad=$work/bad.txt; printf 'a\0b' >"$bad"
latin1=$(printf 'caf\xe9')

# run "what" EXIT STDOUT TEXTS ARGS... (stdin from $input): the exit code, standard
# output and the notes on disk after it; "=" leaves the notes as they were.
input=/dev/null
run() {
  local what=$1 code=$2 out=$3 want=$4; shift 4
  local before got status; before=$(texts 2>/dev/null)
  got=$(env -u DESKTOP_STARTUP_ID "$@" <"$input" 2>"$work/err"; echo "[$?]")
  status=${got##*\[}; got=${got%\[*}
  [[ $want == "=" ]] && want=$before
  check "$what: exit $code" test "${status%]}" = "$code"
  [[ -n $out ]] && check "$what: prints it" test "$got" = "$out"
  check "$what: then on disk" test "$(texts 2>/dev/null)" = "$want"
  [[ $code != 0 ]] && check "$what: says why" test -s "$work/err"
  input=/dev/null
}

# --- no Jotbox running: no display, no bus
offline=(env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS "$jotbox")
run "new TEXT, with none running" 0 "" "|first idea" "${offline[@]}" new "first idea"
run "append TEXT to the empty first note" 0 "" "tail|first idea" "${offline[@]}" append tail
run "append again: a line of its own" 0 "" $'tail\nmore|first idea' "${offline[@]}" append more
input=$big; run "new - with 2 MB on standard input" 0 "" "$(texts)|$(cat "$big")" "${offline[@]}" new -
run "print N" 0 "first idea" = "${offline[@]}" print 2
run "print the active note" 0 $'tail\nmore' = "${offline[@]}" print
for row in "print 9:1" "print 0:1" "print x:2" "frobnicate:2" "--verison:2" "new a b:2" "append:2" \
  "show now:2" "new $latin1:1"; do
  run "jotbox ${row%:*}" "${row##*:}" "" = "${offline[@]}" ${row%:*}
done
input=$bad; run "new - with a NUL byte" 1 "" = "${offline[@]}" new -
run "hide with none running (returns: starts nothing)" 0 "" = "${offline[@]}" hide

# --- a Jotbox the bus starts for a call, then reached by every later jotbox
start_x
spawn openbox --sm-disable
mkdir -p "$work/services"
sed "s|^Exec=[^ ]*|Exec=$jotbox|" "$(dirname "$0")/../../data/dev.jotbox.Jotbox.service.in" \
  >"$work/services/dev.jotbox.Jotbox.service"
sed "s|</busconfig>|<servicedir>$work/services</servicedir></busconfig>|" \
  "$(dirname "$0")/../support/private-session-bus.conf" >"$work/bus.conf"
spawn dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=3 3>"$work/bus"
wait_for 10 test -s "$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
on_cleanup+=('kill $(bus_pid dev.jotbox.Jotbox) 2>/dev/null; sleep 0.2') # before its X server goes
app() { gdbus call --session --dest dev.jotbox.Jotbox --object-path /dev/jotbox/Jotbox \
  --method org.freedesktop.Application."$@" >/dev/null 2>&1; }
check "ActivateAction show with none running: the bus starts Jotbox" app ActivateAction show [] {}
check "...which shows its panel" wait_for 10 panel_visible
check "...focused" wait_for 5 focused Jotbox
shown() { [[ $1 == shown ]] && wait_for 3 panel_visible || { sleep 0.3; panel_hidden; }; }
for row in "show:shown" "show:shown" "hide:hidden" "hide:hidden" "toggle:shown" "toggle:hidden" \
  "new x:hidden" "append y:hidden" "print 9:hidden" "bogus:hidden" "new:shown"; do
  "$jotbox" ${row%:*} >/dev/null 2>&1
  check "jotbox ${row%:*} against the running one: the panel ${row#*:}" shown "${row#*:}"
done
check "...on a new empty note" test -z "$("$jotbox" print)"
check "...focused" focused Jotbox
empty_last() { [[ $(texts) == *"|" ]]; }
check "...saved as a note added by Ctrl+T is" wait_for 3 empty_last
run "append, running: to the note shown" 0 "" "$(texts)appended" "$jotbox" append appended
run "new TEXT, running: on disk as it returns" 0 "" "$(texts)|while running" "$jotbox" new "while running"
run "print, running" 0 "appended" = "$jotbox" print
input=$bad; run "new - with a NUL byte, running" 1 "" = "$jotbox" new -
run "new TEXT not UTF-8, running" 1 "" = "$jotbox" new "$latin1"

for row in "hidden 0 ActivateAction hide [] {}" "shown 0 Activate {}" "shown 1 ActivateAction bogus [] {}" \
  "shown 1 ActivateAction new-note [<42>] {}" "shown 1 Open [] {}" "shown 1 Activate 7" \
  "hidden 0 ActivateAction toggle [] {}"; do
  set -- $row; app "${@:3}"; status=$?
  check "${*:3} over D-Bus: $([[ $2 == 0 ]] && echo done || echo an error), the panel $1" \
    test "$status" = "$([[ $2 == 0 ]] && echo 0 || echo 1)" -a "$(shown "$1" && echo "$1")" = "$1"
done
check "ActivateAction new-note with its text: on disk as it answers" \
  bash -c "$(declare -f app); app ActivateAction new-note \"[<'from the bus'>]\" {} && grep -qF 'from the bus' '$notes'"

"$jotbox" hide; DESKTOP_STARTUP_ID=launcher_TIME4242 "$jotbox" show
check "the startup id a launcher gave jotbox reaches the panel" wait_for 5 startup_id launcher_TIME4242
"$jotbox" hide; app ActivateAction show [] "{'desktop-startup-id': <'desktop_TIME77'>}"
check "...and the one in Activate's platform data" wait_for 5 startup_id desktop_TIME77
check "...and the panel has the focus" focused Jotbox

# The socket, as a buggy or hostile local program uses it.
hostile_socket() {
  /usr/bin/python3 - "$XDG_RUNTIME_DIR/jotbox.socket" <<'PY'
import socket, sys, json
def ask(data, n=1):
    s = socket.socket(socket.AF_UNIX); s.settimeout(30); s.connect(sys.argv[1])
    try:
        s.sendall(data)
    except (BrokenPipeError, ConnectionResetError):
        return []
    got = b""
    while got.count(b"\n") < n:
        chunk = s.recv(1 << 16)
        if not chunk: break
        got += chunk
    return [json.loads(l)["exit"] for l in got.splitlines()]
assert ask(b"garbage\n{\"command\": 5}\n", 2) == [2, 2]
assert ask(json.dumps({"command": "new", "text": "a\0b"}).encode() + b"\n") == [1]
assert ask(b"x" * (65 << 20)) == []  # too long: dropped, never read into memory whole
many = [socket.socket(socket.AF_UNIX) for _ in range(300)]
for s in many: s.connect(sys.argv[1]); s.sendall(b'{"command":"print","note":1}\n')
assert all(s.recv(1 << 16).endswith(b"\n") for s in many)
PY
}
before=$(texts)
check "the socket: bad lines answered, a line too long dropped, 300 callers at once answered" hostile_socket
check "...nothing changed, Jotbox still there" test "$(texts)" = "$before" -a -n "$(bus_pid dev.jotbox.Jotbox)"
finish
