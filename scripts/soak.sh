#!/bin/sh
# Long runs: the 10,000-scan soak through the main window on a 1,000,000-order database with a
# second process writing, and many rounds of the SIGKILL fault test.
#   scripts/soak.sh [SCANS] [KILL_ROUNDS]          (defaults 10000 and 50)
# The database is generated once with gen-orders into $TOLVANE_SOAK_DATA (default
# ../soak-data) and copied for each run, since the soak changes it.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVANE_BUILD:-$here/../build-rel}
data=${TOLVANE_SOAK_DATA:-$here/../soak-data}
scans=${1:-10000}
rounds=${2:-50}

cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j2 --target gen-orders soak_scan scan_driver shipping_tst_killfaults

mkdir -p "$data"
if [ ! -f "$data/orders-1m.db" ]; then
    "$build/tools/gen-orders" "$data/orders-1m.db.part" 1000000
    mv "$data/orders-1m.db.part" "$data/orders-1m.db"
fi
cp "$data/orders-1m.db" "$data/soak.db"
rm -f "$data/soak.db-wal" "$data/soak.db-shm"
QT_QPA_PLATFORM=offscreen "$build/bench/soak_scan" "$data/soak.db" "$scans"
rm -f "$data/soak.db" "$data/soak.db-wal" "$data/soak.db-shm"

TOLVANE_KILL_ROUNDS=$rounds "$build/tests/shipping/shipping_tst_killfaults" -silent -v1 |
    grep -E 'QINFO|FAIL|Totals'
