// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LiveTrend.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "logger/Conversion.h"
#include "base/DateTime.h"

namespace kolvex {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::optional<double> Finite(double v) {
    if (std::isfinite(v)) return v;
    return std::nullopt;
}

// Alarm limits in the measure of the record range (degrees Celsius for
// temperatures), by the input's kind; nullopt where they cannot be computed.
std::pair<std::optional<double>, std::optional<double>> AlarmLimitsOf(const LoggerImage& image, int n,
                                                                      const InputTable* table) {
    const InputParameters& p = image.Parameters.Input[n];
    const std::uint8_t code = image.InputInfo.InputType[n];
    try {
        switch (code & 0x0F) {
            case 1:
            case 9:
                return {Finite(CurrentAlarmFromRaw(image, n, p.AlarmLowRaw)),
                        Finite(CurrentAlarmFromRaw(image, n, p.AlarmHighRaw))};
            case 5:
            case 7:
                return {Finite(TemperatureFromRaw(image, n, p.AlarmLowRaw)),
                        Finite(TemperatureFromRaw(image, n, p.AlarmHighRaw))};
            case 15:
                if (table && (code == 47 || code == 63))
                    return {Finite(TableAlarmFromRaw(*table, p.AlarmLowRaw)),
                            Finite(TableAlarmFromRaw(*table, p.AlarmHighRaw))};
                break;
            default:
                break;
        }
    } catch (const std::exception&) {
        // A limit that cannot be computed is not watched.
    }
    return {std::nullopt, std::nullopt};
}

std::string Fixed(double v, int decimals, char decimalSeparator) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", std::clamp(decimals, 0, 15), v);
    std::string s = b;
    for (char& c : s)
        if (c == '.') c = decimalSeparator;
    return s;
}

std::string ClockText(double dateTime) {
    const DateTimeParts t = DecodeDateTime(dateTime);
    char b[16];
    std::snprintf(b, sizeof b, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
    return b;
}

}  // namespace

std::array<LiveInput, 2> DescribeLiveInputs(const LoggerImage& image, const InputTable* const tables[2]) {
    std::array<LiveInput, 2> inputs;
    for (int n = 0; n < 2; ++n) {
        LiveInput& in = inputs[static_cast<std::size_t>(n)];
        const InputParameters& p = image.Parameters.Input[n];
        in.Recorded = (image.Parameters.ArchiveFlags & (n == 0 ? kFlagRecordInput1 : kFlagRecordInput2)) != 0;
        in.Name = ReadFixedText(p.InputName.data(), 10);
        in.Unit = p.Unit();
        const auto range = RecordRange(image, n);
        in.RangeLow = range.first;
        in.RangeHigh = range.second;
        const double span = in.RangeHigh - in.RangeLow;
        try {
            in.Decimals = DecimalsForSpan(span);
        } catch (const std::exception&) {
            in.Decimals = 1;  // the panel cannot show such an input anyway
        }
        const auto limits = AlarmLimitsOf(image, n, tables ? tables[n] : nullptr);
        in.AlarmLow = limits.first;
        in.AlarmHigh = limits.second;
        // A crossing is counted again only after the value has come back by
        // 1 % of the record range, and at least by one shown digit, so that
        // noise around a limit does not repeat it.
        const double digit = std::pow(10.0, -in.Decimals);
        in.Hysteresis = std::max(std::isfinite(span) ? std::fabs(span) / 100.0 : 0.0, digit);
    }
    return inputs;
}

double LiveValue(const LoggerImage& image, int input, std::uint16_t raw) {
    return ConvertRawValue(image, input, static_cast<double>(raw & 0xFFC0u));
}

// ---- history ------------------------------------------------------------------

LiveHistory::LiveHistory(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 4)) {
    points_.reserve(std::min<std::size_t>(capacity_, 4096));
}

void LiveHistory::Add(double time, const std::optional<double> (&values)[2]) {
    if (points_.size() >= capacity_) Thin();
    LivePoint p;
    p.Time = time;
    for (int i = 0; i < 2; ++i) p.Value[i] = values[i] ? *values[i] : kNaN;
    points_.push_back(p);
}

