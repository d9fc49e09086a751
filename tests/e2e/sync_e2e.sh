#!/usr/bin/env bash
# Two machines sharing their notes through two real Syncthing instances
# (syncthing_pair.sh): what one types reaches the other's panel; what both
# do while apart is merged, note by note, with no note beyond the users' own.
# A user's view of a panel is its text, read by selecting all and copying.
# Usage: sync_e2e.sh JOTBOX_BINARY
jotbox=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/syncthing_pair.sh"
check "the two Syncthing instances connect and share the folder" shared

# B's user keeps an ignore file of their own.
printf '// the user'"'"'s own\n(?d)notes.json.saving-*\n' >"$work/B/data/Jotbox/.stignore"
start_jotboxes
check "Jotbox tells Syncthing to ignore its own files" \
  test "$(cat "$work/A/data/Jotbox/.stignore")" = "$(printf '(?d)notes.json.saving-*\n(?d)notes.json.unreadable-*')"
check "...but leaves a user's own ignore file as it is" grep -qx "// the user's own" "$work/B/data/Jotbox/.stignore"

type_in A "Typed on A."
check "a note typed on A appears in B's panel, without a restart" wait_for 20 shows B "Typed on A."
type_in B " Then B."
check "an edit on B comes back to A" wait_for 20 shows A "Typed on A. Then B."
in_panel A "key ctrl+t" "type --delay 10 Second." "key ctrl+t" "type --delay 10 Third."
check "three notes on both" wait_for 20 bash -c "$(declare -f notes_on file_of same_files); $(declare -p work); same_files && [ \$(notes_on B) = 3 ]"

settled() { # both files alike, holding N notes and every word given
  local n=$1; shift
  wait_for 40 bash -c "$(declare -f notes_on file_of same_files); $(declare -p work)
    same_files && [ \$(notes_on A) = $n ] && ! compgen -G '$work/[AB]/data/Jotbox/notes.sync-conflict-*' >/dev/null &&
    for w in $*; do grep -qF \"\$w\" '$(file_of A)' || exit 1; done"
}
# Apart, each changes a different note; together again, each note has its change.
pause
type_in A " A-one" 1
type_in B " B-two" 2
resume
check "edits made apart in different notes stay in their notes" settled 3 "Then B. A-one" "Second. B-two"
# Apart, A closes a note while B edits another: the closed one stays closed.
pause
in_panel A "key alt+3 ctrl+w"
type_in B " B-again" 1
resume
check "a note closed on one machine stays closed" settled 2 "A-one B-again"
check "...and is gone from the other's file" bash -c "! grep -qF 'Third.' '$(file_of B)'"
# Apart, both type at the end of the same note: both words, in that note.
pause
type_in A " A alone." 1
type_in B " B alone." 1
resume
check "both typed at the end of one note: both in it" settled 2 "B-again A alone. B alone."
check "...and A's panel shows it" wait_for 20 shows A "A alone. B alone."
# Together, both typing at the same time, in different notes and in one.
both() { type_in A "$1" "$2" & local a=$!; type_in B "$3" "$4"; wait $a; }
for round in 1 2 3; do
  both " a$round" 1 " b$round" 2
  both " c$round" 2 " d$round" 2
done
check "typing at the same time leaves every word in its note, and no note more" \
  settled 2 a1 a2 a3 b1 b2 b3 c1 c2 c3 d1 d2 d3
arrived() { st "$1" GET '/rest/events?events=ItemFinished&since=0&timeout=0'; }
check "no notes.json.saving-* file ever reached the other side" \
  bash -c "! { $(declare -f st arrived); $(declare -p gui key); arrived A; arrived B; } | grep -q 'notes.json.saving-'"
finish
