# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes reference tables with python-dbf: a Visual FoxPro and a dBASE III table."""
import datetime
import sys

import dbf

d = sys.argv[1]
t = dbf.Table(d + "/vfp.dbf", "DATETIME T; VSTUP1 B; CNT I; MONEY Y; NUM N(12,4); NAME C(10) NULL; OK L",
              dbf_type="vfp", codepage="cp1250")
t.open(dbf.READ_WRITE)
t.append((datetime.datetime(2004, 8, 31, 12, 30, 0), 0.1 + 0.2, -7, 12.3456, -12.5, "žluťoučký", True))
t.append((datetime.datetime(2004, 8, 31, 12, 30, 10, 250000), -1e-300, 2147483646, -0.0001, 0.0, None, False))
t.append((datetime.datetime(1999, 12, 31, 23, 59, 59), 1.5, 0, 0, 1, "x", None))
t.close()
t = dbf.Table(d + "/db3.dbf", "DATUM D; VALUE N(12,4); NAME C(10); FLAG L", dbf_type="db3", codepage="cp1250")
t.open(dbf.READ_WRITE)
t.append((datetime.date(2004, 8, 31), -12.5, "abc", True))
t.append()
t.append((datetime.date(2000, 2, 29), 1234567.1234, "Příliš", False))
with t[1] as r:
    dbf.delete(r)
t.close()
