// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the 188-byte parameter file of old-structure tables: any bytes as
// the file are read as the conversion reads them and turned into the
// parameter record of the converted table.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "base/Errors.h"
#include "archive/OldConversion.h"
#include "archive/ParameterFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = kolvex::fuzz::TargetFolder("legacy_par") + "/old.par";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        kolvex::LegacyParameterFile f = kolvex::ReadLegacyParameterFile(path);
        if (!f.ChecksumOk) kolvex::ApplyLegacyDefaultNames(f.Legacy.Image);
        // Encoding and decoding again keeps the image.
        const auto bytes = f.Legacy.Encode();
        const auto again = kolvex::LegacyParameterImage::Decode(bytes.data()).Encode();
        if (bytes != again) std::abort();
        f.Legacy.Image.Parameters.ArchiveFlags = 3;
        for (kolvex::Lang lang : {kolvex::Lang::Czech, kolvex::Lang::English}) {
            kolvex::ArchiveParameterRecord r = kolvex::BuildParameterRecord(f.Legacy.Image, lang);
            std::size_t n = r.SerialNumber().size() + r.Footer().size();
            for (int i = 0; i < 3; ++i) {
                const kolvex::FieldDescriptor d = r.Descriptor(i);
                n += d.Name.size() + d.Label.size() + d.Unit.size();
            }
            (void)n;
        }
    } catch (const kolvex::EKolvex&) {
    }
    return 0;
}
