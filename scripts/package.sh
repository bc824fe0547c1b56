#!/bin/sh
# Builds the Debian package of Tolvane; prints its path as the last line.
#   scripts/package.sh [BUILD_DIR]      (default: build/, or $TOLVANE_BUILD_DIR)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-${TOLVANE_BUILD_DIR:-$top/build}}"
{
  "$top/scripts/install-deps.sh"
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" -j"$(nproc)" --target tolvane gen-orders package_files
  rm -f "$build"/package/tolvane_*.deb
  (cd "$build" && cpack -G DEB)
} >&2
ls "$build"/package/tolvane_*.deb
