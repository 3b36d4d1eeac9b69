// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/PeriodSelection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "logger/Conversion.h"
#include "base/DateTime.h"

namespace kolvex {

namespace {

constexpr int kStepSeconds[kStepCount] = {5,    10,   15,   30,    60,    120,   300,   600,  900,
                                          1800, 3600, 7200, 14400, 21600, 28800, 43200, 86400};
constexpr const char* kStepCaptions[kStepCount] = {"  5 sec", "10 sec", "15 sec", "30 sec", "  1 min", "  2 min",
                                                   "  5 min", "10 min", "15 min", "30 min", "  1 hod", "  2 hod",
                                                   "  4 hod", "  6 hod", "  8 hod", "12 hod", "  1 den"};
constexpr const char* kMonths[12] = {"Leden",   "Únor",  "Březen", "Duben",  "Květen",   "Červen",
                                     "Červenec", "Srpen", "Září",   "Říjen", "Listopad", "Prosinec"};

constexpr double kMsDay = 86400000.0;

double Midnight(int y, int m, int d) { return *TryEncodeDateTime(y, m, d, 0, 0, 0, 0); }

}  // namespace

int StepSeconds(int index) { return index >= 0 && index < kStepCount ? kStepSeconds[index] : 0; }
std::string StepCaption(int index) { return index >= 0 && index < kStepCount ? kStepCaptions[index] : ""; }
int StepUp(int index) { return index > 15 ? 16 : index + 1; }
int StepDown(int index) { return index <= 0 ? 0 : index - 1; }

std::string PeriodKindCaption(int kind, Lang lang) {
    static constexpr const char* cs[6] = {"den", "týden", "měsíc", "rok", "volba", "vše"};
    static constexpr const char* en[6] = {"day", "week", "month", "year", "selct", "all"};
    if (kind < 0 || kind > 5) return "";
    return lang == Lang::English ? en[kind] : cs[kind];
}

std::string MonthName(int monthIndex) { return kMonths[std::clamp(monthIndex, 0, 11)]; }

std::string CurrentPeriodCaption(int kind, Lang lang) {
    switch (kind) {
        case pkDay: return Tr(lang, "  Dnes", "  Today");
        case pkWeek: return Tr(lang, "Tento týden", "This week");
        case pkMonth: return Tr(lang, "Tento měsíc", "This month");
        case pkYear: return Tr(lang, "   Letos", "This year");
        default: return "";
    }
}

PeriodLayout LayoutForKind(int kind) {
    switch (kind) {
        case pkDay: return {true, true, true, true, true, true, false, false, true, false, true};
        case pkWeek: return {false, false, false, false, true, true, true, true, true, false, true};
        case pkMonth: return {true, false, true, true, true, true, false, false, true, false, true};
        case pkYear: return {true, false, true, false, true, true, false, false, true, false, true};
        case pkChosen: return {true, false, true, false, true, false, false, false, true, true, false};
        default: return {false, false, false, false, false, false, false, false, false, false, false};
    }
}

double EndOfDay(double midnight) { return midnight + (kMsDay - 1) / kMsDay; }

void PeriodModel::Compute() {
    const int y = std::clamp(year_, kYearMin, kYearMax);
    const int m = std::clamp(month_, 0, 11) + 1;
    switch (kind_) {
        case pkDay: {
            const int d = std::min(std::clamp(day_, 1, 31), DaysInMonth(y, m));
            start_ = Midnight(y, m, d);
            end_ = EndOfDay(start_);
            break;
        }
        case pkWeek:
            start_ = WeekStart(std::clamp(week_, 1, 53), y);
            end_ = EndOfDay(start_ + 6);
            break;
        case pkMonth:
            start_ = Midnight(y, m, 1);
            end_ = EndOfDay(Midnight(y, m, DaysInMonth(y, m)));
            break;
        case pkYear:
            start_ = Midnight(y, 1, 1);
            end_ = EndOfDay(Midnight(y, 12, 31));
            break;
        default:
            break;  // the chosen and all kinds keep their start and end
    }
}

void PeriodModel::ChooseKind(int kind) {
    if (busy_) return;
    busy_ = true;
    kind_ = std::clamp(kind, 0, 5);
    if (kind_ == pkWeek) week_ = std::clamp(WeekOfYear(start_), 1, 53);
    if (kind_ == pkMonth) day_ = 1;
    if (kind_ == pkYear) {
        day_ = 1;
        month_ = 0;
    }
    Compute();
    busy_ = false;
}

void PeriodModel::SetDay(int day) {
    if (busy_) return;
    day_ = std::clamp(day, 1, 31);
    Compute();
}

void PeriodModel::SetYear(int year) {
    if (busy_) return;
    year_ = std::clamp(year, kYearMin, kYearMax);
    Compute();
}

void PeriodModel::SetWeek(int week) {
    if (busy_) return;
    week_ = std::clamp(week, 1, 53);
    Compute();
}

void PeriodModel::MonthUp() {
    if (busy_) return;
    month_ = std::min(month_ + 1, 11);
    Compute();
}

void PeriodModel::MonthDown() {
    if (busy_) return;
    month_ = std::max(month_ - 1, 0);
    Compute();
}

void PeriodModel::CurrentPeriod(double today) {
    const DateTimeParts p = DecodeDateTime(today);
    year_ = std::clamp(p.Year, kYearMin, kYearMax);
    month_ = p.Month - 1;
    day_ = p.Day;
    week_ = std::clamp(WeekOfYear(today), 1, 53);
    if (kind_ == pkMonth) day_ = 1;
    if (kind_ == pkYear) {
        day_ = 1;
        month_ = 0;
    }
    Compute();
}

void PeriodModel::Load(const PeriodSettings& b, double now) {
    busy_ = true;
    kind_ = std::clamp(b.Kind, 0, 5);
    year_ = std::clamp<int>(b.Year, kYearMin, kYearMax);
    month_ = b.MonthIndex > 11 ? 11 : b.MonthIndex;
    day_ = std::clamp<int>(b.Day, 1, 31);
    week_ = std::clamp<int>(b.Week, 1, 53);
    start_ = b.Start;
    end_ = b.End;
    if (dialog_ != PeriodDialog::Chart) {
        const double lo = Midnight(2001, 1, 1), hi = Midnight(2100, 12, 31);
        if (!(start_ >= lo && start_ <= hi)) start_ = now;
        if (!(end_ >= lo && end_ <= hi)) end_ = now;
    } else {
        // The chart's period may lie anywhere, but within the calendar.
        if (!IsDateTimeInRange(start_)) start_ = now;
        if (!IsDateTimeInRange(end_)) end_ = now;
    }
    busy_ = false;
    ChooseKind(kind_);
}

void PeriodModel::Store(PeriodSettings& b) const {
    b.Kind = kind_;
    b.Year = static_cast<std::uint16_t>(year_);
    b.MonthIndex = static_cast<std::uint16_t>(month_);
    b.Day = static_cast<std::uint16_t>(day_);
    b.Week = static_cast<std::uint16_t>(week_);
    b.Start = start_;
    b.End = end_;
}

PeriodSettings DefaultPeriodSettings(int kind, double now) {
    const DateTimeParts p = DecodeDateTime(now);
    PeriodSettings b;
    b.Kind = kind;
    b.Start = Midnight(p.Year, p.Month, p.Day);
    b.End = EndOfDay(b.Start);
    b.Year = static_cast<std::uint16_t>(p.Year);
    b.MonthIndex = static_cast<std::uint16_t>(p.Month - 1);
    b.Day = static_cast<std::uint16_t>(p.Day);
    b.Week = static_cast<std::uint16_t>(WeekOfYear(now));
    return b;
}

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// A date-time value as whole milliseconds since the epoch of date-time values.
std::int64_t ToMs(double t) { return std::llround(t * static_cast<double>(kMsPerDay)); }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

StepThinner::StepThinner(double start, double end, int stepSeconds)
    : all_(start == 0 && end == 0), step_(stepSeconds > 0 ? stepSeconds : 0) {
    threshold_ = all_ ? std::numeric_limits<std::int64_t>::min() : ToMs(start);
    end_ = ToMs(end);
}

bool StepThinner::Take(double timestamp) {
    if (all_ && step_ == 0) return true;  // every record, whatever its time stamp
    // Whole milliseconds throughout, so that a half second is an exact tie.
    const std::int64_t t = ToMs(timestamp);
    if (t < threshold_) return false;
    if (!all_ && t > end_) return false;
    if (step_ == 0) return true;  // no step: every record of the period
    const std::int64_t day = FloorDiv(t, kMsPerDay);
    const std::int64_t ms = t - day * kMsPerDay;
    std::int64_t q = ms / 1000;
    const std::int64_t rest = ms % 1000;
    if (rest > 500 || (rest == 500 && q % 2 != 0)) ++q;
    threshold_ = day * kMsPerDay + std::int64_t{1000} * step_ * (q / step_ + 1);
    return true;
}

}  // namespace kolvex
