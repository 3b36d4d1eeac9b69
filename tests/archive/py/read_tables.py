# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a dBASE table with dbfread and with python-dbf and prints both as JSON.

Floats are given as float.hex() so that the caller can compare bits; time
stamps as "YYYY-MM-DD HH:MM:SS.mmm"; None stays null.
"""
import datetime
import json
import math
import sys

import dbf
import dbfread


def conv(v):
    if v is None:
        return None
    if isinstance(v, bool):
        return v
    if isinstance(v, float):
        return "nan" if math.isnan(v) else v.hex()
    if isinstance(v, datetime.datetime):
        return v.strftime("%Y-%m-%d %H:%M:%S.") + "%03d" % (v.microsecond // 1000)
    if isinstance(v, datetime.date):
        return v.isoformat()
    if isinstance(v, (int, str)):
        return v
    return str(v)


def main(path):
    out = {}
    t = dbfread.DBF(path, char_decode_errors="strict", ignore_missing_memofile=True)
    out["dbfread"] = {
        "fields": list(t.field_names),
        "records": [[conv(v) for v in r.values()] for r in t],
        "deleted": sum(1 for _ in t.deleted),
    }
    tb = dbf.Table(path)
    tb.open(dbf.READ_ONLY)
    recs = []
    for rec in tb:
        if dbf.is_deleted(rec):
            continue
        recs.append([conv(v.strip() if isinstance(v, str) else v) for v in rec])
    out["dbf"] = {"fields": [f.upper() for f in tb.field_names], "records": recs}
    tb.close()
    print(json.dumps(out))


if __name__ == "__main__":
    main(sys.argv[1])
