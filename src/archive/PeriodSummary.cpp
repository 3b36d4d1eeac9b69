// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/PeriodSummary.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace kolvex {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr std::size_t kEstimateRecords = 2001;

// Seconds of a span of days, to the millisecond.
double Seconds(double days) { return std::round(days * kSecondsPerDay * 1000.0) / 1000.0; }

bool TemperatureUnit(const std::string& unit) { return unit == "°C" || unit == "°F" || unit == "K"; }

}  // namespace

// ---- setup ------------------------------------------------------------------

SummarySetup SummarySetupOf(const ArchiveParameterRecord& record, int fieldCount) {
    SummarySetup s;
    const std::optional<RecordingInfo> rec = record.Recording();
    if (rec && rec->PeriodSeconds > 0) s.PeriodSeconds = rec->PeriodSeconds;
    for (int f = 1; f < std::min(fieldCount, kMaxDescriptors); ++f) {
        const FieldDescriptor d = record.Descriptor(f);
        SummaryInput in;
        in.LoggerInput = d.Name == "VSTUP2" ? 2 : d.Name == "VSTUP1" ? 1 : f;
        in.Column = f - 1;
        in.Name = d.Label.empty() ? d.Name : d.Label;
        in.Unit = d.Unit;
        in.Decimals = std::clamp(d.Decimals, 0, 7);
        in.Temperature = TemperatureUnit(d.Unit);
        if (rec && rec->Input[in.LoggerInput - 1].Known) {
            const InputRecording& r = rec->Input[in.LoggerInput - 1];
            in.Temperature = r.Temperature;
            in.Low = r.Low;
            in.High = r.High;
        }
        s.Inputs.push_back(in);
    }
    return s;
}

double EstimatePeriodSeconds(const std::vector<double>& times) {
    std::map<long long, long long> counts;
    for (std::size_t i = 1; i < times.size(); ++i) {
        const long long s = std::llround((times[i] - times[i - 1]) * kSecondsPerDay);
        if (s > 0) ++counts[s];
    }
    long long best = 0, bestCount = 0;
    for (const auto& [s, c] : counts)
        if (c > bestCount) {  // ascending keys: the shorter wins a tie
            best = s;
            bestCount = c;
        }
    return static_cast<double>(best);
}

// ---- the pass -----------------------------------------------------------------

struct SummaryBuilder::Track {
    InputSummary Sum;
    bool Has = false;
    double PrevT = 0;
    int PrevState = 0;  // -1 below, 0 within, +1 above
    double Shift = 0, S1 = 0, S2 = 0;
    double ExpSum = 0, LastV = std::numeric_limits<double>::quiet_NaN(), LastExp = 0;
    bool MktValid = true;
    bool Open = false;
    Excursion Cur;  // Seconds in days while open
    double CoveredDays = 0, AboveDays = 0, BelowDays = 0;
};

SummaryBuilder::SummaryBuilder(const SummarySetup& setup) : setup_(setup) {
    for (const SummaryInput& in : setup_.Inputs) {
        Track k;
        k.Sum.Input = in;
        tracks_.push_back(k);
    }
    period_ = setup_.PeriodSeconds > 0 ? setup_.PeriodSeconds / kSecondsPerDay : 0;
    cap_ = gap_ = 1.5 * period_;
    out_.PeriodSeconds = setup_.PeriodSeconds;
    out_.PeriodEstimated = setup_.PeriodEstimated;
    out_.DeltaHOverR = setup_.DeltaHOverR;
}

SummaryBuilder::~SummaryBuilder() = default;

// The value before stood for `duration` days.
void SummaryBuilder::Close(Track& k, double duration) {
    k.CoveredDays += duration;
    if (k.PrevState > 0) k.AboveDays += duration;
    if (k.PrevState < 0) k.BelowDays += duration;
    if (k.Open) {
        k.Cur.Seconds += duration;
        k.Cur.End = k.PrevT + duration;
    }
}

