// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/SummaryReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/DateTime.h"

namespace kolvex {

namespace {

SummaryCell Text(std::string s) { return {SummaryCell::Text, std::move(s), 0, 0}; }
SummaryCell Number(double v, int decimals) { return {SummaryCell::Number, {}, v, decimals}; }
SummaryCell Count(std::int64_t v) { return {SummaryCell::Number, {}, static_cast<double>(v), 0}; }
SummaryCell Time(double v) { return {SummaryCell::Time, {}, v, 0}; }
SummaryCell Duration(double seconds) { return {SummaryCell::Duration, {}, seconds, 0}; }
SummaryCell Share(double v) { return {SummaryCell::Share, {}, v, 0}; }
SummaryCell None() { return {}; }

std::string InputTitle(const SummaryInput& in) { return in.Unit.empty() ? in.Name : in.Name + " (" + in.Unit + ")"; }

}  // namespace

SummaryChart CollectSummaryChart(Table& table, const PeriodSummary& s, int buckets) {
    SummaryChart chart;
    chart.Start = s.All ? s.First : s.Start;
    chart.End = s.All ? s.Last : s.End;
    if (s.Records > 0 && !s.All) {
        chart.Start = std::min(chart.Start, s.First);
        chart.End = std::max(chart.End, s.Last);
    }
    if (chart.End <= chart.Start) chart.End = chart.Start + 1.0 / 24;
    buckets = std::max(buckets, 1);
    const double width = (chart.End - chart.Start) / buckets;
    const double breakGap = s.PeriodSeconds > 0 ? 1.5 * s.PeriodSeconds / 86400.0 : 0;
    struct Bucket {
        double MinT = 0, MinV = 0, MaxT = 0, MaxV = 0;
        bool Any = false, BreakBefore = false;
    };
    const std::size_t n = s.Inputs.size();
    std::vector<std::vector<Bucket>> b(n, std::vector<Bucket>(static_cast<std::size_t>(buckets)));
    std::vector<int> fields{0};
    for (const InputSummary& in : s.Inputs) fields.push_back(in.Input.Column + 1);
    double prev = 0;
    bool first = true;
    if (s.Records > 0 && table.IsOpen())
        table.Scan(fields, 1, [&](const ScanBlock& blk) {
            for (std::size_t r = 0; r < blk.Rows; ++r) {
                const double* v = blk.Values + r * blk.Fields;
                const double t = v[0];
                if (!s.All && (t < s.Start || t > s.End)) continue;
                const auto k = static_cast<std::size_t>(
                    std::clamp(static_cast<long long>((t - chart.Start) / width), 0LL, static_cast<long long>(buckets - 1)));
                const bool brk = !first && breakGap > 0 && t - prev > breakGap;
                first = false;
                prev = t;
                for (std::size_t i = 0; i < n; ++i) {
                    Bucket& x = b[i][k];
                    if (brk) x.BreakBefore = true;
                    if (blk.Nulls[r * blk.Fields + i + 1]) continue;
                    const double y = v[i + 1];
                    if (!x.Any || y < x.MinV) x.MinV = y, x.MinT = t;
                    if (!x.Any || y > x.MaxV) x.MaxV = y, x.MaxT = t;
                    x.Any = true;
                }
            }
            return true;
        });
    for (std::size_t i = 0; i < n; ++i) {
        SummaryChartSeries ser;
        ser.Input = s.Inputs[i].Input;
        bool pendingBreak = false;
        for (const Bucket& x : b[i]) {
            pendingBreak = pendingBreak || x.BreakBefore;
            if (!x.Any) continue;
            if (pendingBreak && !ser.Time.empty()) {
                ser.Time.push_back(x.MinT < x.MaxT ? x.MinT : x.MaxT);
                ser.Value.push_back(std::nan(""));
            }
            pendingBreak = false;
            const bool minFirst = x.MinT <= x.MaxT;
            ser.Time.push_back(minFirst ? x.MinT : x.MaxT);
            ser.Value.push_back(minFirst ? x.MinV : x.MaxV);
            if (x.MinT != x.MaxT) {
                ser.Time.push_back(minFirst ? x.MaxT : x.MinT);
                ser.Value.push_back(minFirst ? x.MaxV : x.MinV);
            }
            ser.Min = ser.Any ? std::min(ser.Min, x.MinV) : x.MinV;
            ser.Max = ser.Any ? std::max(ser.Max, x.MaxV) : x.MaxV;
            ser.Any = true;
        }
        bool have = ser.Any;
        for (const auto& lim : {ser.Input.Low, ser.Input.High})
            if (lim) {
                ser.Min = have ? std::min(ser.Min, *lim) : *lim;
                ser.Max = have ? std::max(ser.Max, *lim) : *lim;
                have = true;
            }
        chart.Series.push_back(std::move(ser));
    }
    return chart;
}

std::string DurationText(double seconds) {
    const long long total = std::llround(std::max(seconds, 0.0));
    const long long days = total / 86400, rest = total % 86400;
    char b[64];
    if (days > 0)
        std::snprintf(b, sizeof b, "%lld d %02lld:%02lld:%02lld", days, rest / 3600, rest / 60 % 60, rest % 60);
    else
        std::snprintf(b, sizeof b, "%02lld:%02lld:%02lld", rest / 3600, rest / 60 % 60, rest % 60);
    return b;
}

std::string SummaryCellText(const SummaryCell& c, char dec) {
    char b[64];
    std::string s;
    switch (c.Type) {
        case SummaryCell::Text: return c.Label;
        case SummaryCell::Empty: return {};
        case SummaryCell::Time: return FormatDayFirst(c.Value);
        case SummaryCell::Duration: return DurationText(c.Value);
        case SummaryCell::Number:
            std::snprintf(b, sizeof b, "%.*f", std::clamp(c.Decimals, 0, 7), c.Value);
            s = b;
            if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // no "-0.0"
            break;
        case SummaryCell::Share:
            std::snprintf(b, sizeof b, "%.1f %%", c.Value * 100);
            s = b;
            break;
    }
    for (char& ch : s)
        if (ch == '.') ch = dec;
    return s;
}

std::string SummaryPeriodText(const PeriodSummary& s, Lang l) {
    if (s.All) return Tr(l, "celá databáze", "all database");
    return FormatDayFirst(s.Start) + " - " + FormatDayFirst(s.End);
}

SummaryDocument MakeSummaryDocument(const PeriodSummary& s, Lang l) {
    SummaryDocument doc;
    doc.Title = Tr(l, "Souhrn", "Summary");
    const bool any = s.Records > 0;

    SummarySection period;
    period.Title = Tr(l, "Období", "Period");
    period.Rows = {
        {Text(Tr(l, "Období", "Period")), Text(SummaryPeriodText(s, l))},
        {Text(Tr(l, "Počet záznamů", "Records")), Count(s.Records)},
        {Text(Tr(l, "První záznam", "First record")), any ? Time(s.First) : None()},
        {Text(Tr(l, "Poslední záznam", "Last record")), any ? Time(s.Last) : None()},
        {Text(s.PeriodEstimated ? Tr(l, "Perioda záznamu (odhad)", "Logging period (estimated)")
                                : Tr(l, "Perioda záznamu", "Logging period")),
         s.PeriodSeconds > 0 ? Duration(s.PeriodSeconds) : None()},
        {Text(Tr(l, "Mezery v záznamu", "Gaps in the recording")), Count(static_cast<std::int64_t>(s.Gaps.size()))},
        {Text(Tr(l, "Chybějící záznamy", "Records missing")), Count(s.MissingRecords)},
        {Text(Tr(l, "Skoky hodin", "Clock jumps")), Count(static_cast<std::int64_t>(s.ClockJumps.size()))},
    };
    doc.Sections.push_back(period);

    SummarySection inputs;
    inputs.Title = Tr(l, "Vstupy", "Inputs");
    inputs.Heading.push_back("");
    for (const InputSummary& in : s.Inputs) inputs.Heading.push_back(InputTitle(in.Input));
    auto row = [&](const std::string& label, auto&& cellOf) {
        std::vector<SummaryCell> r{Text(label)};
        for (const InputSummary& in : s.Inputs) r.push_back(cellOf(in));
        inputs.Rows.push_back(std::move(r));
    };
    auto valued = [](const InputSummary& in, SummaryCell c) { return in.Values > 0 ? c : None(); };
    row(Tr(l, "Hodnoty", "Values"), [](const InputSummary& in) { return Count(in.Values); });
    row(Tr(l, "Prázdné hodnoty", "Empty values"), [](const InputSummary& in) { return Count(in.Empty); });
    row("Minimum", [&](const InputSummary& in) { return valued(in, Number(in.Min, in.Input.Decimals)); });
    row(Tr(l, "Čas minima", "Time of the minimum"), [&](const InputSummary& in) { return valued(in, Time(in.MinTime)); });
    row("Maximum", [&](const InputSummary& in) { return valued(in, Number(in.Max, in.Input.Decimals)); });
    row(Tr(l, "Čas maxima", "Time of the maximum"), [&](const InputSummary& in) { return valued(in, Time(in.MaxTime)); });
    row(Tr(l, "Průměr", "Mean"), [&](const InputSummary& in) { return valued(in, Number(in.Mean, in.Input.Decimals + 1)); });
    row(Tr(l, "Směrodatná odchylka", "Standard deviation"),
        [&](const InputSummary& in) { return valued(in, Number(in.StdDev, in.Input.Decimals + 1)); });
    row(Tr(l, "Dolní mez alarmu", "Lower alarm limit"), [](const InputSummary& in) {
        return in.Input.Low ? Number(*in.Input.Low, in.Input.Decimals) : Text("-");
    });
    row(Tr(l, "Horní mez alarmu", "Upper alarm limit"), [](const InputSummary& in) {
        return in.Input.High ? Number(*in.Input.High, in.Input.Decimals) : Text("-");
    });
    row(Tr(l, "Doba pod dolní mezí", "Time below the lower limit"),
        [](const InputSummary& in) { return in.Input.Low ? Duration(in.SecondsBelow) : Text("-"); });
    row(Tr(l, "Podíl pod dolní mezí", "Share below the lower limit"),
        [](const InputSummary& in) { return in.Input.Low ? Share(in.ShareBelow()) : Text("-"); });
    row(Tr(l, "Doba nad horní mezí", "Time above the upper limit"),
        [](const InputSummary& in) { return in.Input.High ? Duration(in.SecondsAbove) : Text("-"); });
    row(Tr(l, "Podíl nad horní mezí", "Share above the upper limit"),
        [](const InputSummary& in) { return in.Input.High ? Share(in.ShareAbove()) : Text("-"); });
    row(Tr(l, "Překročení dolní meze", "Excursions below"),
        [](const InputSummary& in) { return in.Input.Low ? Count(in.ExcursionsBelow) : Text("-"); });
    row(Tr(l, "Překročení horní meze", "Excursions above"),
        [](const InputSummary& in) { return in.Input.High ? Count(in.ExcursionsAbove) : Text("-"); });
    char mkt[96];
    std::snprintf(mkt, sizeof mkt, "%s (ΔH/R = %.0f K)",
                  Tr(l, "Střední kinetická teplota", "Mean kinetic temperature").c_str(), s.DeltaHOverR);
    row(mkt, [](const InputSummary& in) { return in.Mkt ? Number(*in.Mkt, in.Input.Decimals + 1) : Text("-"); });
    doc.Sections.push_back(inputs);

    SummarySection exc;
    exc.Title = Tr(l, "Překročení mezí alarmu", "Alarm excursions");
    exc.Heading = {Tr(l, "Vstup", "Input"), Tr(l, "Mez", "Limit"), Tr(l, "Začátek", "Start"), Tr(l, "Konec", "End"),
                   Tr(l, "Trvání", "Duration"), Tr(l, "Extrém", "Extreme")};
    for (const InputSummary& in : s.Inputs)
        for (const Excursion& e : in.Excursions)
            exc.Rows.push_back({Text(in.Input.Name),
                                Text(e.Side == LimitSide::Above ? Tr(l, "horní", "upper") : Tr(l, "dolní", "lower")),
                                Time(e.Start), Time(e.End), Duration(e.Seconds), Number(e.Extreme, in.Input.Decimals)});
    if (exc.Rows.empty()) exc.Rows.push_back({Text(Tr(l, "žádné", "none"))});
    doc.Sections.push_back(exc);

    if (!s.Gaps.empty()) {
        SummarySection gaps;
        gaps.Title = Tr(l, "Mezery v záznamu", "Gaps in the recording");
        gaps.Heading = {Tr(l, "Od", "From"), Tr(l, "Do", "To"), Tr(l, "Chybí záznamů", "Records missing")};
        for (const DataGap& g : s.Gaps) gaps.Rows.push_back({Time(g.Start), Time(g.End), Count(g.Missing)});
        doc.Sections.push_back(gaps);
    }
    if (!s.ClockJumps.empty()) {
        SummarySection jumps;
        jumps.Title = Tr(l, "Skoky hodin", "Clock jumps");
        jumps.Heading = {Tr(l, "Záznam", "Record"), Tr(l, "Další záznam", "Next record")};
        for (const ClockJump& j : s.ClockJumps) jumps.Rows.push_back({Time(j.Before), Time(j.After)});
        doc.Sections.push_back(jumps);
    }
    return doc;
}

}  // namespace kolvex
