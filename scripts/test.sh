#!/bin/sh
# Installs what is missing, builds everything and runs every test.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
build="${TOLVANE_BUILD_DIR:-$top/build}"
# TOLVANE_WERROR=ON (as CI sets it) makes every compiler warning an error.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANE_WERROR="${TOLVANE_WERROR:-OFF}"
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
