#!/usr/bin/env bash
# Installs what is missing, builds Jotbox and launches it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)"
if [[ ! -x "$root/build/src/app/jotbox" ]]; then
  echo "Jotbox's application is not built yet: only its libraries, tests and benchmarks exist so far."
  exit 0
fi
exec "$root/build/src/app/jotbox" "$@"
