#!/bin/sh
# Installs what is missing, builds Tolvane, prepares the demo folder and starts it there.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
build="${TOLVANE_BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tolvane demo_tools
exec "$top/scripts/run-demo.sh" "$build"
