// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The first page of the printed report: the title block of the listing, a
// chart of the period with the alarm limits, and the period summary; drawn
// with a QPainter in millimetres like the listing pages.

#include <QString>

#include "output/ReportLayout.h"
#include "archive/SummaryReport.h"
#include "output/TableOutput.h"

class QPainter;

namespace kolvex::ui {

struct SummaryPageData {
    kolvex::ReportInput Input;     // title block and footer
    kolvex::SummaryDocument Doc;
    kolvex::SummaryChart Chart;
    char DecimalSeparator = '.';
};

// The summary page of a report over the open table (one pass for the
// figures, one for the chart).
SummaryPageData MakeSummaryPage(kolvex::Table& table, const kolvex::ArchiveParameterRecord& record,
                                const kolvex::ReportInput& input, double deltaHOverR, char decimalSeparator);

// Draws the page; `pxPerMm` device pixels per millimetre, the painter's
// origin at the top left corner of the printable area.
void PaintSummaryPage(QPainter& p, double pxPerMm, const SummaryPageData& page, int pageNumber);

}  // namespace kolvex::ui
