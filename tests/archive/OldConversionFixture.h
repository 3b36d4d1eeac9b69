// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Old-structure archive tables for the conversion tests: a time stamp, two
// values and the per-record mask, written as dBASE level 7 ('@', 'O', 'I')
// or dBASE III ('D', 'N', 'F', 'N'), and their 188-byte parameter file.

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "ArchiveTestUtil.h"
#include "archive/FileOps.h"
#include "archive/ParameterFile.h"
#include "archive/dbf/DbfCodec.h"
#include "base/DateTime.h"
#include "logger/Records.h"

namespace kolvex::test {

struct OldRecord {
    std::optional<double> Time;
    std::optional<double> V1, V2;
    int Mask = 7;
};

enum class OldLayout { Level7, Dbase3 };

inline std::vector<std::string> OldFieldNames(bool lowerCase = false, const char* timeName = "DATUMCAS") {
    std::vector<std::string> n = {timeName, "VSTUP1", "VSTUP2", "MASKAA"};
    if (lowerCase)
        for (auto& s : n)
            for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return n;
}

inline void WriteOldTable(const std::string& path, OldLayout layout, const std::vector<OldRecord>& records,
                          const std::vector<std::string>& names = OldFieldNames()) {
    std::vector<std::vector<std::uint8_t>> raw;
    if (layout == OldLayout::Level7) {
        const std::vector<RawField> fields = {
            {names[0], '@', 8}, {names[1], 'O', 8}, {names[2], 'O', 8}, {names[3], 'I', 4}};
        for (const OldRecord& r : records) {
            std::vector<std::uint8_t> b(1 + 8 + 8 + 8 + 4, 0);
            b[0] = ' ';
            if (r.Time) dbf::EncodeDb7Timestamp(*r.Time, b.data() + 1);
            if (r.V1) dbf::EncodeDb7Double(*r.V1, b.data() + 9);
            if (r.V2) dbf::EncodeDb7Double(*r.V2, b.data() + 17);
            dbf::EncodeDb7Long(r.Mask, b.data() + 25);
            raw.push_back(b);
        }
        WriteBytes(path, BuildLevel7(fields, raw));
    } else {
        const std::vector<RawField> fields = {
            {names[0], 'D', 8}, {names[1], 'N', 12, 3}, {names[2], 'F', 12, 3}, {names[3], 'N', 3}};
        for (const OldRecord& r : records) {
            std::vector<std::uint8_t> b(1 + 8 + 12 + 12 + 3, ' ');
            if (r.Time) dbf::EncodeDate(*r.Time, b.data() + 1);
            if (r.V1) dbf::EncodeNumeric(*r.V1, 12, 3, b.data() + 9);
            if (r.V2) dbf::EncodeNumeric(*r.V2, 12, 3, b.data() + 21);
            dbf::EncodeNumeric(r.Mask, 3, 0, b.data() + 33);
            raw.push_back(b);
        }
        WriteBytes(path, BuildDbase3(fields, raw));
    }
}

inline double OldTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, 0);
}

// A logger image with a Pt100 input 1 ("Teplota", "°C", -50..200) and a
// humidity input 2 ("Vlhkost", "%", 0..100), serial number 12345678.
inline LoggerImage OldLoggerImage() {
    LoggerImage im;
    im.LoggerType = 3;
    im.SerialNumber = 12345678;
    im.Parameters.ArchiveFlags = 0x03 | kFlagAlarm1 | kFlagNotCyclic;
    im.Parameters.Input[0].SetName("Teplota");
    im.Parameters.Input[0].SetUnit("°C");
    im.Parameters.Input[0].RecordScale = 257.02f;
    im.Parameters.Input[0].RecordOffset = 50.0f;
    im.Parameters.Input[1].SetName("Vlhkost");
    im.Parameters.Input[1].SetUnit("%");
    im.Parameters.Input[1].RecordScale = 642.55f;
    im.Parameters.Input[1].RecordOffset = 0.0f;
    im.InputInfo.InputType[0] = 0x15;
    im.InputInfo.InputType[1] = 0x3F;
    return im;
}

// The legacy parameter file of the table at tablePath (".par" beside it).
inline void WriteLegacyPar(const std::string& tablePath, const LoggerImage& image, bool wrongChecksum = false) {
    LegacyParameterImage l;
    l.Image = image;
    auto b = l.Encode();
    if (wrongChecksum) b[184] ^= 0x01;
    WriteBytes(ReplaceExtension(tablePath, ".par"), std::vector<std::uint8_t>(b.begin(), b.end()));
}

}  // namespace kolvex::test
