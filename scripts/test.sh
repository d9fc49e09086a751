#!/usr/bin/env bash
# Installs what is missing, builds Jotbox twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), runs every test in both builds, then fuzzes the
# notes-file decoder and the caption rule for a minute each when clang is present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

jobs=$(nproc)
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$jobs"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DJOTBOX_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j "$jobs"

export QT_QPA_PLATFORM=offscreen
status=0
echo "== tests =="
ctest --test-dir "$root/build" --output-on-failure -j "$jobs" || status=1
echo "== unit and boundary tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -L 'unit|boundary' || status=1
if command -v clang++ >/dev/null; then
  echo "== fuzzing =="
  "$root/scripts/fuzz.sh" "${JOTBOX_FUZZ_SECONDS:-60}" || status=1
fi
exit $status
