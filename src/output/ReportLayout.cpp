// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ReportLayout.h"

#include <cmath>
#include <cstdio>

#include "base/DateTime.h"

namespace kolvex {

using namespace report;

namespace {
std::string ReportDate(double v) { return FormatDayFirst(v, "  "); }
}  // namespace

std::string ReportStepText(int step, Lang lang) {
    char b[32];
    if (step <= 0) return Tr(lang, "každý záznam", "every record");
    if (step < 60) std::snprintf(b, sizeof b, "%2d sec", step);
    else if (step >= 3600) std::snprintf(b, sizeof b, lang == Lang::English ? "%2d hour" : "%2d hod", step / 3600);
    else std::snprintf(b, sizeof b, "%2d min", step / 60);
    return b;
}

std::vector<TextItem> ReportTitleItems(const ReportInput& in) {
    const Lang l = in.Language;
    const bool all = in.Start == 0 && in.End == 0;
    return {
        {1.1, 4.2, 20, true, Tr(l, "Archivace QUENDAL 730", "Archive QUENDAL 730")},
        {5.3, 12.7, 10, false, Tr(l, "Výrobní číslo", "Serial Number:")},
        {33.9, 12.7, 9, true, in.Serial},
        {5.3, 16.9, 10, false, Tr(l, "Soubor:", "File:")},
        {33.9, 16.9, 9, true, in.FileName},
        {122.8, 6.3, 9, false, Tr(l, "Od:", "From:")},
        {139.7, 6.3, 9, true, all ? Tr(l, "celá databáze", "all database") : ReportDate(in.Start)},
        {122.8, 10.6, 9, false, Tr(l, "Do:", "To:")},
        {139.7, 10.6, 9, true, all ? std::string() : ReportDate(in.End)},
        {122.8, 15.3, 9, false, Tr(l, "Perioda:", "Period:")},
        {139.7, 15.3, 9, true, ReportStepText(in.StepSeconds, l)},
        {122.8, 21.2, 9, false, Tr(l, "Datum", "Date")},
        {139.7, 21.2, 9, true, ReportDate(in.PrintedAt)},
    };
}

std::vector<TextItem> ReportHeaderItems(const ReportInput& in) {
    static constexpr double kLeft[3] = {1.1, 44.5, 68.3};
    std::vector<TextItem> items;
    for (std::size_t i = 0; i < in.FieldLabels.size() && i < 3; ++i)
        items.push_back({kLeft[i], 3.7, 10, true, in.FieldLabels[i]});
    return items;
}

std::vector<TextItem> ReportFooterItems(const ReportInput& in, int page) {
    return {{1.1, 6.3, 10, false, in.Footer}, {148.2, 6.3, 10, false, "Strana:"}, {160.9, 6.3, 9, true, std::to_string(page)}};
}

std::size_t LinesPerColumn(bool firstPage) {
    double room = kPageHeight - kMarginTop - kMarginBottom - kFooterHeight - kHeaderHeight;
    if (firstPage) room -= kTitleHeight;
    // A small allowance keeps rounding from losing the last full line.
    return static_cast<std::size_t>(std::floor(room / kLineHeight + 1e-9));
}

std::vector<ReportPage> PaginateReport(std::size_t lines) {
    std::vector<ReportPage> pages;
    std::size_t next = 0;
    do {
        ReportPage page;
        page.HasTitle = pages.empty();
        const std::size_t per = LinesPerColumn(page.HasTitle);
        for (auto& col : page.Columns) {
            col.First = next;
            col.Count = std::min(per, lines - next);
            next += col.Count;
        }
        pages.push_back(page);
    } while (next < lines);
    return pages;
}

}  // namespace kolvex
