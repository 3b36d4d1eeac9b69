// Texts and pagination of the printed listing.

#include <gtest/gtest.h>

#include "logger/Conversion.h"
#include "logger/DateTime.h"
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
