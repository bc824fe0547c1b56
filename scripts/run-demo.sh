#!/bin/sh
# Prepares the demo folder BUILD/demo (a copy of tolvane, a fresh db.mdb with postage rules,
# a demo order database, the sound cues, a simulated scale on dosdevices/com1) and starts
# Tolvane there. The folder is made anew at every run.
#   run-demo.sh BUILD [--prepare-only]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/dosdevices"
cp "$build/bin/tolvane" "$demo/tolvane"
"$build/tools/mkconfigdb" "$top/data/config.sql" "$demo/db.mdb"
"$build/tools/gen-orders" --rules "$demo/db.mdb" --scan-days 7 --scans-per-day 100 \
  "$demo/orders.db" 2000 >/dev/null
"$build/tools/mkcues" "$demo"
if [ "${2:-}" = "--prepare-only" ]; then
  exit 0
fi
sim_pid=""
if [ -x "$top/scripts/sim-scale" ]; then
  "$top/scripts/sim-scale" "$demo/dosdevices/com1" &
  sim_pid=$!
  # Give socat a moment to create the port before the reader opens it.
  i=0
  while [ ! -e "$demo/dosdevices/com1" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
fi
cd "$demo"
status=0
./tolvane || status=$?
[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
exit $status
