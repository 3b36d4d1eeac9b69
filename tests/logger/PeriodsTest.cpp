// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>

#include "logger/Periods.h"
#include "logger/Records.h"

using namespace kolvex;

TEST(Periods, TableRows) {
    ASSERT_EQ(kPeriodTable.size(), 27u);
    EXPECT_STREQ(kPeriodTable[0].Czech, "1 sec");
    EXPECT_STREQ(kPeriodTable[0].English, "1 sec ");
    EXPECT_STREQ(kPeriodTable[5].English, "10 sec");
    EXPECT_STREQ(kPeriodTable[9].English, "1 min ");
    EXPECT_STREQ(kPeriodTable[18].Czech, "1 hod");
    EXPECT_STREQ(kPeriodTable[18].English, "1 hour");
    EXPECT_STREQ(kPeriodTable[23].English, " 8 hou");
    EXPECT_STREQ(kPeriodTable[24].English, "12 hou");
    EXPECT_STREQ(kPeriodTable[25].English, "24 hou");
    EXPECT_STREQ(kPeriodTable[26].Czech, "vyp   ");
    EXPECT_STREQ(kPeriodTable[26].English, "off   ");
    for (const auto& row : kPeriodTable) {
        EXPECT_LE(std::strlen(row.Czech), 6u);
        EXPECT_LE(std::strlen(row.English), 6u);
    }
    EXPECT_EQ(kPeriodTable[kPeriodOff].Unit, 0);
    EXPECT_EQ(kPeriodTable[kPeriodFirstSelectable].Value, 10);
}

TEST(Periods, FindPosition) {
    EXPECT_EQ(FindPeriodPosition(0x01, 2), 0);
    EXPECT_EQ(FindPeriodPosition(0x10, 2), 5);
    EXPECT_EQ(FindPeriodPosition(0x30, 2), 8);
    EXPECT_EQ(FindPeriodPosition(0x01, 3), 9);
    EXPECT_EQ(FindPeriodPosition(0x15, 3), 15);
    EXPECT_EQ(FindPeriodPosition(0x06, 4), 22);
    EXPECT_EQ(FindPeriodPosition(0x24, 4), 25);
    EXPECT_EQ(FindPeriodPosition(0x00, 0), 26);
    // Every row is found at its own position.
    for (int i = 0; i < kPeriodCount; ++i) {
        const auto& row = kPeriodTable[static_cast<std::size_t>(i)];
        EXPECT_EQ(FindPeriodPosition(ByteToBcd(row.Value), row.Unit), i);
    }
    EXPECT_EQ(FindPeriodPosition(0x07, 2), -1);  // 7 seconds is not offered
    EXPECT_EQ(FindPeriodPosition(0x0A, 2), -1);  // not BCD: must not pass for 10
    EXPECT_EQ(FindPeriodPosition(0x10, 5), -1);
}

TEST(Periods, DisplayText) {
    EXPECT_EQ(PeriodDisplayText(0x10, 2, Lang::Czech), "10 sec");
    EXPECT_EQ(PeriodDisplayText(0x10, 2, Lang::English), "10 sec");
    EXPECT_EQ(PeriodDisplayText(0x05, 3, Lang::Czech), "5 min");
    EXPECT_EQ(PeriodDisplayText(0x24, 4, Lang::Czech), "24 hod");
    EXPECT_EQ(PeriodDisplayText(0x24, 4, Lang::English), "24 hour");
    EXPECT_EQ(PeriodDisplayText(0x10, 0x0A, Lang::Czech), "10 sec");  // unit AND 7 = 2
    // Unit 5 or 0 means archiving off.
    EXPECT_EQ(PeriodDisplayText(0x10, 5, Lang::Czech), "vyp");
    EXPECT_EQ(PeriodDisplayText(0x00, 0, Lang::English), "off");
    EXPECT_EQ(PeriodDisplayText(0x00, 0, Lang::Czech), "vyp");
}
