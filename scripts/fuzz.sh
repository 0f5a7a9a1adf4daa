#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ in build-fuzz and runs each for a
# bounded time (FUZZ_SECONDS, default 60). A crash or hang fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
dir=build-fuzz
if [ ! -f "$dir/build.ninja" ]; then
  CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCELLARKEY_FUZZ=ON -DCELLARKEY_TESTS=OFF \
    -DCELLARKEY_WITH_QT=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined"
fi
targets=()
for src in fuzz/*.cc; do
  targets+=("$(basename "$src" .cc)")
done
cmake --build "$dir" --target "${targets[@]}" -j "$(nproc)"
for t in "${targets[@]}"; do
  corpus="$dir/corpus/$t"
  mkdir -p "$corpus" "$dir/artifacts"
  # fuzz/TARGET.flags may hold more libFuzzer flags for one target (a later
  # -max_len wins over the default).
  extra=()
  if [ -f "fuzz/$t.flags" ]; then read -r -a extra < "fuzz/$t.flags"; fi
  echo "== fuzzing $t for ${seconds}s"
  "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 "${extra[@]}" -artifact_prefix="$dir/artifacts/$t-" "$corpus"
done
