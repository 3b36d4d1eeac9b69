// SPDX-License-Identifier: GPL-3.0-or-later
// The parameter file layout, the record for new tables, the legacy image,
// week numbering and the per-period file names.

#include <gtest/gtest.h>

#include <cstring>

#include "archive/ParameterFile.h"
#include "logger/Conversion.h"
#include "base/DateTime.h"

using namespace kolvex;

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *TryEncodeDateTime(y, mo, d, h, mi, s, 0); }

LoggerImage Image(std::uint8_t flags) {
    LoggerImage im;
    im.LoggerType = 4;
    im.SerialNumber = 1234;
    im.Parameters.ArchiveFlags = flags;
    im.Parameters.Input[0].SetName("Teplota venku");  // cut to 12 characters
    im.Parameters.Input[0].SetUnit("°C");
    im.Parameters.Input[1].SetName("Vlhkost");
    im.Parameters.Input[1].SetUnit("%RH");
    im.InputInfo.InputType[0] = 1;
    im.InputInfo.InputType[1] = 1;
    for (int i = 0; i < 2; ++i) {
        im.Parameters.Input[i].RecordOffset = -50.0f + 10 * i;
        im.Parameters.Input[i].RecordScale = 0.01f;
    }
    return im;
}

}  // namespace

TEST(ParameterFile, ChecksumCoversTheFirst520Bytes) {
    ArchiveParameterRecord r;
    EXPECT_EQ(ParameterChecksum(r), 0);
    r.Bytes[0] = 0x5C, r.Bytes[1] = 0x8F, r.Bytes[2] = 0x02, r.Bytes[3] = 0x40;
    EXPECT_EQ(ParameterChecksum(r), 0x12D);
    r.Bytes[0x208] = 0xFF;  // neither the check sum nor what follows counts
    r.Bytes[0x20F] = 0xFF;
    EXPECT_EQ(ParameterChecksum(r), 0x12D);
    r.Bytes.fill(0xFF);
    EXPECT_EQ(ParameterChecksum(r), 520 * 255);
}

