// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printed listing without any toolkit: the texts of the title block,
// the step text, the cell texts, the geometry in millimetres and the
// division of the listed lines into pages of two newspaper-order columns.
// The desktop program draws exactly this with its painter.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Language.h"

namespace kolvex {

namespace report {
// A4 portrait, millimetres.
inline constexpr double kPageWidth = 210.0, kPageHeight = 297.0;
inline constexpr double kMarginTop = 10.0, kMarginBottom = 10.0, kMarginLeft = 25.4, kMarginRight = 10.0;
inline constexpr double kPrintableWidth = 174.6;
inline constexpr double kColumnGap = 10.0;
inline constexpr double kColumnWidth = (kPrintableWidth - kColumnGap) / 2;  // 82.3
inline constexpr double kTitleHeight = 33.1;
inline constexpr double kHeaderHeight = 9.0;
inline constexpr double kLineHeight = 4.8;
inline constexpr double kFooterHeight = 14.0;

struct TextItem {
    double Left, Top;   // within its band
    int PointSize;
    bool Bold;
    std::string Text;
};
}  // namespace report

// "%2d sec" below a minute, "%2d hod" / "%2d hour" from an hour, else "%2d min".
std::string ReportStepText(int seconds, Lang lang);
// Dates print as FormatDayFirst(value, "  ") (two blanks) and values as
// FormatValueCell of logger/Conversion.h.

struct ReportInput {
    Lang Language = Lang::English;
    std::string Serial;
    std::string FileName;   // without directory
    double Start = 0, End = 0;  // both 0: the whole table
    int StepSeconds = 1800;
    std::string Footer;     // at most 32 characters
    double PrintedAt = 0;   // the time of printing
    std::vector<std::string> FieldLabels;  // of the listed fields (at most 3 used)
};

// The title block's labels and values at their positions.
std::vector<report::TextItem> ReportTitleItems(const ReportInput& in);
// The column header labels (one per listed field, at most 3).
std::vector<report::TextItem> ReportHeaderItems(const ReportInput& in);
// The footer: text, "Strana:" and the page number.
std::vector<report::TextItem> ReportFooterItems(const ReportInput& in, int pageNumber);

// Boxes of the listing cells: left edge and right edge within a page column;
// the first cell is left-aligned, the others right-aligned in their box.
struct CellBox {
    double Left, Right;
    bool RightAligned;
};
inline constexpr CellBox kCellBoxes[3] = {{1.1, 33.9, false}, {33.9, 55.1, true}, {57.7, 78.9, true}};

// Lines of one page column: [First, First + Count) of the listed lines.
struct ReportColumn {
    std::size_t First = 0, Count = 0;
};
struct ReportPage {
    bool HasTitle = false;
    ReportColumn Columns[2];
};
// Lines per page column on the first page (below the title block) and on the others.
std::size_t LinesPerColumn(bool firstPage);
// Pages for `lines` listed lines (at least one page, also for no line).
std::vector<ReportPage> PaginateReport(std::size_t lines);

}  // namespace kolvex
