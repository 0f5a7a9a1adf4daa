#!/usr/bin/env bash
# Configures (once) and builds the tree in the given folder (default: build).
# Extra arguments are passed to cmake at configure time.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"; shift || true
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "$@"
fi
cmake --build "$dir" -j "$(nproc)"
