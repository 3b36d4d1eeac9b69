// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The period summary as the viewer and the outputs show it, without any toolkit: sections of
// labelled rows (the period, the figures of each input side by side, the
// excursions, the gaps and clock jumps) in either language. The printed
// summary page, the workbook's summary sheet and the viewer's statistics
// panel all show these rows, so they give the same figures.

#include <string>
#include <vector>

#include "archive/PeriodSummary.h"
#include "base/Language.h"

namespace kolvex {

struct SummaryCell {
    enum Kind { Text, Number, Time, Duration, Share, Empty };
    Kind Type = Empty;
    std::string Label;  // Text
    double Value = 0;   // Number, Time (date-time), Duration (seconds), Share (0..1)
    int Decimals = 0;   // Number
};

struct SummarySection {
    std::string Title;
    std::vector<std::string> Heading;  // column headings, empty for none
    std::vector<std::vector<SummaryCell>> Rows;
};

struct SummaryDocument {
    std::string Title;  // "Souhrn" / "Summary"
    std::vector<SummarySection> Sections;
};

// The sections of a summary: "Období"/"Period" (label, value rows), the
// inputs' figures (a row per figure, a column per input), the excursions,
// and the gaps and clock jumps (these two only when there are any).
SummaryDocument MakeSummaryDocument(const PeriodSummary& summary, Lang language);

// The text of a cell: numbers with their decimals and the separator, times
// "dd/mm/yyyy hh:nn:ss", durations "[d ]hh:mm:ss", shares "12.5 %".
std::string SummaryCellText(const SummaryCell& cell, char decimalSeparator);
// The chart of a summary: per input its points reduced to the lowest and
// highest value per time bucket (in time order), a NaN value where the line
// breaks (an interval longer than 1.5 logging periods), and its limits.
struct SummaryChartSeries {
    SummaryInput Input;
    std::vector<double> Time, Value;  // Value NaN: the line breaks here
    double Min = 0, Max = 0;          // of the values (limits included)
    bool Any = false;
};
struct SummaryChart {
    double Start = 0, End = 0;  // the time axis
    std::vector<SummaryChartSeries> Series;
};
// One pass over the period's records of the open table, `buckets` buckets wide.
SummaryChart CollectSummaryChart(Table& table, const PeriodSummary& summary, int buckets = 800);

// "hh:mm:ss", with the days before it when there are any ("3 d 04:05:06").
std::string DurationText(double seconds);
// "celá databáze" / "all database", or "start - end".
std::string SummaryPeriodText(const PeriodSummary& summary, Lang language);

}  // namespace kolvex
