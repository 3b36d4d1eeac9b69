// SPDX-License-Identifier: GPL-3.0-or-later
// The period summary against hand-computed figures: limits touched exactly,
// excursions at the first and the last record, two excursions one record
// apart, an empty value inside a run, a gap, a clock jump, a period without
// records; the mean kinetic temperature against Python's math.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "archive/Adm.h"
#include "archive/PeriodSummary.h"
#include "base/DateTime.h"
#include "ArchiveTestUtil.h"

namespace kolvex {
namespace {

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();
const double kT0 = *TryEncodeDateTime(2026, 3, 2, 8, 0, 0);
double At(double minute) { return kT0 + minute / 1440.0; }
// Tables keep time stamps to the millisecond.
constexpr double kMs = 1.0 / 86400000;

// Logging period 5 min; input 1 a temperature with limits 2 .. 8 °C,
// input 2 a humidity without limits.
ArchiveParameterRecord Record() {
    LoggerImage im;
    im.SerialNumber = 42;
    im.Parameters.ArchiveFlags = kFlagRecordInput1 | kFlagRecordInput2;
    im.Parameters.Input[0].SetName("Sklad");
    im.Parameters.Input[0].SetUnit("°C");
    im.Parameters.Input[1].SetName("Vlhkost");
    im.Parameters.Input[1].SetUnit("%");
    ArchiveParameterRecord r = BuildParameterRecord(im, Lang::English);
    RecordingInfo info;
    info.PeriodSeconds = 300;
    info.Input[0] = {true, true, 2.0, 8.0};
    info.Input[1] = {true, false, std::nullopt, std::nullopt};
    r.SetRecording(info);
    return r;
}

struct Row {
    double Minute, Value1, Value2;
};
// minute: value of input 1 (what it tests)
const std::vector<Row> kRows = {
    {0, 9, 50},         // above at the first record
    {5, 8, 50},         // the upper limit touched: within
    {10, 2, 50},        // the lower limit touched: within
    {15, 1, 50},        // below ...
    {20, 5, kEmpty},    // ... one record within ...
    {25, 0.5, 50},      // ... below again: a second run
    {30, kEmpty, 50},   // empty: skipped, the run goes on; 25 stands for 1.5 periods
    {35, 1.5, 50},      //
    {40, 5, 50},        // then 20 minutes without records: a gap of 3 records
    {60, 5, 50},        //
    {65, 5, 50},        // the clock goes back: 65 stands for nothing
    {62, 5, 50},        //
    {67, 10, 50},       // above at the last record: stands for one period
};

struct ExpectedExcursion {
    LimitSide Side;
    double Start, End, Seconds, Extreme, ExtremeAt;
    std::int64_t Values;
};
const std::vector<ExpectedExcursion> kExcursions = {
    {LimitSide::Above, 0, 5, 300, 9, 0, 1},
    {LimitSide::Below, 15, 20, 300, 1, 15, 1},
    {LimitSide::Below, 25, 40, 450 + 300, 0.5, 25, 2},
    {LimitSide::Above, 67, 72, 300, 10, 67, 1},
};

std::vector<SummaryRecord> Records() {
    std::vector<SummaryRecord> out;
    for (const Row& r : kRows) {
        SummaryRecord s;
        s.Time = At(r.Minute);
        s.Value[0] = std::isnan(r.Value1) ? 0 : r.Value1;
        s.Value[1] = std::isnan(r.Value2) ? 0 : r.Value2;
        s.Empty[0] = std::isnan(r.Value1);
        s.Empty[1] = std::isnan(r.Value2);
        out.push_back(s);
    }
    return out;
}

double PythonMkt(const std::vector<double>& values, double deltaHOverR) {
    std::ostringstream list;
    list.precision(17);
    for (double v : values) list << v << ",";
    const std::string cmd = "/usr/bin/python3 -c \"import math; v=[" + list.str() + "]; h=" + std::to_string(deltaHOverR) +
                            "; print(repr(h / -math.log(sum(math.exp(-h / (x + 273.15)) for x in v) / len(v)) - 273.15))\"";
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[128] = {};
    const bool ok = p && std::fgets(buf, sizeof buf, p);
    if (p) ::pclose(p);
    return ok ? std::stod(buf) : kEmpty;
}

void ExpectHandFigures(const PeriodSummary& s) {
    EXPECT_EQ(s.Records, 13);
    EXPECT_NEAR(s.First, At(0), kMs);
    EXPECT_NEAR(s.Last, At(67), kMs);
    EXPECT_EQ(s.PeriodSeconds, 300);
    ASSERT_EQ(s.Gaps.size(), 1u);
    EXPECT_NEAR(s.Gaps[0].Start, At(40), kMs);
    EXPECT_NEAR(s.Gaps[0].End, At(60), kMs);
    EXPECT_EQ(s.Gaps[0].Missing, 3);
    EXPECT_EQ(s.MissingRecords, 3);
    ASSERT_EQ(s.ClockJumps.size(), 1u);
    EXPECT_NEAR(s.ClockJumps[0].Before, At(65), kMs);
    EXPECT_NEAR(s.ClockJumps[0].After, At(62), kMs);

    ASSERT_EQ(s.Inputs.size(), 2u);
    const InputSummary& a = s.Inputs[0];
    EXPECT_EQ(a.Values, 12);
    EXPECT_EQ(a.Empty, 1);
    EXPECT_EQ(a.Min, 0.5);
    EXPECT_NEAR(a.MinTime, At(25), kMs);
    EXPECT_EQ(a.Max, 10);
    EXPECT_NEAR(a.MaxTime, At(67), kMs);
    EXPECT_NEAR(a.Mean, 57.0 / 12, 1e-12);
    EXPECT_NEAR(a.StdDev, std::sqrt(106.75 / 11), 1e-12);
    // 9 values of one period, 25 and 40 capped at 1.5 periods, 65 nothing.
    EXPECT_EQ(a.CoveredSeconds, 9 * 300 + 2 * 450);
    EXPECT_EQ(a.SecondsAbove, 600);
    EXPECT_EQ(a.SecondsBelow, 1050);
    EXPECT_NEAR(a.ShareBelow(), 1050.0 / 3600, 1e-12);
    EXPECT_EQ(a.ExcursionsAbove, 2);
    EXPECT_EQ(a.ExcursionsBelow, 2);
    ASSERT_EQ(a.Excursions.size(), kExcursions.size());
    for (std::size_t i = 0; i < kExcursions.size(); ++i) {
        SCOPED_TRACE(i);
        const ExpectedExcursion& e = kExcursions[i];
        const Excursion& x = a.Excursions[i];
        EXPECT_EQ(x.Side, e.Side);
        EXPECT_NEAR(x.Start, At(e.Start), kMs);
        EXPECT_NEAR(x.End, At(e.End), kMs);
        EXPECT_EQ(x.Seconds, e.Seconds);
        EXPECT_EQ(x.Extreme, e.Extreme);
        EXPECT_NEAR(x.ExtremeTime, At(e.ExtremeAt), kMs);
        EXPECT_EQ(x.Values, e.Values);
    }
    ASSERT_TRUE(a.Mkt.has_value());
    const double py = PythonMkt({9, 8, 2, 1, 5, 0.5, 1.5, 5, 5, 5, 5, 10}, s.DeltaHOverR);
    EXPECT_NEAR(*a.Mkt, py, 1e-9);

    const InputSummary& b = s.Inputs[1];
    EXPECT_EQ(b.Values, 12);
    EXPECT_EQ(b.Empty, 1);
    EXPECT_EQ(b.Mean, 50);
    EXPECT_EQ(b.StdDev, 0);
    EXPECT_TRUE(b.Excursions.empty());
    EXPECT_FALSE(b.Mkt.has_value());  // not a temperature
}

TEST(PeriodSummary, HandComputedRecordsAndTheSameTable) {
    const ArchiveParameterRecord rec = Record();
    {
        SCOPED_TRACE("records");
        ExpectHandFigures(SummariseRecords(Records(), rec, 3));
    }

    test::TempDir dir;
    FixedAnswerer yes(true);
    TADM adm(&yes);
    adm.CreateArchive(dir / "s.dbf", rec);
    Table& t = adm.Table1;
    // Records outside the period around them must not count.
    auto append = [&](double minute, double v1, double v2) {
        t.Append();
        t.SetDateTime(0, At(minute));
        if (std::isnan(v1)) t.SetNull(1); else t.SetFloat(1, v1);
        if (std::isnan(v2)) t.SetNull(2); else t.SetFloat(2, v2);
        t.Post();
    };
    append(-1, 100, 0);
    for (const Row& r : kRows) append(r.Minute, r.Value1, r.Value2);
    append(68, -100, 0);
    t.Flush();
    {
        SCOPED_TRACE("table");
        const PeriodSummary s = SummariseTable(t, adm.ParameterRecord, {false, At(-0.5), At(67.5)});
        ExpectHandFigures(s);
    }
    // A different dH/R moves the MKT as Python says.
    const PeriodSummary h = SummariseTable(t, adm.ParameterRecord, {false, At(-0.5), At(67.5)}, 8000);
    EXPECT_NEAR(*h.Inputs[0].Mkt, PythonMkt({9, 8, 2, 1, 5, 0.5, 1.5, 5, 5, 5, 5, 10}, 8000), 1e-9);

    // A period without records.
    const PeriodSummary none = SummariseTable(t, adm.ParameterRecord, {false, At(1000), At(2000)});
    EXPECT_EQ(none.Records, 0);
    ASSERT_EQ(none.Inputs.size(), 2u);
    EXPECT_EQ(none.Inputs[0].Values, 0);
    EXPECT_EQ(none.Inputs[0].CoveredSeconds, 0);
    EXPECT_FALSE(none.Inputs[0].Mkt.has_value());
    EXPECT_TRUE(none.Gaps.empty());
}

TEST(PeriodSummary, RecordingBlockSurvivesWritingAndPeriodIsEstimatedWithoutIt) {
    ArchiveParameterRecord rec = Record();
    rec.NormaliseForWriting();
    ASSERT_TRUE(rec.Recording().has_value());
    EXPECT_EQ(rec.Recording()->PeriodSeconds, 300);
    EXPECT_EQ(rec.Recording()->Input[0].High, 8.0);
    // One stray byte and the block is not believed (and is cleared on writing).
    ArchiveParameterRecord bad = rec;
    bad.Bytes[kRecordingInfoOffset + 10] ^= 1;
    EXPECT_FALSE(bad.Recording().has_value());
    bad.NormaliseForWriting();
    EXPECT_EQ(bad.Bytes[kRecordingInfoOffset], 0);

    // Without the block: no limits, the period from the records' spacing,
    // the unit names the temperature.
    ArchiveParameterRecord plain = bad;
    const PeriodSummary s = SummariseRecords(Records(), plain, 3);
    EXPECT_TRUE(s.PeriodEstimated);
    EXPECT_EQ(s.PeriodSeconds, 300);
    EXPECT_TRUE(s.Inputs[0].Excursions.empty());
    EXPECT_TRUE(s.Inputs[0].Mkt.has_value());
    EXPECT_EQ(EstimatePeriodSeconds({0, 60 / 86400.0, 120 / 86400.0, 120 / 86400.0, 600 / 86400.0}), 60);

    // The logger's period and limits go into the record of a new table.
    LoggerImage im;
    im.Parameters.PeriodValue = 0x15;  // 15, BCD
    im.Parameters.PeriodUnit = 3;      // minutes
    EXPECT_EQ(LoggingPeriodSeconds(im.Parameters), 900);
    EXPECT_EQ(BuildParameterRecord(im, Lang::Czech).Recording()->PeriodSeconds, 900);
}

}  // namespace
}  // namespace kolvex