TEST(ParameterFile, BuildForBothInputsAndForInputTwoOnly) {
    const LoggerImage both = Image(kFlagRecordInput1 | kFlagRecordInput2);
    ArchiveParameterRecord r = BuildParameterRecord(both, Lang::Czech);
    EXPECT_EQ(r.SerialNumber(), "00001234");
    EXPECT_EQ(r.FieldCount(), 3);
    EXPECT_EQ(r.PanelWidth(), 280);
    const FieldDescriptor d0 = r.Descriptor(0);
    EXPECT_EQ(d0.Type, kFieldTypeDateTime);
    EXPECT_EQ(d0.Name, "DATETIME");
    EXPECT_EQ(d0.Label, "Datum a čas");
    EXPECT_EQ(d0.Unit, "dd/mm/yyyy  hh:nn:ss");
    EXPECT_EQ(d0.Decimals, 0);
    const FieldDescriptor d1 = r.Descriptor(1);
    EXPECT_EQ(d1.Type, kFieldTypeFloat);
    EXPECT_EQ(d1.Name, "VSTUP1");
    EXPECT_EQ(d1.Label, "Teplota venk");
    EXPECT_EQ(d1.Unit, "°C");
    EXPECT_EQ(d1.Decimals, 1);
    EXPECT_EQ(r.Descriptor(2).Name, "VSTUP2");
    EXPECT_EQ(r.Descriptor(2).Unit, "%RH");
    const auto range1 = RecordRange(both, 0), range2 = RecordRange(both, 1);
    EXPECT_EQ(r.LeftAxis().Source, 1);
    EXPECT_EQ(r.LeftAxis().Colour, 0x0000FF);
    EXPECT_EQ(r.LeftAxis().Automatic, 0);
    EXPECT_EQ(r.LeftAxis().Marker, 1);
    EXPECT_EQ(r.LeftAxis().Minimum, range1.first);
    EXPECT_EQ(r.LeftAxis().Maximum, range1.second);
    EXPECT_EQ(r.RightAxis().Source, 2);
    EXPECT_EQ(r.RightAxis().Colour, 0x008000);
    EXPECT_EQ(r.RightAxis().Maximum, range2.second);
    EXPECT_EQ(BuildParameterRecord(both, Lang::English).Descriptor(0).Label, "Date time");

    // The bytes at their offsets.
    const auto& b = r.Bytes;
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 8),
              (std::vector<std::uint8_t>{0x5C, 0x8F, 0x02, 0x40, 0xDA, 0x02, 0, 0}));
    EXPECT_EQ(b[0x008], 8);
    EXPECT_EQ(std::memcmp(&b[0x009], "00001234", 8), 0);
    EXPECT_EQ(b[0x013], 1);
    EXPECT_EQ(b[0x014], 3);
    EXPECT_EQ(b[0x018], 11);
    EXPECT_EQ(b[0x019], 8);
    EXPECT_EQ(std::memcmp(&b[0x01A], "DATETIME", 8), 0);
    EXPECT_EQ(b[0x018 + 68], 6);
    EXPECT_EQ(b[0x018 + 68 + 64], 1);  // decimals
    EXPECT_EQ(b[0x0E8] | b[0x0E9] << 8, 280);
    EXPECT_EQ(b[0x178], 1);
    EXPECT_EQ(b[0x178 + 24], 0xFF);
    EXPECT_EQ(b[0x178 + 32], 1);
    EXPECT_EQ(b[0x1A0], 2);
    EXPECT_EQ(b[0x1A0 + 25], 0x80);

    const ArchiveParameterRecord two = BuildParameterRecord(Image(kFlagRecordInput2), Lang::English);
    EXPECT_EQ(two.FieldCount(), 2);
    EXPECT_EQ(two.PanelWidth(), 215);
    EXPECT_EQ(two.Descriptor(1).Name, "VSTUP2");
    EXPECT_EQ(two.Descriptor(1).Label, "Vlhkost");
    EXPECT_EQ(two.Descriptor(2).Name, "");
    EXPECT_EQ(two.LeftAxis().Source, 1);
    EXPECT_EQ(two.RightAxis().Source, 1);
    EXPECT_EQ(two.LeftAxis().Colour, 0x008000);
    EXPECT_EQ(two.RightAxis().Colour, 0x008000);
    EXPECT_EQ(two.LeftAxis().Maximum, RecordRange(Image(kFlagRecordInput2), 1).second);

    const ArchiveParameterRecord none = BuildParameterRecord(Image(0), Lang::Czech);
    EXPECT_EQ(none.FieldCount(), 1);
    EXPECT_EQ(none.PanelWidth(), 150);
    EXPECT_EQ(none.LeftAxis().Source, 0);
}

TEST(ParameterFile, NormalisingClearsWhatIsNotRead) {
    ArchiveParameterRecord r = BuildParameterRecord(Image(kFlagRecordInput1 | kFlagRecordInput2), Lang::Czech);
    ArchiveParameterRecord junk = r;
    junk.Bytes[0] = 0x11;                  // version
    junk.Bytes[0x13] = 7;                  // marker
    junk.Bytes[0x0F0] = 0xAA;              // reserved
    junk.Bytes[0x019 + 1 + 9] = 'X';       // behind the name's text
    junk.Bytes[0x1E4] = 200;               // footer length beyond its capacity
    junk.Bytes[0x20E] = 0x55;
    junk.SetFieldCount(2);                 // descriptor 2 is then unused
    junk.NormaliseForWriting();
    EXPECT_EQ(junk.Bytes[0], 0x5C);
    EXPECT_EQ(junk.Bytes[0x13], 1);
    EXPECT_EQ(junk.Bytes[0x0F0], 0);
    EXPECT_EQ(junk.Bytes[0x019 + 10], 0);
    EXPECT_EQ(junk.Bytes[0x1E4], 33);
    EXPECT_EQ(junk.Bytes[0x20E], 0);
    EXPECT_EQ(junk.Descriptor(2).Name, "");
    EXPECT_EQ(junk.Descriptor(1).Name, "VSTUP1");
    EXPECT_TRUE(junk.ChecksumOk());
    r.NormaliseForWriting();
    EXPECT_TRUE(r.ChecksumOk());
    EXPECT_EQ(r.StoredChecksum(), ParameterChecksum(r));
    // Counted strings keep at most their capacity.
    r.SetFooter(std::string(40, 'f'));
    EXPECT_EQ(r.Footer(), std::string(33, 'f'));
    r.SetSerialNumber("Příliš dlouhé");
    EXPECT_EQ(r.SerialNumber(), "Příliš dlo");
}

