#!/usr/bin/env bash
# Installs what is missing, builds, and starts Cellarkey in the current folder
# (its data and settings files live in the folder it is started from).
set -euo pipefail
here="$(pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh" build >/dev/null
cd "$here"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting Cellarkey on a virtual display (xvfb-run)." >&2
  exec xvfb-run -a "$root/build/app/cellarkey" "$@"
fi
exec "$root/build/app/cellarkey" "$@"
