#!/usr/bin/env bash
# Installs what is missing, builds the program and its scanner simulator, and starts it.
# Without a scanner, choose "Simulator" in the port menu of the first toolbar button.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export CCACHE_BASEDIR="$PWD"
cmake --preset release -DTRX_BUILD_GUI=ON >/dev/null
cmake --build --preset release --target trx81500 trx81500-sim
exec build/app/trx81500 "$@"
