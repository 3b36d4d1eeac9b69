// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the parameter-file reader: any bytes as the ".par" file of an open
// table are loaded, fitted to the table, decoded and written back.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "base/Errors.h"
#include "archive/Adm.h"
#include "archive/ParameterFile.h"

namespace {
struct Fixture {
    std::string dir;
    kolvex::TADM adm;
    Fixture() {
        dir = kolvex::fuzz::TargetFolder("par");
        kolvex::Table t;
        t.SetPath(dir + "/t.dbf");
        t.Create({{kolvex::FieldType::DateTime, "DATETIME"}, {kolvex::FieldType::Float, "VSTUP2"}});
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture f;
    {
        std::ofstream out(f.dir + "/t.par", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        f.adm.ParameterRecord = kolvex::ArchiveParameterRecord{};
        if (f.adm.OpenArchive(f.dir + "/t.dbf")) {
            const kolvex::ArchiveParameterRecord& r = f.adm.ParameterRecord;
            std::size_t n = r.SerialNumber().size() + r.Footer().size();
            for (int i = 0; i < 3; ++i) {
                const kolvex::FieldDescriptor d = r.Descriptor(i);
                n += d.Name.size() + d.Label.size() + d.Unit.size();
            }
            (void)r.LeftAxis();
            (void)r.RightAxis();
            (void)n;
            f.adm.CloseArchive();
        }
    } catch (const kolvex::EKolvex&) {
    }
    return 0;
}
