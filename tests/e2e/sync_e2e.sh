#!/usr/bin/env bash
# Two machines sharing their notes through a real sync engine: two Syncthing
# instances (syncthing_pair.sh), or rclone bisync or Unison run every 2 s
# between their folders (engine_pair.sh). What one types reaches the other's
# panel; what both do while apart is merged, note by note, with no note
# beyond the users' own, no copy left and no engine stopped.
# A user's view of a panel is its text, read by selecting all and copying.
# Usage: sync_e2e.sh JOTBOX_BINARY [syncthing|bisync|unison]
jotbox=$1 engine=${2:-syncthing}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/$([[ $engine == syncthing ]] && echo syncthing || echo engine)_pair.sh"
check "the two $engine ends share the folder" shared

# B's user keeps an ignore file of their own.
[[ $engine == syncthing ]] && printf '// the user'"'"'s own\n(?d)notes.json.saving-*\n' >"$work/B/data/Jotbox/.stignore"
start_jotbox_on A; start_jotbox_on B; sleep 1
[[ $engine != syncthing ]] || { check "Jotbox tells Syncthing to ignore its own files" \
  test "$(cat "$work/A/data/Jotbox/.stignore")" = "$(printf '(?d)notes.json.saving-*\n(?d)notes.json.unreadable-*')"
  check "...but leaves a user's own ignore file as it is" grep -qx "// the user's own" "$work/B/data/Jotbox/.stignore"; }

type_in A "Typed on A."
check "a note typed on A appears in B's panel, without a restart" wait_for 20 shows B "Typed on A."
type_in B " Then B."
check "an edit on B comes back to A" wait_for 20 shows A "Typed on A. Then B."
in_panel A "key ctrl+t" "type --delay 10 Second." "key ctrl+t" "type --delay 10 Third."
check "three notes on both" wait_for 20 bash -c "$(declare -f notes_on file_of same_files); $(declare -p work); same_files && [ \$(notes_on B) = 3 ]"

copies_left() { ls "$work"/[AB]/data/Jotbox | grep -qE '^notes(\.sync-conflict-|\.json\.\.path| \()'; }
settled() { # both files alike, holding N notes and every word given, no copy left
  local n=$1; shift
  wait_for 40 bash -c "$(declare -f notes_on file_of same_files copies_left); $(declare -p work)
    same_files && [ \$(notes_on A) = $n ] && ! copies_left && for w in $*; do grep -qF \"\$w\" '$(file_of A)' || exit 1; done"
}
# Apart, A closes a note while B edits another: the closed one stays closed.
pause
in_panel A "key alt+3 ctrl+w"
type_in B " B-again" 1
resume
check "a note closed on one machine stays closed" settled 2 "Then B. B-again"
# Apart, both type at the end of the same note: both words, in that note.
pause
type_in A " A alone." 1
type_in B " B alone." 1
resume
check "both typed at the end of one note: both in it" settled 2 "B-again A alone. B alone."
# Together, both typing at the same time, in different notes and in one.
both() { type_in A "$1" "$2" & local a=$!; type_in B "$3" "$4"; wait $a; }
for round in 1 2 3; do
  both " a$round" 1 " b$round" 2
  both " c$round" 2 " d$round" 2
done
check "typing at the same time leaves every word in its note, and no note more" \
  settled 2 a1 a2 a3 b1 b2 b3 c1 c2 c3 d1 d2 d3
# Apart, B types and is killed 2.5 s later, A types; B is off while the two meet.
pause
type_in B " B-killed" 1 && sleep 2.5 && kill -KILL "${jotboxes[B]}"
type_in A " A-meanwhile" 2
resume && sleep 6 && start_jotbox_on B
check "killed 2.5 s after typing and off during the conflict: nothing lost" settled 2 B-killed A-meanwhile
if [[ $engine == syncthing ]]; then
  arrived() { st "$1" GET '/rest/events?events=ItemFinished&since=0&timeout=0'; }
  check "no notes.json.saving-* file ever reached the other side" \
    bash -c "! { $(declare -f st arrived); $(declare -p gui key); arrived A; arrived B; } | grep -q 'notes.json.saving-'"
else
  check "the engine never stopped (no safety abort, no fatal error)" bash -c "! grep -qiE 'abort|fatal' '$work/engine.log'"
  sleep 20 && check "quiet for 20 s: no conflict comes back" settled 2 B-killed
fi
finish
