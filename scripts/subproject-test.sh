#!/usr/bin/env bash
# Builds the project as another project's subproject (add_subdirectory) and updates the
# simulator with the demo firmware through trx81500-cli: the flash library must be found
# beside the tool in our own binary folder, not in the outer project's. Only the targets the
# update needs, unoptimised (it only has to run once), without sanitizers, on two jobs
# through ccache.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
export CCACHE_BASEDIR="$PWD"

fail() { echo "subproject test: $*" >&2; exit 1; }

work=build-subproject
mkdir -p "$work/outer"
cat >"$work/outer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(outer LANGUAGES CXX)
set(TRX_BUILD_GUI ON)
add_subdirectory("$source_dir" trx81500)
CMAKE
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$work/outer" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE= \
  "${launcher[@]}" >"$work/configure.log" 2>&1 ||
  { tail -20 "$work/configure.log"; fail "the outer project did not configure"; }
nice cmake --build "$work/build" -j2 --target trx81500-cli trxflash trx81500-sim demo_firmware \
  >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; fail "the subproject did not build"; }

inner="$work/build/trx81500"
[ -e "$inner/app/libtrxflash.so" ] || fail "the flash library is not beside the tool in $inner/app"
[ ! -e "$work/build/app/libtrxflash.so" ] || fail "the flash library landed in the outer project"
"$inner/app/trx81500-cli" --sim flash "$inner/sim/demo-firmware.h86" \
  >"$work/flash.out" 2>"$work/flash.err" ||
  { tail -5 "$work/flash.out"; cat "$work/flash.err"; fail "trx81500-cli --sim flash failed"; }
grep -q '^Programming finished' "$work/flash.out" || fail "the update did not finish"
echo "subproject: trx81500-cli --sim flash: $(tail -1 "$work/flash.out")"
