// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ChartData.h"

#include <algorithm>
#include <limits>

#include "archive/PeriodSummary.h"
#include "base/Errors.h"
#include "base/Language.h"

namespace kolvex {

ChartPeriod ChartPeriodOf(const PeriodSettings& period) {
    ChartPeriod p;
    p.All = period.Kind == pkAll;
    p.Start = period.Start;
    p.End = period.End;
    return p;
}

ChartLooks ChartLooksOf(const ArchiveParameterRecord& rec, int n) {
    const AxisSettings left = rec.LeftAxis(), right = rec.RightAxis();
    const int a = left.Source, b = right.Source;
    const bool validA = a > 0 && a <= n - 1, validB = b > 0 && b <= n - 1;
    for (const auto& [s, valid] : {std::pair{left, validA}, std::pair{right, validB}}) {
        if (valid && !s.Automatic && s.Minimum > s.Maximum)
            throw EKolvex(Tr("Minimum osy musí být menší nebo rovno maximu",
                             "The axis minimum must be less than or equal to the maximum"));
    }

    ChartLooks looks;  // neutral and automatic: nothing to show on that axis
    if (a <= 0 && b <= 0) looks.Left.Automatic = looks.Right.Automatic = false;  // both fixed to 0 .. 0
    auto lookOf = [&rec](const AxisSettings& s, int src) {
        ChartAxisLook look;
        const FieldDescriptor d = rec.Descriptor(std::min(src, kMaxDescriptors - 1));
        look.Neutral = false;
        look.Title = AxisTitle(d.Label, d.Unit);
        look.Colour = s.Colour;
        look.Automatic = s.Automatic != 0;
        look.Min = s.Minimum;
        look.Max = s.Maximum;
        return look;
    };
    if (validA) {
        looks.Left = lookOf(left, a);
        if (b <= 0) looks.Right = looks.Left;
    }
    if (validB) {
        looks.Right = lookOf(right, b);
        if (a <= 0) looks.Left = looks.Right;
    }
    looks.Series[0].Coloured = validA;
    looks.Series[1].Coloured = validB;
    for (int k = 0; k < 2; ++k) {
        const int src = k == 0 ? a : b;
        if (src > 0 && src < kMaxDescriptors) {
            const FieldDescriptor d = rec.Descriptor(src);
            looks.Series[k].Decimals = d.Decimals;
            looks.Series[k].Unit = d.Unit;
            looks.Series[k].Label = d.Label;
        }
    }
    return looks;
}

namespace {

// A vertical axis's range before the margins: fixed, or the range of its
// own series, or of the other's when it shows none (a flat series gets one
// unit either side; no values at all give 0 .. 0).
AxisRange Settle(const ChartAxisLook& look, int k, const bool (&shown)[2], const double (&lo)[2],
                 const double (&hi)[2]) {
    if (!look.Automatic) return MakeRange(look.Min, look.Max);
    const int src = shown[k] ? k : (shown[1 - k] ? 1 - k : -1);
    if (src < 0 || lo[src] > hi[src]) return MakeRange(0, 0);
    if (lo[src] == hi[src]) return MakeRange(lo[src] - 1, hi[src] + 1);
    return MakeRange(lo[src], hi[src]);
}

}  // namespace

namespace {

// The series shown: the axes' sources (kept within the table's fields), each
// read as a column of the scan after the time stamp.
void ChooseSeries(int fieldCount, ArchiveParameterRecord& rec, ChartData& out) {
    const int n = fieldCount;
    AxisSettings left = rec.LeftAxis(), right = rec.RightAxis();
    if (left.Source > n - 1) {
        left.Source = n - 1;
        rec.SetLeftAxis(left);
    }
    if (right.Source > n - 1) {
        right.Source = n - 1;
        rec.SetRightAxis(right);
    }
    out.Fields = {0};
    out.Column[0] = out.Column[1] = -1;
    out.Shown[0] = left.Source > 0;
    out.Shown[1] = right.Source > 0;
    for (int k = 0; k < 2; ++k) {
        if (!out.Shown[k]) continue;
        out.Column[k] = static_cast<int>(out.Fields.size());
        out.Fields.push_back(k == 0 ? left.Source : right.Source);
    }
}

}  // namespace

void LoadChartData(Table& t, ArchiveParameterRecord& rec, const ChartLooks& looks, const ChartPeriod& period,
                   const ChartProgress& progress, ChartData& out) {
    out.Detail.Clear();
    out.Period = period;
    ChooseSeries(t.FieldCount(), rec, out);

    // The cursor stays where it is; what listens to the table waits.
    t.DisableControls();
    struct Resume {
        Table& t;
        ~Resume() { t.EnableControls(); }
    } resume{t};

    const std::int64_t count = t.RecordCount();
    out.RecordCount = count;
    out.BreakGap = 1.5 * TablePeriodSeconds(t, rec) / 86400.0;
    const double breakGap = out.BreakGap;
    double prevT = 0;
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    out.Detail.Reserve(static_cast<std::size_t>(count));
    constexpr double kInf = std::numeric_limits<double>::infinity();
    double lo[2] = {kInf, kInf}, hi[2] = {-kInf, -kInf};
    double minT = 0, maxT = 0, minP = 0, maxP = 0;
    bool anyRecord = false, anyPoint = false;
    std::int64_t passed = 0;
    const bool all = period.All;
    const double start = period.Start, end = period.End;
    const int colA = out.Column[0], colB = out.Column[1];
    ChartDetail& detail = out.Detail;
    t.Scan(out.Fields, 1, [&](const ScanBlock& blk) {
        for (std::size_t r = 0; r < blk.Rows; ++r) {
            // A record without a time stamp (empty or damaged) has no place on the time axis.
            if (blk.Nulls[r * blk.Fields]) continue;
            const double* v = blk.Values + r * blk.Fields;
            const double tt = v[0];
            if (!anyRecord) minT = maxT = tt;
            anyRecord = true;
            minT = std::min(minT, tt);
            maxT = std::max(maxT, tt);
            if (!all && (tt < start || tt > end)) continue;
            if (anyPoint && breakGap > 0 && tt - prevT > breakGap) detail.AddBreak(tt);
            prevT = tt;
            if (!anyPoint) minP = maxP = tt;
            minP = std::min(minP, tt);
            maxP = std::max(maxP, tt);
            anyPoint = true;
            // An empty value is no point (NaN, which the ranges pass over).
            const std::uint8_t* nul = blk.Nulls + r * blk.Fields;
            const double va = colA >= 0 && !nul[colA] ? v[colA] : kNaN;
            const double vb = colB >= 0 && !nul[colB] ? v[colB] : kNaN;
            if (colA >= 0) {
                lo[0] = std::min(lo[0], va);
                hi[0] = std::max(hi[0], va);
            }
            if (colB >= 0) {
                lo[1] = std::min(lo[1], vb);
                hi[1] = std::max(hi[1], vb);
            }
            detail.Add(blk.FirstRecNo + static_cast<std::int64_t>(r), tt, va, vb);
        }
        passed += static_cast<std::int64_t>(blk.Rows);
        const int percent = count > 0 ? static_cast<int>(passed * 100 / count) : 100;
        return !progress || progress(percent);
    });

    // The bottom axis: the period, or in all-mode the span of the points
    // (of the records when no series is shown); then the margins.
    double s = start, e = end;
    if (all) {
        if (anyPoint && (out.Shown[0] || out.Shown[1])) {
            s = minP;
            e = maxP;
        } else if (anyRecord) {
            s = minT;
            e = maxT;
        } else {
            s = e = 0;
        }
    }
    out.Bottom = TimeAxisWithMargins(s, e);
    out.Left = ValueAxisWithMargins(Settle(looks.Left, 0, out.Shown, lo, hi));
    out.Right = ValueAxisWithMargins(Settle(looks.Right, 1, out.Shown, lo, hi));
}

void ChartViewPoints(Table& t, const ChartData& data, double lo, double hi, int pixels,
                     std::vector<ChartPoint> (&out)[2]) {
    ChartDetail::Fetch fetch;
    if (t.IsOpen() && !t.ControlsDisabled() && t.RecordCount() == data.RecordCount)
        fetch = [&](std::int64_t first, std::int64_t last, std::vector<ChartPoint> (&points)[2]) {
            t.Scan(data.Fields, first, [&](const ScanBlock& blk) {
                for (std::size_t r = 0; r < blk.Rows; ++r) {
                    if (blk.FirstRecNo + static_cast<std::int64_t>(r) > last) return false;
                    if (blk.Nulls[r * blk.Fields]) continue;
                    const double* v = blk.Values + r * blk.Fields;
                    if (!data.Period.All && (v[0] < data.Period.Start || v[0] > data.Period.End)) continue;
                    const std::uint8_t* nul = blk.Nulls + r * blk.Fields;
                    for (int k = 0; k < 2; ++k) {
                        const int c = data.Column[k];
                        points[k].push_back(
                            {v[0], c >= 0 && !nul[c] ? v[c] : std::numeric_limits<double>::quiet_NaN()});
                    }
                }
                return true;
            });
        };
    try {
        data.Detail.Points(lo, hi, pixels, fetch, out);
    } catch (const std::exception&) {
        // The table changed under the chart: the kept extremes serve.
        data.Detail.Points(lo, hi, pixels, {}, out);
    }
}

}  // namespace kolvex
