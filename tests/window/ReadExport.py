#!/usr/bin/env python3
"""Reads a data export as a spreadsheet would: Python's csv module with ";"
as the separator. Checks the header, four columns on every line, a date and
time in each first column and numbers in the others (with the decimal
separator given), and prints the number of data lines."""
import csv
import datetime
import sys

path, decimal = sys.argv[1], sys.argv[2]
with open(path, newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f, delimiter=";"))
expected = ["Time as yyyy-mm-dd hh:mm:ss", " Temperature \u00baC", " Target setpoint \u00baC", " Working setpoint \u00baC"]
if rows[0] != expected:
    sys.exit(f"header {rows[0]!r}")
for n, row in enumerate(rows[1:], start=2):
    if len(row) != 4:
        sys.exit(f"line {n}: {len(row)} columns: {row!r}")
    datetime.datetime.strptime(row[0], "%Y-%m-%d %H:%M:%S")
    for value in row[1:]:
        float(value.replace(decimal, "."))
print(f"{len(rows) - 1} lines of 4 columns")
