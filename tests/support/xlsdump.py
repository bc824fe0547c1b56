#!/usr/bin/python3
"""Reads files back for the report tests and prints what it read as JSON on stdout.

  xlsdump.py xls FILE           sheets, cell texts, cell types, quote-prefix flags, widths, typed
                                values (numbers as numbers) and the formats of number cells, and
                                the count of shared strings, all and distinct (xlrd)
  xlsdump.py csv FILE...        one sheet per CSV file (as LibreOffice writes them)
  xlsdump.py stream FILE NAME   size and MD5 of one stream of a compound file (xlrd's reader)

Any warning of xlrd is a failure: the log goes to stderr and the exit status is 2.
"""
import csv
import hashlib
import io
import json
import sys

import xlrd
from xlrd import compdoc


def fail_on_warnings(log):
    text = log.getvalue()
    if "WARNING" in text:
        sys.stderr.write(text)
        sys.exit(2)


def dump_xls(path):
    log = io.StringIO()
    # on_demand keeps the shared strings, which a full load releases.
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log, on_demand=True)
    strings = list(book._sharedstrings)
    sheets = []
    text = xlrd.XL_CELL_TEXT
    number = xlrd.XL_CELL_NUMBER
    quoted = [bool(xf.lotus_123_prefix) for xf in book.xf_list]
    for sheet in book.sheets():
        rows, types, values_rows, formats = [], set(), [], set()
        prefix = {"header": set(), "data": set()}
        # Whole rows at a time: a Cell object per cell would cost most of the run on big sheets.
        for r in range(sheet.nrows):
            row_types = sheet.row_types(r, 0, sheet.ncols)
            row_values = sheet.row_values(r, 0, sheet.ncols)
            types.update(row_types)
            values = [v if t == text else None for t, v in zip(row_types, row_values)]
            # A text cell's record carries its format; cell_xf_index() looks further otherwise.
            xfs = sheet._cell_xf_indexes[r]
            prefix["header" if r == 0 else "data"].update(
                quoted[x if x > -1 else sheet.cell_xf_index(r, c)]
                for c, (t, x) in enumerate(zip(row_types, xfs)) if t == text)
            # Typed values: numbers as numbers, texts as texts, anything else as None.
            values_rows.append([v if t in (text, number) else None
                                for t, v in zip(row_types, row_values)])
            for c, (t, x) in enumerate(zip(row_types, xfs)):
                if t == number:
                    xf = book.xf_list[x if x > -1 else sheet.cell_xf_index(r, c)]
                    formats.add(book.format_map[xf.format_key].format_str)
            while values and values[-1] is None:
                values.pop()
            rows.append(values)
        sheets.append({
            "name": sheet.name,
            "rows": rows,
            "values": values_rows,
            "number_formats": sorted(formats),
            "types": sorted(types),
            "prefix": {k: sorted(v) for k, v in prefix.items()},
            "widths": {str(c): info.width for c, info in sheet.colinfo_map.items()},
            "shown": bool(sheet.sheet_visible),
        })
    book.release_resources()
    fail_on_warnings(log)
    return {"sheets": sheets, "strings": len(strings), "distinct_strings": len(set(strings))}


def dump_csv(paths):
    sheets = []
    for path in paths:
        with open(path, newline="", encoding="utf-8") as f:
            rows = [row for row in csv.reader(f)]
        sheets.append({"rows": rows})
    return {"sheets": sheets}


def dump_stream(path, name):
    log = io.StringIO()
    with open(path, "rb") as f:
        data = f.read()
    doc = compdoc.CompDoc(data, logfile=log)
    stream = doc.get_named_stream(name)
    fail_on_warnings(log)
    return {"size": len(stream), "md5": hashlib.md5(stream).hexdigest()}


def main():
    mode = sys.argv[1]
    if mode == "xls":
        out = dump_xls(sys.argv[2])
    elif mode == "csv":
        out = dump_csv(sys.argv[2:])
    else:
        out = dump_stream(sys.argv[2], sys.argv[3])
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
