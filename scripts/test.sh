#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer + UndefinedBehaviorSanitizer and runs
# every test, builds and tries the Debian package, then the fuzz targets for a minute each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export CCACHE_BASEDIR="$PWD"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

scripts/deps.sh >/dev/null
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev

# The project inside another one (add_subdirectory): built and updating the simulator.
scripts/subproject-test.sh

# The Debian package from an optimised build of the installed files only, installed into a
# temporary root and run from there.
scripts/package-test.sh

scripts/fuzz.sh "${TRX_FUZZ_SECONDS:-60}"
