#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An independent summary of an archive table, read with dbfread, for the
cross-checks of the period summary.

usage: summary_ref.py TABLE PERIOD_SECONDS DELTA_H_OVER_R [LOW1 HIGH1 [LOW2 HIGH2]]
A limit given as "-" is absent. Prints JSON: records, first, last, gaps,
records_missing, clock_jumps and per value field its figures."""
import datetime
import json
import math
import statistics
import sys

import dbfread

table, period, dhr = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
lims = [None if a == "-" else float(a) for a in sys.argv[4:]]
rows = list(dbfread.DBF(table, ignore_missing_memofile=True))
fields = [f for f in rows[0].keys() if f != "DATETIME"] if rows else []
epoch = datetime.datetime(1970, 1, 1)
times = [(r["DATETIME"] - epoch).total_seconds() for r in rows]
cap = 1.5 * period
out = {"records": len(rows), "gaps": 0, "records_missing": 0, "clock_jumps": 0, "inputs": []}
for a, b in zip(times, times[1:]):
    if b <= a:
        out["clock_jumps"] += 1
    elif b - a > cap:
        out["gaps"] += 1
        out["records_missing"] += round((b - a) / period) - 1
for k, f in enumerate(fields):
    low = lims[2 * k] if len(lims) > 2 * k else None
    high = lims[2 * k + 1] if len(lims) > 2 * k + 1 else None
    # An empty double field is stored as a NaN.
    pts = [(t, float(r[f])) for t, r in zip(times, rows) if r[f] is not None and not math.isnan(r[f])]
    vals = [v for _, v in pts]
    res = {"values": len(vals), "empty": len(rows) - len(vals)}
    if vals:
        res.update(min=min(vals), max=max(vals), mean=statistics.fmean(vals),
                   std_dev=statistics.stdev(vals) if len(vals) > 1 else 0.0,
                   mkt=dhr / -math.log(sum(math.exp(-dhr / (v + 273.15)) for v in vals) / len(vals)) - 273.15)
    above = below = 0.0
    runs = {"upper": [], "lower": []}
    side_prev = None
    for i, (t, v) in enumerate(pts):
        d = min(max(pts[i + 1][0] - t, 0.0), cap) if i + 1 < len(pts) else period
        side = "upper" if high is not None and v > high else "lower" if low is not None and v < low else None
        if side == "upper":
            above += d
        if side == "lower":
            below += d
        if side and side != side_prev:
            runs[side].append(0.0)
        if side:
            runs[side][-1] += d
        side_prev = side
    res.update(above_s=round(above, 3), below_s=round(below, 3),
               excursions_above=len(runs["upper"]), excursions_below=len(runs["lower"]),
               durations=sorted(round(x, 3) for x in runs["upper"] + runs["lower"]))
    out["inputs"].append(res)
print(json.dumps(out))
