// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/DateTime.h"
#include "logger/ServiceViews.h"

using namespace kolvex;

namespace {
ArchivePointers Pointers(std::int32_t read, std::int32_t write, std::uint8_t status = 0) {
    ArchivePointers p;
    p.ArchiveRead = read;
    p.ArchiveWrite = write;
    p.ArchiveStatus = status;
    return p;
}
}  // namespace

TEST(ServiceViews, IdentityFormats) {
    EXPECT_EQ(FormatVersion(1, 7), "01 / 07");
    EXPECT_EQ(FormatVersion(10, 0), "10 / 00");
    EXPECT_EQ(FormatSerialNumber(84321), "00084321");
    EXPECT_EQ(FormatSerialNumber(123456789), "123456789");
    EXPECT_EQ(FormatBatteryVoltage(33), "3.3 V");
    EXPECT_EQ(FormatBatteryVoltage(5), "0.5 V");
    EXPECT_EQ(FormatBatteryVoltage(255), "25.5 V");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatBatteryVoltage(33), "3.3 V");  // always a full stop
    SetDecimalSeparator('.');

    DiagnosticState d;
    d.Alarm2Flags = 0x22;
    const DiagnosticView v = ViewDiagnostics(d);
    EXPECT_TRUE(v.Alarm2HighNow);
    EXPECT_TRUE(v.Alarm2HighHistory);
    EXPECT_FALSE(v.Alarm2LowNow);
    EXPECT_FALSE(v.Alarm2LowHistory);
    EXPECT_FALSE(v.BatteryNow || v.BatteryHistory || v.Alarm1LowNow || v.Alarm1HighHistory);
    d = {0x10, 0x11, 0x00, 0, 0};
    const DiagnosticView w = ViewDiagnostics(d);
    EXPECT_FALSE(w.BatteryNow);
    EXPECT_TRUE(w.BatteryHistory);
    EXPECT_TRUE(w.Alarm1LowNow);
    EXPECT_TRUE(w.Alarm1LowHistory);
}

TEST(ServiceViews, ArchiveFillAndPointers) {
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x0100, 0x4100)), 50);
    EXPECT_EQ(FormatPointers(Pointers(0x0100, 0x4100)), "0100  /  4100");
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x7F00, 0x0100)), 1);
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x2000, 0x2000)), 0);
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x2000, 0x2000, 0x10)), 100);
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x0000, 0x7FFF, 0x10)), 100);
    // Farther apart than the 32768 bytes: above 100, shown unchanged.
    EXPECT_EQ(ArchiveFillPercent(Pointers(0, 0x10000)), 200);
    // The logger's own archive size: 128 KiB with 0x1EF00 bytes apart is
    // 96 %, not 378 %; the wrap adds the size; 0 counts as 32768.
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x0100, 0x1F000), 0x20000), 96);
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x1F000, 0x0100), 0x20000), 3);
    EXPECT_EQ(ArchiveFillPercent(Pointers(0x0100, 0x4100), 0), 50);
    EXPECT_EQ(FormatFillPercent(200), "200 %");
    EXPECT_EQ(FormatFillPercent(50), " 50 %");
    EXPECT_EQ(FormatFillPercent(0), "  0 %");
    EXPECT_EQ(FormatPointers(Pointers(0x12345, 0xABCDE)), "12345  /  ABCDE");
}

TEST(ServiceViews, ClockBytes) {
    const LoggerClock c = DateTimeToClock(*TryEncodeDateTime(2099, 12, 31, 23, 59, 59, 999));
    std::uint8_t b[8];
    c.Encode(b);
    const std::uint8_t expected[8] = {0x3B, 0x3B, 0x17, 0x04, 0x1F, 0x0C, 0x63, 0x00};
    EXPECT_TRUE(std::equal(b, b + 8, expected));
    EXPECT_EQ(DateTimeToClock(*TryEncodeDateTime(2024, 6, 2, 0, 0, 0)).DayOfWeek, 0);  // Sunday
    EXPECT_EQ(DateTimeToClock(*TryEncodeDateTime(2024, 6, 8, 0, 0, 0)).DayOfWeek, 6);  // Saturday
    SetLanguage(1);
    try {
        DateTimeToClock(*TryEncodeDateTime(1999, 12, 31, 23, 59, 59));
        FAIL() << "no error";
    } catch (const ESetCas& e) {
        EXPECT_STREQ(e.what(), "Fault year (2000 - 2099)");
    }
    EXPECT_THROW(DateTimeToClock(*TryEncodeDateTime(2100, 1, 1, 0, 0, 0)), ESetCas);

    LoggerClock bad;
    bad.Month = 13;
    EXPECT_EQ(ClockToDateTime(bad), *TryEncodeDateTime(2001, 1, 1, 0, 0, 0));
    LoggerClock ok{5, 4, 3, 9, 28, 2, 24, 0};
    EXPECT_EQ(ClockToDateTime(ok), *TryEncodeDateTime(2024, 2, 28, 3, 4, 5));
    ok.Day = 30;  // 30 February
    EXPECT_EQ(ClockToDateTime(ok), *TryEncodeDateTime(2001, 1, 1, 0, 0, 0));
}
