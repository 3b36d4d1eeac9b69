# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints the records of a dBASE table as JSON lines, read with dbfread."""
import json
import sys

from dbfread import DBF

# Visual FoxPro doubles are type B, which dbfread otherwise takes for a memo.
for rec in DBF(sys.argv[1], load=False, ignore_missing_memofile=True):
    out = {}
    for k, v in rec.items():
        out[k] = v.isoformat(sep=" ") if hasattr(v, "isoformat") else v
    print(json.dumps(out))
