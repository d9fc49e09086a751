#!/usr/bin/env bash
# Two machines, each with its own Jotbox, over Syncthing, rclone bisync or
# Unison (as the end-to-end run sets them up), measured as a user meets them:
#  1. ROUNDS rounds of both typing at the same time, in different notes and
#     in the same one, now and then adding or closing a note: how many notes
#     there are at the end against how many the users made;
#  2. ROUNDS rounds of both replacing the same word at the same time
#     (overlapping changes): how many conflict notes that makes;
#  3. a word typed on A: the time from A's keystroke, and from B's file
#     landing, to B's panel showing it;
#  and, in 1 and 2, how many conflicts the engine met: bisync's "changed in
#  both paths", Unison's "changed <==> changed" on notes.json, Syncthing's
#  own conflict copies (named after its device id, not Jotbox's copies).
# Usage: bench/sync_measure.sh [build/src/app/jotbox] [ROUNDS, default 100] [syncthing|bisync|unison]
jotbox=$(realpath "${1:-$(dirname "$0")/../build/src/app/jotbox}")
rounds=${2:-100} engine=${3:-syncthing}
source "$(dirname "$0")/../tests/e2e/lib.sh"
source "$(dirname "$0")/../tests/e2e/$([[ $engine == syncthing ]] && echo syncthing || echo engine)_pair.sh"
shared || { echo "$engine did not come up"; exit 1; }
start_jotbox_on A; start_jotbox_on B; sleep 1
now_ms() { date +%s%3N; }
if [[ $engine == syncthing ]]; then # its disk events, kept from the start
  watch_events() {
    local since=0 events
    while events=$(st "$1" GET "/rest/events/disk?since=$since&timeout=30"); do
      echo "$events" >>"$work/events.$1"
      since=$(echo "$events" | /usr/bin/python3 -c 'import json,sys; e=json.load(sys.stdin); print(e[-1]["id"] if e else '"$since"')')
    done
  }
  for m in A B; do spawn watch_events $m; done
fi
engine_conflicts() {
  case $engine in
  bisync) grep -c 'changed in both paths' "$work/engine.log" ;;
  unison) grep -cE '^changed +\S+ +changed +notes\.json' "$work/engine.log" ;;
  syncthing) cat "$work"/events.[AB] 2>/dev/null | grep -oE 'notes\.sync-conflict-[0-9]+-[0-9]+-[A-Z2-7]{7}\.json' | sort -u | wc -l ;;
  esac
}
# Both files alike and no conflict copy, and still so 3 s later (past a save's 2 s).
copies_left() { ls "$work"/[AB]/data/Jotbox | grep -qE '^notes(\.sync-conflict-|\.json\.\.path| \()'; }
alike() { wait_for 60 bash -c "$(declare -f file_of same_files copies_left); $(declare -p work)
  same_files && ! copies_left"; }
settle() { local before; sleep 1; alike && before=$(cat "$(file_of A)") && sleep 3 && alike &&
  [[ $(cat "$(file_of A)") == "$before" ]] || { sleep 3; alike; }; }
both() { type_in A "$1" "$2" & local a=$!; type_in B "$3" "$4"; wait $a; }

# The texts of machine M's notes, a line each.
texts_on() { /usr/bin/python3 -c 'import json,sys; [print(n["content"]) for n in json.load(open(sys.argv[1]))]' "$(file_of "$1")"; }
type_in A "one"
in_panel A "key ctrl+t" "type --delay 10 two" "key ctrl+t" "type --delay 10 three"
settle
made=3 closed_words=""
for ((r = 1; r <= rounds; r++)); do
  tabs=$(notes_on A)
  x=$((RANDOM % tabs + 1)) y=$((RANDOM % tabs + 1))
  both " a$r" $x " b$r" $y
  settle || echo "round $r: not settled in 60 s"
  case $((RANDOM % 10)) in
    0) in_panel A "key ctrl+t" "type --delay 10 new$r"; settle; made=$((made + 1)) ;;
    1) if (( tabs > 2 )); then # B closes the last note, having seen all of it
         words=$(texts_on B | sed -n "${tabs}p")
         in_panel B "key alt+$tabs ctrl+w"; settle
         (( $(notes_on A) < tabs )) && { made=$((made - 1)); closed_words+=" $words"; }
       fi ;;
  esac
done
lost=0
for ((r = 1; r <= rounds; r++)); do
  for w in a$r b$r; do
    grep -qw "$w" <(texts_on A) || [[ " $closed_words " == *" $w "* ]] || lost=$((lost + 1))
  done
done
met=$(engine_conflicts)
echo "1. $rounds rounds of both typing at once: $(notes_on A) notes at the end, $made made by the users; $lost of $((2 * rounds)) words typed missing (besides those in notes closed); $engine met $met conflicts"

before=$(notes_on A) conflicts=0
for ((r = 1; r <= rounds; r++)); do
  # Both select the last note's text and type over it, at the same moment.
  in_panel A "key alt+$before ctrl+a" "type --delay 10 mine$r" & a=$!
  in_panel B "key alt+$before ctrl+a" "type --delay 10 theirs$r"; wait $a
  settle || echo "round $r: not settled in 60 s"
  conflicts=$((conflicts + $(notes_on A) - before))
  # A user closes the conflict notes, so the next round starts alike.
  while (( $(notes_on A) > before )); do in_panel A "key alt+$((before + 1)) ctrl+w"; settle; done
done
echo "2. $rounds rounds of both replacing the same word at once: $conflicts conflict notes; $engine met $(($(engine_conflicts) - met)) conflicts"

on B xdotool key ctrl+alt+n; sleep 0.5
times=() keys=()
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for ((r = 1; r <= 10; r++)); do
  type_in A " land$r" 1; typed=$(now_ms)
  wait_for 20 grep -qF " land$r" "$(file_of B)"; landed=$(now_ms)
  shown() { on B xdotool key alt+1 ctrl+a ctrl+c; [[ $(on B xclip -o -selection clipboard 2>/dev/null) == *" land$r"* ]]; }
  wait_for 20 shown && times+=($(( $(now_ms) - landed ))) keys+=($(( $(now_ms) - typed )))
done
echo "3. B's panel showing a word typed on A: $(median "${keys[@]}") ms from the keystroke, $(median "${times[@]}") ms from the file landing (medians of ${#times[@]})"
