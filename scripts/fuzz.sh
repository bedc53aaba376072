#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for N seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
export CCACHE_BASEDIR="$PWD"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers
mkdir -p build-fuzz/corpus
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "build-fuzz/corpus/$name"
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "build-fuzz/corpus/$name" \
    2>"build-fuzz/$name.log" || { tail -50 "build-fuzz/$name.log"; exit 1; }
  grep -E '^(stat::number_of_executed_units|Done)' "build-fuzz/$name.log" || true
done
