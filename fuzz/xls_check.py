"""Reads every N.xls of a folder with xlrd and compares column A with the texts of N.json."""
import json
import os
import sys

import xlrd

folder = sys.argv[1]
bad = 0
for name in sorted(os.listdir(folder)):
    if not name.endswith(".xls"):
        continue
    base = os.path.join(folder, name[:-4])
    with open(base + ".json", encoding="utf-8") as f:
        expected = json.load(f)
    try:
        sheet = xlrd.open_workbook(base + ".xls").sheet_by_index(0)
        got = [sheet.cell_value(r, 0) for r in range(sheet.nrows)]
    except Exception as e:  # noqa: BLE001 - any failure to read is a finding
        got = ["<unreadable: %s>" % e]
    if got != expected:
        bad += 1
        print("mismatch in %s.xls" % base, file=sys.stderr)
sys.exit(1 if bad else 0)