void SummaryBuilder::Add(double time, const double* values, const std::uint8_t* empty) {
    if (out_.Records > 0) {
        const double dt = time - prev_;
        if (dt <= 0) {
            out_.ClockJumps.push_back({prev_, time});
        } else if (gap_ > 0 && dt > gap_) {
            const std::int64_t missing = std::max<std::int64_t>(std::llround(dt / period_) - 1, 0);
            out_.Gaps.push_back({prev_, time, missing});
            out_.MissingRecords += missing;
        }
    } else {
        out_.First = time;
    }
    ++out_.Records;
    out_.Last = time;
    prev_ = time;

    for (Track& k : tracks_) {
        const int col = k.Sum.Input.Column;
        if (empty[col]) {
            ++k.Sum.Empty;
            continue;
        }
        const double v = values[col];
        InputSummary& s = k.Sum;
        if (k.Has) {
            double d = time - k.PrevT;
            if (d < 0) d = 0;
            if (cap_ > 0 && d > cap_) d = cap_;
            Close(k, d);
        } else {
            k.Shift = v;
            s.Min = s.Max = v;
            s.MinTime = s.MaxTime = time;
        }
        k.Has = true;
        ++s.Values;
        if (v < s.Min) {
            s.Min = v;
            s.MinTime = time;
        } else if (v > s.Max) {
            s.Max = v;
            s.MaxTime = time;
        }
        const double x = v - k.Shift;
        k.S1 += x;
        k.S2 += x * x;
        if (s.Input.Temperature) {
            // Neighbouring values are often equal: one exponential for them.
            if (v != k.LastV) {
                const double kelvin = v + kZeroCelsiusKelvin;
                if (kelvin > 0) {
                    k.LastExp = std::exp(-setup_.DeltaHOverR / kelvin);
                } else {
                    k.MktValid = false;
                    k.LastExp = 0;
                }
                k.LastV = v;
            }
            k.ExpSum += k.LastExp;
        }

        const int state = (s.Input.High && v > *s.Input.High) ? 1 : (s.Input.Low && v < *s.Input.Low) ? -1 : 0;
        if (k.Open && state != (k.Cur.Side == LimitSide::Above ? 1 : -1)) {
            k.Cur.Seconds = Seconds(k.Cur.Seconds);
            (k.Cur.Side == LimitSide::Above ? s.ExcursionsAbove : s.ExcursionsBelow)++;
            s.Excursions.push_back(k.Cur);
            k.Open = false;
        }
        if (state != 0) {
            if (!k.Open) {
                k.Open = true;
                k.Cur = Excursion{};
                k.Cur.Side = state > 0 ? LimitSide::Above : LimitSide::Below;
                k.Cur.Start = k.Cur.End = time;
                k.Cur.Extreme = v;
                k.Cur.ExtremeTime = time;
            }
            ++k.Cur.Values;
            if (state > 0 ? v > k.Cur.Extreme : v < k.Cur.Extreme) {
                k.Cur.Extreme = v;
                k.Cur.ExtremeTime = time;
            }
        }
        k.PrevT = time;
        k.PrevState = state;
    }
}

PeriodSummary SummaryBuilder::Finish() {
    for (Track& k : tracks_) {
        InputSummary& s = k.Sum;
        if (k.Has) {
            Close(k, period_);  // the last value stands for one logging period
            if (k.Open) {
                k.Cur.Seconds = Seconds(k.Cur.Seconds);
                (k.Cur.Side == LimitSide::Above ? s.ExcursionsAbove : s.ExcursionsBelow)++;
                s.Excursions.push_back(k.Cur);
                k.Open = false;
            }
            const double n = static_cast<double>(s.Values);
            s.Mean = k.Shift + k.S1 / n;
            s.StdDev = s.Values > 1 ? std::sqrt(std::max(0.0, (k.S2 - k.S1 * k.S1 / n) / (n - 1))) : 0;
            if (s.Input.Temperature && k.MktValid && k.ExpSum > 0)
                s.Mkt = setup_.DeltaHOverR / -std::log(k.ExpSum / n) - kZeroCelsiusKelvin;
        }
        s.CoveredSeconds = Seconds(k.CoveredDays);
        s.SecondsAbove = Seconds(k.AboveDays);
        s.SecondsBelow = Seconds(k.BelowDays);
        out_.Inputs.push_back(s);
    }
    tracks_.clear();
    return out_;
}

