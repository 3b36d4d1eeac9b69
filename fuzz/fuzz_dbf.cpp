// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the dBASE table reader: any bytes as a table file are opened and
// every record and field is read, forwards, backwards and at random.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "base/Errors.h"
#include "archive/Table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("fuzz.dbf", 0);
    if (fd < 0) return 0;
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    kolvex::Table t;
    t.SetPath("/proc/self/fd/" + std::to_string(fd));
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
