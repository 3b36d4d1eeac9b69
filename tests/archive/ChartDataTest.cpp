// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer chart's data: the looks and ranges of the three axes (automatic,
// fixed, copied from the other axis, nothing shown), the period, an empty and
// an unsorted table, and a spike kept at the level of detail.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "base/Errors.h"
#include "archive/Adm.h"
#include "archive/ChartData.h"
#include "ArchiveTestUtil.h"

using namespace kolvex;

namespace {

struct Row {
    double Time;
    std::optional<double> V1, V2;
};

// DATETIME + VSTUP1 + VSTUP2; the left axis shows field `left`, the right
// axis field `right`; `fixed` makes both axes fixed to 0 .. 100.
ArchiveParameterRecord Record(int left, int right, bool leftFixed, bool rightFixed) {
    ArchiveParameterRecord r;
    FieldDescriptor time;
    time.Type = kFieldTypeDateTime;
    time.Name = "DATETIME";
    r.SetDescriptor(0, time);
    for (int i = 1; i <= 2; ++i) {
        FieldDescriptor d;
        d.Type = kFieldTypeFloat;
        d.Name = i == 1 ? "VSTUP1" : "VSTUP2";
        d.Label = i == 1 ? "Teplota" : "Proud";
        d.Unit = i == 1 ? "°C" : "mA";
        d.Decimals = i;
        r.SetDescriptor(i, d);
    }
    AxisSettings a;
    a.Source = left;
    a.Automatic = leftFixed ? 0 : 1;
    a.Minimum = 0;
    a.Maximum = 100;
    a.Colour = 0x0000FF;
    a.Marker = 1;
    r.SetLeftAxis(a);
    a.Source = right;
    a.Automatic = rightFixed ? 0 : 1;
    a.Colour = 0x008000;
    r.SetRightAxis(a);
    r.SetFieldCount(3);
    return r;
}

struct Chart {
    test::TempDir dir;
    FixedAnswerer yes{true};
    TADM adm{&yes};

    Chart(const std::vector<Row>& rows, const ArchiveParameterRecord& rec) {
        const std::string path = dir / "chart.dbf";
        adm.CreateArchive(path, rec);
        Table& t = adm.Table1;
        t.DisableControls();
        for (const Row& r : rows) {
            t.Append();
            t.SetDateTime(0, r.Time);
            if (r.V1) t.SetFloat(1, *r.V1);
            if (r.V2) t.SetFloat(2, *r.V2);
            t.Post();
        }
        t.EnableControls();
        adm.CloseArchive();
        adm.OpenArchive(path);
    }

    ChartData Load(const ChartPeriod& period = {}) {
        const ChartLooks looks = ChartLooksOf(adm.ParameterRecord, adm.Table1.FieldCount());
        ChartData d;
        LoadChartData(adm.Table1, adm.ParameterRecord, looks, period, {}, d);
        return d;
    }
};

// Days 1 .. 10; input 1 = 10 + day, input 2 = 5 (flat).
std::vector<Row> Days() {
    std::vector<Row> v;
    for (int d = 1; d <= 10; ++d) v.push_back({double(d), 10.0 + d, 5.0});
    return v;
}

AxisRange Margins(double lo, double hi) { return ValueAxisWithMargins(MakeRange(lo, hi)); }

void ExpectRange(const AxisRange& got, const AxisRange& want, const char* what) {
    EXPECT_NEAR(got.Min, want.Min, 1e-9) << what;
    EXPECT_NEAR(got.Max, want.Max, 1e-9) << what;
}

}  // namespace

