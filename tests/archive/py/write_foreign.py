# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes tables of other programs with python-dbf: memos in ".dbt" and ".fpt",
code pages other than Windows 1250, Visual FoxPro nulls."""
import sys

import dbf

d = sys.argv[1]
t = dbf.Table(d + "/memo3.dbf", "NAME C(10); NOTE M", dbf_type="db3", codepage="cp1250")
t.open(dbf.READ_WRITE)
t.append(("a", "první poznámka"))
t.close()
t = dbf.Table(d + "/memofp.dbf", "NAME C(10); NOTE M", dbf_type="fp", codepage="cp852")
t.open(dbf.READ_WRITE)
t.append(("žluť", "řádek\nkůň"))
t.close()
t = dbf.Table(d + "/cyr.dbf", "NAME C(10); NOTE M", dbf_type="db3", codepage="cp1251")
t.open(dbf.READ_WRITE)
t.append(("Привет", "мир"))
t.close()
t = dbf.Table(d + "/nulls.dbf", "NAME C(6) NULL; N I NULL; NOTE M NULL", dbf_type="vfp", codepage="cp1252")
t.open(dbf.READ_WRITE)
t.append(("été", None, "memo"))
t.append((None, 5, None))
t.close()