TEST(ParameterFile, LegacyImageLayout) {
    LoggerImage im = Image(kFlagRecordInput1);
    LegacyParameterImage l;
    l.Image = im;
    const auto b = l.Encode();
    EXPECT_EQ(b[0], 4);
    EXPECT_EQ(b[4] | b[5] << 8, 1234);
    std::uint32_t sum = 0;
    for (int i = 0; i < 184; ++i) sum += b[i];
    EXPECT_EQ(b[184] | b[185] << 8, static_cast<int>(sum & 0xFFFF));
    const LegacyParameterImage back = LegacyParameterImage::Decode(b.data());
    EXPECT_TRUE(back.ChecksumOk(b.data()));
    EXPECT_EQ(back.Image.SerialNumber, 1234);
    EXPECT_EQ(back.Image.Parameters.Input[0].Unit(), "°C");
    auto broken = b;
    broken[100] ^= 1;
    EXPECT_FALSE(LegacyParameterImage::Decode(broken.data()).ChecksumOk(broken.data()));
}

TEST(ParameterFile, WeekNumbersAndWeekStarts) {
    EXPECT_EQ(WeekOfYear(At(2004, 8, 31, 23, 59, 59)), 36);
    EXPECT_EQ(WeekOfYear(At(2006, 1, 1)), 1);  // a Sunday
    EXPECT_EQ(WeekOfYear(At(2006, 1, 2)), 2);
    EXPECT_EQ(WeekOfYear(At(2006, 12, 31)), 53);
    EXPECT_EQ(WeekOfYear(At(2012, 12, 31)), 54);
    EXPECT_EQ(WeekOfYear(At(2004, 1, 1)), 1);
    EXPECT_EQ(WeekStart(1, 2004), At(2003, 12, 29));
    EXPECT_EQ(WeekStart(36, 2004), At(2004, 8, 30));
    EXPECT_EQ(WeekStart(2, 2006), At(2006, 1, 2));
    for (double d = At(2011, 12, 20); d < At(2013, 1, 10); d += 1) {
        const DateTimeParts p = DecodeDateTime(d);
        const double start = WeekStart(WeekOfYear(d), p.Year);
        ASSERT_LE(start, d);
        ASSERT_GT(start + 7, d);
        ASSERT_EQ(DecodeDateTime(start).DayOfWeek, 1);  // Monday
    }
}

TEST(ParameterFile, PeriodFileNames) {
    const double t = At(2004, 8, 31, 12, 30, 0);
    EXPECT_EQ(PeriodFilePath("/data/soubor.dbf", SplitPeriod::Year, t), "/data/soubor-2004.dbf");
    EXPECT_EQ(PeriodFilePath("/data/soubor.dbf", SplitPeriod::Month, t), "/data/soubor-2004-08.dbf");
    EXPECT_EQ(PeriodFilePath("/data/soubor.dbf", SplitPeriod::Week, t), "/data/soubor-2004-w36.dbf");
    EXPECT_EQ(PeriodFilePath("/data/soubor.dbf", SplitPeriod::Day, t), "/data/soubor-2004-08-31.dbf");
    EXPECT_EQ(PeriodFilePath("/data/x.y/00000000.db", SplitPeriod::Week, At(2006, 1, 1)),
              "/data/x.y/00000000-2006-w01.db");
    EXPECT_EQ(PeriodSuffix(SplitPeriod::Week, At(2006, 1, 2)), "-2006-w02");
    EXPECT_EQ(PeriodSuffix(SplitPeriod::Week, At(2012, 12, 31)), "-2012-w54");
}
