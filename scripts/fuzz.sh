#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan/UBSan) in ./build-fuzz and runs each one
# for FUZZ_SECONDS (default 60) from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTUNECASE_FUZZ=ON -DTUNECASE_BUILD_GUI=OFF \
  -DTUNECASE_WITH_SYNTH=OFF -DTUNECASE_WITH_MIDI_PORTS=OFF -DTUNECASE_WITH_HTTP=OFF \
  -DTUNECASE_BUILD_TESTS=OFF -DTUNECASE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)"
for target in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$target")
  work=build-fuzz/corpus-work/$name
  mkdir -p "$work"
  echo "== $name"
  "$target" -max_total_time="${FUZZ_SECONDS:-60}" -print_final_stats=1 "$work" "fuzz/corpus/$name"
done