void LiveHistory::AddGap(double time) {
    if (!points_.empty() && std::isnan(points_.back().Value[0]) && std::isnan(points_.back().Value[1])) return;
    Add(time, {std::nullopt, std::nullopt});
}

void LiveHistory::Thin() {
    // The older half keeps every second point; a pair with a gap in an input
    // keeps the gap, so no line is drawn across a failure.
    const std::size_t half = points_.size() / 2 & ~std::size_t{1};
    std::size_t out = 0;
    for (std::size_t i = 0; i < half; i += 2) {
        LivePoint kept = points_[i];
        for (int k = 0; k < 2; ++k)
            if (std::isnan(points_[i + 1].Value[k])) kept.Value[k] = kNaN;
        points_[out++] = kept;
    }
    const auto tail = points_.begin() + static_cast<std::ptrdiff_t>(half);
    std::move(tail, points_.end(), points_.begin() + static_cast<std::ptrdiff_t>(out));
    points_.resize(out + (points_.size() - half));
}

// ---- statistics ---------------------------------------------------------------

void LiveStatistics::Add(double time, double value) {
    if (!std::isfinite(value)) return;
    if (count_ == 0 || value < min_) {
        min_ = value;
        minTime_ = time;
    }
    if (count_ == 0 || value > max_) {
        max_ = value;
        maxTime_ = time;
    }
    sum_ += value;
    ++count_;
}

std::string StatisticsText(const LiveStatistics& s, int decimals, char decimalSeparator, Lang language) {
    const std::string mean = Tr(language, "průměr", "mean");
    if (s.Count() == 0) return "min –  max –  " + mean + " –";
    return "min " + Fixed(s.Min(), decimals, decimalSeparator) + " (" + ClockText(s.MinTime()) + ")  max " +
           Fixed(s.Max(), decimals, decimalSeparator) + " (" + ClockText(s.MaxTime()) + ")  " + mean + " " +
           Fixed(s.Mean(), decimals, decimalSeparator);
}

// ---- alarm crossings ----------------------------------------------------------

void AlarmWatch::SetLimits(std::optional<double> low, std::optional<double> high, double hysteresis) {
    low_ = low;
    high_ = high;
    hysteresis_ = std::max(hysteresis, 0.0);
    state_ = AlarmState::Normal;
}

AlarmState AlarmWatch::Add(double value, bool* crossed) {
    if (crossed) *crossed = false;
    if (!std::isfinite(value)) return state_;
    AlarmState next = state_;
    if (high_ && value > *high_) {
        next = AlarmState::High;
    } else if (low_ && value < *low_) {
        next = AlarmState::Low;
    } else if (state_ == AlarmState::High && (!high_ || value <= *high_ - hysteresis_)) {
        next = AlarmState::Normal;
    } else if (state_ == AlarmState::Low && (!low_ || value >= *low_ + hysteresis_)) {
        next = AlarmState::Normal;
    }
    if (crossed && next != AlarmState::Normal && next != state_) *crossed = true;
    state_ = next;
    return state_;
}

std::string AlarmNotificationText(int input, const LiveInput& in, AlarmState state, double value,
                                  char decimalSeparator, Lang language) {
    const bool high = state == AlarmState::High;
    const std::optional<double>& limit = high ? in.AlarmHigh : in.AlarmLow;
    const std::string unit = in.Unit.empty() ? "" : " " + in.Unit;
    std::string text = Tr(language, "Vstup ", "Input ") + std::to_string(input + 1);
    if (!in.Name.empty()) text += " (" + in.Name + ")";
    text += ": " + Fixed(value, in.Decimals, decimalSeparator) + unit + " ";
    text += high ? Tr(language, "nad horní mezí alarmu", "above the upper alarm limit")
                 : Tr(language, "pod dolní mezí alarmu", "below the lower alarm limit");
    if (limit) text += " " + Fixed(*limit, in.Decimals, decimalSeparator) + unit;
    return text;
}

}  // namespace kolvex
