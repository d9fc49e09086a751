#!/usr/bin/env bash
# Fuzzes the notes-file decoder, the caption rule, the text merge and the editor with libFuzzer.
#   scripts/fuzz.sh [seconds per target, default 60]
# Needs clang; scripts/install-deps.sh installs it. What a run finds is kept
# in build-fuzz/corpus (so later runs go on from there); a crashing input is
# written to build-fuzz/findings and the script exits non-zero.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJOTBOX_FUZZ=ON >/dev/null
cmake --build "$out" -j "$(nproc)"

status=0
run() { # target corpus-name max-bytes files-under-test...
  local target=$1 seeds corpus="$out/corpus/$2" log bin leaks=1
  bin=$(find "$out/tests" -type f -name "$target" | head -n1)
  seeds=$(echo "$root"/tests/*/fuzz/corpus/"$2")
  # Qt's caches (fonts, glyphs) fill on first use and are never freed: no leak of ours.
  [[ $target == note_editor_fuzzer ]] && leaks=0
  mkdir -p "$corpus" "$out/findings"
  log=$(mktemp)
  echo "== fuzzing $target for $seconds s =="
  if ! LLVM_PROFILE_FILE="$out/$target-run.profraw" ASAN_OPTIONS=detect_leaks=$leaks \
      UBSAN_OPTIONS=print_stacktrace=1 \
      "$bin" "$corpus" "$seeds" -max_total_time="$seconds" \
      -max_len="$3" -timeout="${TIMEOUT:-5}" -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/findings/$target-" >"$log" 2>&1; then
    status=1
    tail -n 40 "$log"
  fi
  # Instrumented edges in all, and the last progress line: executions, edges reached.
  grep -m1 -o 'Loaded 1 modules *([0-9]* inline 8-bit counters)' "$log" | grep -o '[0-9]* inline' |
    sed 's/ inline/ edges instrumented/' || true
  grep -E '^#[0-9]+' "$log" | tail -n 1 || true
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
  # Lines and branches the whole corpus reaches in the code under test.
  if command -v llvm-profdata >/dev/null && command -v llvm-cov >/dev/null; then
    LLVM_PROFILE_FILE="$out/$target.profraw" ASAN_OPTIONS=detect_leaks=0 "$bin" -runs=0 \
      "$corpus" >/dev/null 2>&1 || true
    llvm-profdata merge -sparse "$out/$target.profraw" -o "$out/$target.profdata"
    llvm-cov report "$bin" -instr-profile="$out/$target.profdata" \
      "${@:4}" | awk '$1 != "Filename" && $1 != "TOTAL" && NF > 12 {
        n = split($1, path, "/"); printf "coverage of %s: lines %s, branches %s\n", path[n], $10, $13 }'
  fi
  rm -f "$log"
}
# Its inputs expand to files of megabytes, which decode in tens of milliseconds:
# a per-input limit of 3 s fails a decoding that grows faster than the file.
TIMEOUT=3 run notes_file_fuzzer notes-file 16384 "$root/src/notes/NotesFile.cpp"
run note_title_fuzzer note-title 8192 "$root/src/notes/Note.cpp" "$root/src/notes/GraphemeClusters.cpp"
run text_merge_fuzzer text-merge 4096 "$root/src/sync/TextMerge.cpp" "$root/src/sync/TextChanges.cpp"
run note_editor_fuzzer note-editor 512 "$root/src/views/NoteEditorView.cpp"
exit $status