// ---- the two forms ------------------------------------------------------------

PeriodSummary SummariseRecords(const std::vector<SummaryRecord>& records, const ArchiveParameterRecord& record,
                               int fieldCount, double deltaHOverR) {
    SummarySetup setup = SummarySetupOf(record, fieldCount);
    setup.DeltaHOverR = deltaHOverR;
    if (setup.PeriodSeconds <= 0) {
        std::vector<double> times;
        for (std::size_t i = 0; i < records.size() && i < kEstimateRecords; ++i) times.push_back(records[i].Time);
        setup.PeriodSeconds = EstimatePeriodSeconds(times);
        setup.PeriodEstimated = true;
    }
    SummaryBuilder b(setup);
    for (const SummaryRecord& r : records) b.Add(r.Time, r.Value, r.Empty);
    PeriodSummary s = b.Finish();
    if (!records.empty()) {
        s.All = false;
        s.Start = records.front().Time;
        s.End = records.back().Time;
    }
    return s;
}

double TablePeriodSeconds(Table& table, const ArchiveParameterRecord& record, bool* estimated) {
    const std::optional<RecordingInfo> rec = record.Recording();
    if (estimated) *estimated = false;
    if (rec && rec->PeriodSeconds > 0) return rec->PeriodSeconds;
    if (estimated) *estimated = true;
    std::vector<double> times;
    if (!table.IsOpen() || table.RecordCount() == 0) return 0;
    table.Scan({0}, 1, [&](const ScanBlock& blk) {
        for (std::size_t r = 0; r < blk.Rows && times.size() < kEstimateRecords; ++r)
            times.push_back(blk.Values[r * blk.Fields]);
        return times.size() < kEstimateRecords;
    });
    return EstimatePeriodSeconds(times);
}

PeriodSummary SummariseTable(Table& table, const ArchiveParameterRecord& record, const SummaryPeriod& period,
                             double deltaHOverR, const std::function<bool(int)>& progress) {
    const int n = table.FieldCount();
    SummarySetup setup = SummarySetupOf(record, n);
    setup.DeltaHOverR = deltaHOverR;
    setup.PeriodSeconds = TablePeriodSeconds(table, record, &setup.PeriodEstimated);
    std::vector<int> fields{0};
    for (const SummaryInput& in : setup.Inputs) fields.push_back(in.Column + 1);
    SummaryBuilder b(setup);
    const std::int64_t count = table.RecordCount();
    std::int64_t passed = 0;
    int lastPercent = -1;
    const bool all = period.All;
    const double start = period.Start, end = period.End;
    constexpr std::uint8_t kNone[2] = {1, 1};
    table.Scan(fields, 1, [&](const ScanBlock& blk) {
        const std::size_t width = blk.Fields;
        for (std::size_t r = 0; r < blk.Rows; ++r) {
            const double* v = blk.Values + r * width;
            const double t = v[0];
            if (!all && (t < start || t > end)) continue;
            b.Add(t, width > 1 ? v + 1 : v, width > 1 ? blk.Nulls + r * width + 1 : kNone);
        }
        passed += static_cast<std::int64_t>(blk.Rows);
        if (!progress) return true;
        const int percent = count > 0 ? static_cast<int>(passed * 100 / count) : 100;
        if (percent == lastPercent) return true;
        lastPercent = percent;
        return progress(percent);
    });
    PeriodSummary s = b.Finish();
    s.All = all;
    s.Start = start;
    s.End = end;
    return s;
}

}  // namespace kolvex
