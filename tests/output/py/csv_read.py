# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads an exported CSV with Python's csv module and prints it as JSON."""
import json
import sys
import csv

path, delimiter = sys.argv[1], sys.argv[2]
with open(path, "rb") as f:
    bom = f.read(3) == b"\xef\xbb\xbf"
with open(path, newline="", encoding="utf-8-sig") as f:
    rows = list(csv.reader(f, delimiter=delimiter))
print(json.dumps({"bom": bom, "rows": rows}))
