#!/usr/bin/env bash
# Installs what is missing, builds Jotbox and launches it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)"
if [[ -z "${DISPLAY:-}" ]]; then
  echo "Jotbox is built (build/src/app/jotbox) but needs a graphical session to run:" >&2
  echo "DISPLAY is not set. Run this from an X11 desktop, or a Wayland desktop with XWayland." >&2
  exit 1
fi
exec "$root/build/src/app/jotbox" "$@"