TEST(ChartData, AxisRulesAutomaticFixedCopiedAndNothing) {
    struct Case {
        const char* name;
        int left, right;
        bool leftFixed, rightFixed;
        AxisRange wantLeft, wantRight;
        bool leftNeutral, rightNeutral;
        std::string leftTitle, rightTitle;
    };
    const Case cases[] = {
        // Each axis by its own series: input 1 spans 11 .. 20, input 2 is
        // flat at 5 and gets one unit either side.
        {"own", 1, 2, false, false, Margins(11, 20), Margins(4, 6), false, false, "Teplota   (°C)", "Proud   (mA)"},
        {"fixed", 1, 2, true, false, Margins(0, 100), Margins(4, 6), false, false, "Teplota   (°C)", "Proud   (mA)"},
        // An axis without a series copies the other's look and its rule.
        {"copied automatic", 1, 0, false, true, Margins(11, 20), Margins(11, 20), false, false, "Teplota   (°C)",
         "Teplota   (°C)"},
        {"copied fixed", 0, 2, false, true, Margins(0, 100), Margins(0, 100), false, false, "Proud   (mA)",
         "Proud   (mA)"},
        // Nothing shown: both neutral and fixed to 0 .. 0.
        {"nothing", 0, 0, false, false, Margins(0, 0), Margins(0, 0), true, true, "", ""},
    };
    for (const Case& c : cases) {
        Chart chart(Days(), Record(c.left, c.right, c.leftFixed, c.rightFixed));
        const ChartLooks looks = ChartLooksOf(chart.adm.ParameterRecord, 3);
        EXPECT_EQ(looks.Left.Neutral, c.leftNeutral) << c.name;
        EXPECT_EQ(looks.Right.Neutral, c.rightNeutral) << c.name;
        EXPECT_EQ(looks.Left.Title, c.leftTitle) << c.name;
        EXPECT_EQ(looks.Right.Title, c.rightTitle) << c.name;
        // Only a series with a field of its own takes its axis's colour.
        EXPECT_EQ(looks.Series[0].Coloured, c.left > 0) << c.name;
        EXPECT_EQ(looks.Series[1].Coloured, c.right > 0) << c.name;
        const ChartData d = chart.Load();
        ExpectRange(d.Left, c.wantLeft, c.name);
        ExpectRange(d.Right, c.wantRight, c.name);
        EXPECT_EQ(d.Shown[0], c.left > 0) << c.name;
        EXPECT_EQ(d.Shown[1], c.right > 0) << c.name;
        // In all-mode the bottom axis spans the records, with the margins.
        ExpectRange(d.Bottom, TimeAxisWithMargins(1, 10), c.name);
        EXPECT_EQ(d.Detail.Count(), 10u) << c.name;
    }
}

TEST(ChartData, RefusedRangeAndSourceBeyondTheLastField) {
    // A fixed minimum above its maximum is refused; an automatic one is not looked at.
    ArchiveParameterRecord r = Record(1, 2, true, false);
    AxisSettings left = r.LeftAxis();
    left.Minimum = 60;
    left.Maximum = 10;
    r.SetLeftAxis(left);
    EXPECT_THROW(ChartLooksOf(r, 3), EKolvex);
    left.Automatic = 1;
    r.SetLeftAxis(left);
    EXPECT_NO_THROW(ChartLooksOf(r, 3));

    // A source beyond the last field shows the last field and is cut in the
    // record; its axis stays neutral this time and copies nothing.
    Chart chart(Days(), Record(1, 7, false, false));
    const ChartLooks looks = ChartLooksOf(chart.adm.ParameterRecord, 3);
    EXPECT_TRUE(looks.Right.Neutral);
    EXPECT_FALSE(looks.Series[1].Coloured);
    const ChartData d = chart.Load();
    EXPECT_EQ(chart.adm.ParameterRecord.RightAxis().Source, 2);
    EXPECT_TRUE(d.Shown[1]);
    ExpectRange(d.Right, Margins(4, 6), "cut source");
}

