// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the Paradox table reader: any bytes as a ".db" file are opened and
// every record and field is read, then one record is changed and the table
// written back. A damaged header must be refused, never hang.
#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "base/Errors.h"
#include "archive/Table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = kolvex::fuzz::TargetFolder("paradox") + "/t.db";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    kolvex::Table t;
    t.SetPath(path);
    try {
        t.Open();
        const int n = t.FieldCount();
        double sink = 0;
        std::size_t text = 0;
        for (t.First(); !t.Eof(); t.Next())
            for (int i = 0; i < n; ++i) {
                sink += t.AsFloat(i) + t.AsDateTime(i) + (t.IsNull(i) ? 1 : 0);
                text += t.AsText(i).size();
                (void)t.FieldName(i);
            }
        for (t.Last(); !t.Bof(); t.Prior()) sink += t.AsFloat(0);
        const std::int64_t count = t.RecordCount();
        if (count > 0) {
            t.MoveTo(count / 2 + 1);
            (void)t.RecNo();
            t.Delete();
            t.Append();
            t.SetText(0, "2004-08-31 12:30:00");
            t.Post();
        }
        (void)sink;
        (void)text;
        t.Close();
    } catch (const kolvex::EKolvex&) {
    }
    return 0;
}
