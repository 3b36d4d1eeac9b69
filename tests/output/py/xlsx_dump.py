# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints what an exported workbook holds, as JSON, read with openpyxl."""
import datetime
import json
import sys

import openpyxl

wb = openpyxl.load_workbook(sys.argv[1])
out = {"sheets": []}
for ws in wb.worksheets:
    cells = {}
    for row in ws.iter_rows(min_row=1, max_row=min(ws.max_row, 12)):
        for c in row:
            if c.value is None:
                continue
            v = c.value
            if isinstance(v, datetime.timedelta):
                v = v.total_seconds()
            elif hasattr(v, "isoformat"):
                v = v.isoformat(sep=" ")
            color = c.font.color.rgb if c.font.color is not None and c.font.color.type == "rgb" else None
            cells[c.coordinate] = {"value": v, "size": c.font.sz, "bold": bool(c.font.b),
                                   "color": color, "format": c.number_format}
    widths = {k: v.width for k, v in ws.column_dimensions.items()}
    # An absent fitToWidth means 1 (the file format's default).
    fit_width = 1 if ws.page_setup.fitToWidth is None else ws.page_setup.fitToWidth
    setup = {"fit_width": fit_width, "fit_height": ws.page_setup.fitToHeight,
             "fit": bool(ws.sheet_properties.pageSetUpPr and ws.sheet_properties.pageSetUpPr.fitToPage),
             "orientation": ws.page_setup.orientation, "title_rows": ws.print_title_rows}
    out["sheets"].append({"name": ws.title, "max_row": ws.max_row, "cells": cells, "widths": widths,
                          "setup": setup})
print(json.dumps(out))
