// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "base/DateTime.h"

using namespace kolvex;

TEST(DateTime, Validation) {
    EXPECT_TRUE(IsValidDate(2004, 2, 29));
    EXPECT_FALSE(IsValidDate(2003, 2, 29));
    EXPECT_TRUE(IsValidDate(2000, 2, 29));
    EXPECT_FALSE(IsValidDate(1900, 2, 29));
    EXPECT_FALSE(IsValidDate(2004, 4, 31));
    EXPECT_FALSE(IsValidDate(2004, 13, 1));
    EXPECT_FALSE(IsValidDate(2004, 0, 1));
    EXPECT_FALSE(IsValidDate(0, 1, 1));
    EXPECT_FALSE(IsValidDate(10000, 1, 1));
    EXPECT_TRUE(IsValidTime(23, 59, 59, 999));
    EXPECT_FALSE(IsValidTime(24, 0, 0, 0));
    EXPECT_FALSE(IsValidTime(0, 60, 0, 0));
    EXPECT_FALSE(IsValidTime(0, 0, 60, 0));
    EXPECT_FALSE(IsValidTime(0, 0, 0, 1000));
    EXPECT_FALSE(IsValidTime(-1, 0, 0, 0));
    EXPECT_FALSE(TryEncodeDateTime(2003, 2, 29, 0, 0, 0).has_value());
    EXPECT_FALSE(TryEncodeDateTime(2003, 2, 28, 25, 0, 0).has_value());
}

TEST(DateTime, EncodeKnownValues) {
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(1899, 12, 31, 0, 0, 0), 1.0);
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(1900, 1, 1, 0, 0, 0), 2.0);
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(2000, 1, 1, 0, 0, 0), 36526.0);
    EXPECT_NEAR(*TryEncodeDateTime(2004, 8, 31, 12, 30, 0), 38230.520833333, 1e-8);
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(2004, 8, 31, 12, 0, 0), 38230.5);
    EXPECT_NEAR(*TryEncodeDateTime(2004, 8, 31, 23, 59, 59, 999), 38231.0 - 1.0 / 86400000.0, 1e-10);
    // Before the epoch the fraction is still the time of day.
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(1899, 12, 29, 0, 0, 0), -1.0);
    EXPECT_DOUBLE_EQ(*TryEncodeDateTime(1, 1, 1, 0, 0, 0), -693593.0);
}

TEST(DateTime, DecodeKnownValues) {
    DateTimeParts p = DecodeDateTime(38230.520833333333);
    EXPECT_EQ(p.Year, 2004);
    EXPECT_EQ(p.Month, 8);
    EXPECT_EQ(p.Day, 31);
    EXPECT_EQ(p.Hour, 12);
    EXPECT_EQ(p.Minute, 30);
    EXPECT_EQ(p.Second, 0);
    EXPECT_EQ(p.Millisecond, 0);
    EXPECT_EQ(p.DayOfWeek, 2);  // Tuesday

    p = DecodeDateTime(0.0);
    EXPECT_EQ(p.Year, 1899);
    EXPECT_EQ(p.Month, 12);
    EXPECT_EQ(p.Day, 30);
    EXPECT_EQ(p.DayOfWeek, 6);  // Saturday

    p = DecodeDateTime(-1.25);
    EXPECT_EQ(p.Year, 1899);
    EXPECT_EQ(p.Month, 12);
    EXPECT_EQ(p.Day, 29);
    EXPECT_EQ(p.Hour, 6);
    EXPECT_EQ(p.DayOfWeek, 5);  // Friday

    // Rounded to the nearest millisecond, carrying into the next day.
    p = DecodeDateTime(38231.0 - 0.4 / 86400000.0);
    EXPECT_EQ(p.Day, 1);
    EXPECT_EQ(p.Month, 9);
    EXPECT_EQ(p.Hour, 0);
    EXPECT_EQ(p.Millisecond, 0);
    p = DecodeDateTime(38231.0 - 1.0 / 86400000.0);
    EXPECT_EQ(p.Day, 31);
    EXPECT_EQ(p.Hour, 23);
    EXPECT_EQ(p.Minute, 59);
    EXPECT_EQ(p.Second, 59);
    EXPECT_EQ(p.Millisecond, 999);

    p = DecodeDateTime(*TryEncodeDateTime(2000, 2, 29, 1, 2, 3, 4));
    EXPECT_EQ(p.Year, 2000);
    EXPECT_EQ(p.Month, 2);
    EXPECT_EQ(p.Day, 29);
    EXPECT_EQ(p.Hour, 1);
    EXPECT_EQ(p.Minute, 2);
    EXPECT_EQ(p.Second, 3);
    EXPECT_EQ(p.Millisecond, 4);
}

TEST(DateTime, RoundTripOverYears) {
    for (int y = 1800; y <= 2100; y += 7) {
        for (int m = 1; m <= 12; m += 5) {
            const int d = m == 2 ? 28 : 30;
            const double v = *TryEncodeDateTime(y, m, d, 17, 45, 12, 345);
            const DateTimeParts p = DecodeDateTime(v);
            EXPECT_EQ(p.Year, y);
            EXPECT_EQ(p.Month, m);
            EXPECT_EQ(p.Day, d);
            EXPECT_EQ(p.Hour, 17);
            EXPECT_EQ(p.Minute, 45);
            EXPECT_EQ(p.Second, 12);
            EXPECT_EQ(p.Millisecond, 345);
        }
    }
}

TEST(DateTime, NowLocalMatchesLocalClock) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    const double expected = *TryEncodeDateTime(local.tm_year + 1900, local.tm_mon + 1,
                                               local.tm_mday, local.tm_hour, local.tm_min,
                                               local.tm_sec > 59 ? 59 : local.tm_sec);
    const double now = NowLocal();
    // Within a few seconds of the local wall clock.
    EXPECT_NEAR(now, expected, 5.0 / 86400.0);
}

TEST(DateTime, IsoWriterWritesWhatTheFormatterReturns) {
    // Runs within a day, day changes, before the epoch, milliseconds, far dates.
    const double values[] = {38230.5,       38230.5 + 10.5 / 86400, 38230.999999, 38231.0, 38230.25,
                             -1.25,         -700000.5,              0.0,          2958465.999988426,
                             1.0 / 86400e3, 38230.5 + 0.4 / 86400e3, NAN};
    IsoDateTimeWriter w;
    for (bool millis : {true, false}) {
        for (double v : values) {
            char buf[IsoDateTimeWriter::kMaxLength];
            const std::string got(buf, w.Write(buf, v, millis));
            EXPECT_EQ(got, FormatIsoDateTime(v, millis)) << v;
        }
    }
}
