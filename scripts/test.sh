#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# Usage: scripts/test.sh [build-folder [cmake options...]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
dir="${1:-build}"; shift || true
"$root/scripts/build.sh" "$dir" "$@"
cd "$root/$dir"
export QT_QPA_PLATFORM=offscreen
# CELLARKEY_CTEST_ARGS passes extra arguments to ctest (e.g. "-E ^Qt").
ctest --output-on-failure -j "$(nproc)" --timeout 600 ${CELLARKEY_CTEST_ARGS:-}
