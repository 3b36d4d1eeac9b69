// SPDX-License-Identifier: GPL-3.0-or-later
// Texts and pagination of the printed listing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "logger/Conversion.h"
#include "base/DateTime.h"
#include "output/ReportLayout.h"

using namespace kolvex;

TEST(ReportTexts, StepCellAndTitle) {
    EXPECT_EQ(ReportStepText(5, Lang::Czech), " 5 sec");
    EXPECT_EQ(ReportStepText(30, Lang::English), "30 sec");
    EXPECT_EQ(ReportStepText(60, Lang::Czech), " 1 min");
    EXPECT_EQ(ReportStepText(1800, Lang::Czech), "30 min");
    EXPECT_EQ(ReportStepText(86400, Lang::Czech), "24 hod");
    EXPECT_EQ(ReportStepText(86400, Lang::English), "24 hour");
    EXPECT_EQ(ReportStepText(3600, Lang::English), " 1 hour");

    EXPECT_EQ(FormatValueCell(23.46, 1, "°C", '.'), "   23.5 °C");
    EXPECT_EQ(FormatValueCell(23.46, 1, "°C", ','), "   23,5 °C");
    EXPECT_EQ(FormatValueCell(-5, 0, "%", '.'), "     -5 %");

    ReportInput in;
    in.Language = Lang::Czech;
    in.Serial = "00084321";
    in.FileName = "a.dbf";
    in.PrintedAt = *TryEncodeDateTime(2004, 8, 31, 12, 30, 5, 0);
    auto items = ReportTitleItems(in);
    EXPECT_EQ(items[0].Text, "Archivace QUENDAL 730");
    EXPECT_EQ(items[6].Text, "celá databáze");
    EXPECT_EQ(items[8].Text, "");
    EXPECT_EQ(items[12].Text, "31/08/2004  12:30:05");
    in.Language = Lang::English;
    in.Start = in.PrintedAt;
    in.End = in.PrintedAt + 1;
    items = ReportTitleItems(in);
    EXPECT_EQ(items[0].Text, "Archive QUENDAL 730");
    EXPECT_EQ(items[6].Text, "31/08/2004  12:30:05");
    EXPECT_EQ(items[8].Text, "01/09/2004  12:30:05");

    in.FieldLabels = {"Datum", "Teplota"};
    EXPECT_EQ(ReportHeaderItems(in).size(), 2u);  // two fields: no third column
    in.FieldLabels = {"a", "b", "c", "d"};
    EXPECT_EQ(ReportHeaderItems(in).size(), 3u);
    in.Footer = std::string(32, 'x');
    EXPECT_EQ(ReportFooterItems(in, 7)[0].Text.size(), 32u);
    EXPECT_EQ(ReportFooterItems(in, 7)[2].Text, "7");
}

TEST(ReportPages, NewspaperOrderInTwoColumns) {
    const std::size_t first = LinesPerColumn(true), other = LinesPerColumn(false);
    EXPECT_EQ(first, 46u);   // (277 - 14 - 9 - 33.1) / 4.8 = 46.02
    EXPECT_EQ(other, 52u);   // (277 - 14 - 9) / 4.8 = 52.9

    auto pages = PaginateReport(0);
    ASSERT_EQ(pages.size(), 1u);  // a report with no line still has its page
    EXPECT_TRUE(pages[0].HasTitle);
    EXPECT_EQ(pages[0].Columns[0].Count, 0u);

    pages = PaginateReport(first + 3);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].Columns[0].Count, first);
    EXPECT_EQ(pages[0].Columns[1].First, first);
    EXPECT_EQ(pages[0].Columns[1].Count, 3u);

    pages = PaginateReport(2 * first + 2 * other + 1);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_FALSE(pages[1].HasTitle);
    EXPECT_EQ(pages[1].Columns[0].First, 2 * first);
    EXPECT_EQ(pages[2].Columns[0].Count, 1u);
    EXPECT_EQ(pages[2].Columns[1].Count, 0u);
}

TEST(ReportTexts, CellsAsThePrintfFormatsWrite) {
    // Ties of the binary value, negative zero, wide and huge values, every
    // count of decimals: the digits of " %6.*f " and of the day-first stamp.
    const double values[] = {0.125, 2.5, -2.5, 0.05, 1.005, -0.0, 123456.789, -99999.95, 1e14 + 0.5, 3e20, -1e300,
                             INFINITY, NAN, 21.456, 7};
    for (double v : values) {
        for (int d : {-1, 0, 1, 2, 3, 7, 15, 16}) {
            char b[64];
            std::snprintf(b, sizeof b, " %6.*f ", d < 0 ? 0 : (d > 15 ? 15 : d), v);
            EXPECT_EQ(FormatValueCell(v, d, "mA", '.'), std::string(b) + "mA") << v << " " << d;
        }
    }
    for (double t : {38230.5 + 59.0 / 86400, 0.0, -1.75, 2958465.999, 2958466.5, -693594.5, -700000.0}) {
        const DateTimeParts p = DecodeDateTime(t);
        char b[64];
        std::snprintf(b, sizeof b, "%02d.%02d.%04d  %02d-%02d-%02d", p.Day, p.Month, p.Year, p.Hour, p.Minute, p.Second);
        EXPECT_EQ(FormatDayFirst(t, "  ", '.', '-'), b) << t;
    }
}
