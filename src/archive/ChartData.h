// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The viewer chart's data without any toolkit: how the two series and their
// vertical axes look by the parameter record, one pass over the table that
// collects the points at the chart's level of detail, and the three axis
// ranges (bottom, left, right) the chart starts with.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ConfigRecord.h"
#include "archive/ChartDetail.h"
#include "archive/ChartNavigation.h"
#include "archive/ParameterFile.h"
#include "archive/Table.h"

namespace kolvex {

// The records the chart shows: all of them, or those stamped in [Start, End].
struct ChartPeriod {
    bool All = true;
    double Start = 0, End = 0;
};
ChartPeriod ChartPeriodOf(const PeriodSettings& period);

// How a vertical axis looks and where its range comes from. An axis without
// a series of its own shows the other axis's series (title, colour, range
// rule); with no series at all both are neutral and fixed to 0 .. 0.
struct ChartAxisLook {
    bool Neutral = true;      // black and without a title
    std::string Title;        // label + unit of the series it shows
    std::int32_t Colour = 0;  // 0x00BBGGRR
    bool Automatic = true;    // the range of the values, else Min .. Max
    double Min = 0, Max = 0;
};

// A series' part of the settings: whether it takes its axis's colour, and
// what the cross-hair says of its values.
struct ChartSeriesLook {
    bool Coloured = false;
    int Decimals = 1;
    std::string Unit, Label;
};

struct ChartLooks {
    ChartAxisLook Left, Right;
    ChartSeriesLook Series[2];  // left, right
};

// The looks of the record's axis settings for a table of `fieldCount`
// fields. A fixed range whose minimum lies above its maximum is refused
// (EKolvex): the chart keeps what it shows.
ChartLooks ChartLooksOf(const ArchiveParameterRecord& rec, int fieldCount);

// The loaded chart.
struct ChartData {
    ChartDetail Detail;  // the points of both series (Detail.Sorted(): keys never went down)
    bool Shown[2] = {false, false};  // whether each series shows a field
    // The bottom axis (the period, or in all-mode the span of the points),
    // and the vertical axes by their rule; all with the margins of 1/33.
    AxisRange Bottom, Left, Right;
    // What the loading read, so that a narrow view can be read again: the
    // fields (time stamp first), each series' column among them (-1 for
    // none), the period and the record count then.
    std::vector<int> Fields;
    int Column[2] = {-1, -1};
    ChartPeriod Period;
    std::int64_t RecordCount = 0;
    // Records further apart than this (1.5 logging periods, in days; 0 for
    // no rule) break the lines.
    double BreakGap = 0;

    bool Sorted() const { return Detail.Sorted(); }
};

// The share of records passed, after each block read; false stops the
// loading, which keeps what it has so far.
using ChartProgress = std::function<bool(int percent)>;

// One pass over the table in blocks (the cursor stays on its record, the
// table's controls are suspended meanwhile). A series source beyond the
// last field is cut to the last field, in the record as well. An empty
// value adds no point to its series (the line joins its neighbours); two
// records of the period more than 1.5 logging periods apart break the lines.
void LoadChartData(Table& t, ArchiveParameterRecord& rec, const ChartLooks& looks, const ChartPeriod& period,
                   const ChartProgress& progress, ChartData& out);

// The points of both series for the view [lo, hi] at `pixels` horizontal
// pixels. A narrow view reads its records again, unless the table's controls
// are suspended or records came or went since the loading; then, or when
// the reading fails, the kept extremes serve.
void ChartViewPoints(Table& t, const ChartData& data, double lo, double hi, int pixels,
                     std::vector<ChartPoint> (&out)[2]);

}  // namespace kolvex
