#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for N seconds from its
# committed seed corpus (fuzz/corpus/<target>). Prints each target's executions, rate and
# resident memory; fails a target that crashes or whose memory (libFuzzer's "rss:" figure)
# grows by more than FUZZ_RSS_GROWTH_MB between a tenth of its run and its end.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
growth_limit="${FUZZ_RSS_GROWTH_MB:-20}"
export CCACHE_BASEDIR="$PWD"
# A small quarantine: with ASan's default of 256 MB its freed chunks alone fill the resident
# memory for minutes, and the growth check would measure them instead of the program. Use
# shortly after free is still caught. Put first, so that options the caller has set (the test
# script sets its own) add to it, and one the caller names again wins.
export ASAN_OPTIONS="quarantine_size_mb=2:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers
mkdir -p build-fuzz/corpus
failed=0
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "build-fuzz/corpus/$name"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  # A target's own libFuzzer flags, one line in fuzz/<target>.options.
  options=()
  [ -f "fuzz/$name.options" ] && read -r -a options <"fuzz/$name.options"
  log="build-fuzz/$name.log"
  echo "fuzzing $name for ${seconds}s"
  # New inputs go to the build tree's corpus; the committed seeds are only read.
  # CPU seconds beside the executions: the rate this machine gives one target, whatever else
  # shares it.
  TIMEFORMAT='%U %S'
  # The temporary folder of a target is in memory where there is some, and goes afterwards.
  scratch=$(mktemp -d /dev/shm/trx81500-fuzz.XXXXXX 2>/dev/null || mktemp -d)
  if ! { time TMPDIR="$scratch" "$target" -max_total_time="$seconds" -print_final_stats=1 "${options[@]}" \
    "build-fuzz/corpus/$name" "${seeds[@]}" 2>"$log"; } 2>"$log.cpu"; then
    tail -50 "$log"
    rm -rf "$scratch"
    failed=1
    continue
  fi
  rm -rf "$scratch"
  # Executions and rate from the final statistics; memory at the last report within the
  # first tenth of the executions, and the peak.
  cpu=$(awk '{ print $1 + $2 }' "$log.cpu")
  awk -v name="$name" -v limit="$growth_limit" -v cpu="$cpu" '
    /^stat::number_of_executed_units:/ { runs = $2 }
    /^stat::average_exec_per_sec:/ { rate = $2 }
    /^stat::peak_rss_mb:/ { peak = $2 }
    /^#[0-9]+/ && / rss: / {
      n = substr($1, 2) + 0
      for (i = 1; i <= NF; i++) if ($i == "rss:") { r = $(i + 1); sub(/Mb/, "", r) }
      seen[++lines] = n; rss[lines] = r + 0
    }
    END {
      early = rss[1]
      for (i = 1; i <= lines; i++) if (seen[i] <= runs / 10) early = rss[i]
      per_cpu = 0
      if (cpu > 0) per_cpu = runs / cpu
      printf "%s: %d executions, %d/s (%d per CPU second), rss %d MB at a tenth, %d MB peak\n",
        name, runs, rate, per_cpu, early, peak
      if (peak - early > limit) {
        printf "%s: memory grew by %d MB (more than %d MB)\n", name, peak - early, limit
        exit 1
      }
    }' "$log" || failed=1
done
exit "$failed"
