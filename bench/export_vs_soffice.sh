#!/bin/sh
# Compares our export with LibreOffice writing the same rows as an Excel 97-2003 workbook.
# Usage: bench/export_vs_soffice.sh [ROWS] [BUILD_DIR]   (defaults: 100000, ./build)
# Prints one figure a line: name value unit.
set -eu

ROWS=${1:-100000}
BUILD=${2:-build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BUILD/bench/export_bench" "$ROWS" "$WORK/ours.xls" "$WORK/rows.csv" | tee "$WORK/ours.txt"

# Every one of the 19 columns read as text, as our cells are (CSV import filter: comma, double
# quote, UTF-8, from line 1, column formats col/2 = text).
FORMATS=$(seq 1 19 | sed 's|$|/2|' | paste -sd/ -)
FILTER="CSV:44,34,76,1,$FORMATS"
PROFILE="-env:UserInstallation=file://$WORK/profile"

# A first run creates LibreOffice's profile; only the second one is timed.
head -n 2 "$WORK/rows.csv" >"$WORK/warm.csv"
soffice "$PROFILE" --headless --infilter="$FILTER" --convert-to xls --outdir "$WORK/warm" \
  "$WORK/warm.csv" >/dev/null 2>&1

START=$(date +%s%N)
soffice "$PROFILE" --headless --infilter="$FILTER" --convert-to xls --outdir "$WORK/office" \
  "$WORK/rows.csv" >/dev/null 2>&1
END=$(date +%s%N)

OFFICE_MS=$(( (END - START) / 1000000 ))
OURS_MS=$(awk '$1 == "export_time" { print $2 }' "$WORK/ours.txt")
echo "soffice_time $OFFICE_MS ms"
echo "soffice_file_size $(stat -c %s "$WORK/office/rows.xls") bytes"
awk -v o="$OFFICE_MS" -v u="$OURS_MS" 'BEGIN { printf "speedup %.1f times\n", o / u }'