TEST(ChartData, PeriodEmptyAndUnsortedTables) {
    PeriodSettings block;
    block.Kind = pkChosen;
    block.Start = 3;
    block.End = 6;
    const ChartPeriod period = ChartPeriodOf(block);
    EXPECT_FALSE(period.All);
    block.Kind = pkAll;
    EXPECT_TRUE(ChartPeriodOf(block).All);

    // A chosen period: the bottom axis is the period, the points and the
    // automatic range only those inside it.
    {
        Chart chart(Days(), Record(1, 2, false, false));
        const ChartData d = chart.Load(period);
        ExpectRange(d.Bottom, TimeAxisWithMargins(3, 6), "period");
        ExpectRange(d.Left, Margins(13, 16), "period");
        EXPECT_EQ(d.Detail.Count(), 4u);
    }
    // An empty table: every axis from 0 .. 0, no points.
    {
        Chart chart({}, Record(1, 2, false, false));
        const ChartData d = chart.Load();
        ExpectRange(d.Bottom, TimeAxisWithMargins(0, 0), "empty");
        ExpectRange(d.Left, Margins(0, 0), "empty");
        EXPECT_EQ(d.Detail.Count(), 0u);
        EXPECT_TRUE(d.Sorted());
    }
    // Records out of time order: every point, unsorted; an empty value adds
    // no point (it is no reading of 0).
    {
        Chart chart({{5, 1.0, 2.0}, {2, std::nullopt, 3.0}, {9, 4.0, 1.0}}, Record(1, 2, false, false));
        const ChartData d = chart.Load();
        EXPECT_FALSE(d.Sorted());
        ExpectRange(d.Bottom, TimeAxisWithMargins(2, 9), "unsorted");
        ExpectRange(d.Left, Margins(1, 4), "unsorted");
        std::vector<ChartPoint> out[2];
        ChartViewPoints(chart.adm.Table1, d, 0, 10, 800, out);
        ASSERT_EQ(out[0].size(), 2u);
        EXPECT_EQ(out[0][1], (ChartPoint{9, 4.0}));
        EXPECT_EQ(out[1].size(), 3u);
    }
    // Five-minute records: the line joins across an empty value and breaks
    // at 25 minutes without records (a NaN point where the next one starts).
    {
        const double m = 1.0 / 1440;
        Chart chart({{0, 1.0, 1.0}, {5 * m, std::nullopt, 2.0}, {10 * m, 3.0, 3.0}, {35 * m, 4.0, 4.0}, {40 * m, 5.0, 5.0}},
                    Record(1, 2, false, false));
        const ChartData d = chart.Load();
        EXPECT_NEAR(d.BreakGap, 450.0 / 86400, 1e-12);
        std::vector<ChartPoint> out[2];
        ChartViewPoints(chart.adm.Table1, d, 0, 1, 800, out);
        ASSERT_EQ(out[0].size(), 5u);
        EXPECT_NEAR(out[0][1].Key, 10 * m, 1e-9);
        EXPECT_TRUE(std::isnan(out[0][2].Value));
        EXPECT_NEAR(out[0][3].Key, 35 * m, 1e-9);
        ASSERT_EQ(out[1].size(), 6u);
        EXPECT_TRUE(std::isnan(out[1][3].Value));
    }
    // A record without a time stamp (empty or damaged) is no point: no place on the time axis.
    {
        Chart chart(Days(), Record(1, 2, false, false));
        Table& t = chart.adm.Table1;
        t.Append();
        t.SetFloat(1, 99);
        t.Post();
        const ChartData d = chart.Load();
        ExpectRange(d.Bottom, TimeAxisWithMargins(1, 10), "no time");
        ExpectRange(d.Left, Margins(11, 20), "no time");
        EXPECT_EQ(d.Detail.Count(), 10u);
        std::vector<ChartPoint> out[2];
        ChartViewPoints(t, d, 0, 11, 800, out);
        EXPECT_EQ(out[0].size(), 10u);
    }
}

TEST(ChartData, SpikeKeptAtTheDetailAndNarrowViewsReadAgain) {
    const auto n = static_cast<int>(ChartDetail::kFullDetail) + 500;
    std::vector<Row> rows;
    for (int i = 0; i < n; ++i) rows.push_back({i / 1440.0, 20.0 + i % 7, 4.0});
    rows[n / 2].V1 = 900.0;
    Chart chart(rows, Record(1, 2, false, false));
    int calls = 0, last = -1;
    ChartData d;
    LoadChartData(chart.adm.Table1, chart.adm.ParameterRecord,
                  ChartLooksOf(chart.adm.ParameterRecord, 3), {},
                  [&](int percent) {
                      ++calls;
                      last = percent;
                      return true;
                  },
                  d);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(last, 100);
    ASSERT_TRUE(d.Detail.Reduced());
    EXPECT_GT(d.Left.Max, 900.0);

    const auto has = [](const std::vector<ChartPoint>& p, double key, double value) {
        for (const ChartPoint& x : p)
            if (std::abs(x.Key - key) < 1e-7 && x.Value == value) return true;
        return false;
    };
    std::vector<ChartPoint> out[2];
    ChartViewPoints(chart.adm.Table1, d, d.Bottom.Min, d.Bottom.Max, 400, out);
    EXPECT_LE(out[0].size(), 2u * 400 + 8);
    EXPECT_TRUE(has(out[0], rows[n / 2].Time, 900.0));
    // A narrow view: each record again, from the table.
    ChartViewPoints(chart.adm.Table1, d, rows[1000].Time, rows[1099].Time, 400, out);
    EXPECT_GE(out[0].size(), 100u);
    EXPECT_TRUE(has(out[0], rows[1050].Time, *rows[1050].V1));
    // A record more since the loading: the kept extremes serve.
    chart.adm.Table1.Append();
    chart.adm.Table1.SetDateTime(0, rows.back().Time + 1);
    chart.adm.Table1.Post();
    ChartViewPoints(chart.adm.Table1, d, rows[1000].Time, rows[1099].Time, 400, out);
    EXPECT_LT(out[0].size(), 100u);

    // Stopped at the first report: what was read so far stays.
    ChartData part;
    LoadChartData(chart.adm.Table1, chart.adm.ParameterRecord, ChartLooksOf(chart.adm.ParameterRecord, 3), {},
                  [](int) { return false; }, part);
    EXPECT_GT(part.Detail.Count(), 0u);
    EXPECT_LT(part.Detail.Count(), static_cast<std::size_t>(n));
}
