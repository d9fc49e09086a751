# Two machines sharing their notes through an engine run every 2 s between
# their folders, as a timer would run it: rclone bisync or Unison, each with
# the options the README gives. Source it after lib.sh.
source "$(dirname "${BASH_SOURCE[0]}")/pair.sh"
export XDG_CACHE_HOME=$work/engine UNISON=$work/engine # the engines' own state
mkdir -p "$work/engine" && echo "keep" >"$(data_of A)/README"
engine_once() {
  case $engine in
  bisync) rclone bisync "$(data_of A)" "$(data_of B)" --exclude 'notes.json.saving-*' \
    --exclude 'notes.json.unreadable-*' -v "$@" ;;
  unison) unison "$(data_of A)" "$(data_of B)" -batch -prefer newer -copyonconflict \
    -ignore 'Name notes.json.saving-*' -ignore 'Name notes.json.unreadable-*' ;;
  esac >>"$work/engine.log" 2>&1
}
engine_loop() { while [[ ! -e $work/paused ]]; do engine_once; sleep 2; done; }
shared() { engine_once --resync && [[ -f "$(data_of B)/README" ]] && resume; }
resume() { rm -f "$work/paused"; spawn engine_loop; engine_pid=${pids[-1]}; }
pause() { touch "$work/paused"; wait "$engine_pid"; }
