// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the live display keeps beyond the two numbers of its panels: the
// history of the readings since it was switched on (bounded, the oldest part
// thinned, failed readings kept as gaps), the statistics of each input and the
// alarm watch that reports each crossing of an alarm limit once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Language.h"
#include "logger/Records.h"

namespace kolvex {

// ---- what the live display knows of an input --------------------------------

struct LiveInput {
    bool Recorded = false;     // shown in a panel, read into the history
    std::string Name, Unit;    // the panel's name (10 characters) and unit
    int Decimals = 1;          // as the panel formats the value
    double RangeLow = 0, RangeHigh = 0;  // the record range
    std::optional<double> AlarmLow, AlarmHigh;
    double Hysteresis = 0;     // how far a value must come back before a new crossing counts
};

// The inputs as the live display shows them, from the logger image read when
// the display was switched on. A table input's alarm limits need its
// characteristic table (`tables[n]`, null when it could not be read: then the
// input has no limits). Limits that cannot be computed are left out.
std::array<LiveInput, 2> DescribeLiveInputs(const LoggerImage& image, const InputTable* const tables[2]);

// The value a panel shows for a raw reading (the converter noise bits
// cleared, as the panel's text), in the record range's measure.
double LiveValue(const LoggerImage& image, int input, std::uint16_t raw);

// ---- history ------------------------------------------------------------------

struct LivePoint {
    double Time = 0;        // date-time value (days since 1899-12-30)
    double Value[2] = {};   // NaN: no value (a gap, or the input not recorded)
};

// The readings since the display was switched on. At most `capacity` points
// are kept: when it is reached, the older half is thinned to every second
// point, so the newest readings always stay at full resolution. A failed
// reading adds one gap point (consecutive failures add no more); a gap
// survives the thinning.
class LiveHistory {
public:
    // Three days at one reading every five seconds.
    static constexpr std::size_t kDefaultCapacity = 3 * 17280;

    explicit LiveHistory(std::size_t capacity = kDefaultCapacity);
    void Add(double time, const std::optional<double> (&values)[2]);
    void AddGap(double time);
    void Clear() { points_.clear(); }
    const std::vector<LivePoint>& Points() const { return points_; }

private:
    void Thin();

    std::size_t capacity_;
    std::vector<LivePoint> points_;
};

// ---- statistics ---------------------------------------------------------------

class LiveStatistics {
public:
    void Add(double time, double value);
    void Reset() { *this = LiveStatistics(); }
    std::int64_t Count() const { return count_; }
    double Min() const { return min_; }
    double Max() const { return max_; }
    double MinTime() const { return minTime_; }
    double MaxTime() const { return maxTime_; }
    double Mean() const { return count_ ? sum_ / static_cast<double>(count_) : 0.0; }

private:
    std::int64_t count_ = 0;
    double sum_ = 0, min_ = 0, max_ = 0, minTime_ = 0, maxTime_ = 0;
};

// One line of statistics: "min 21.3 (10:01:05)  max 23.9 (10:04:40)  průměr
// 22.4" (English "mean"), with the input's decimals and the regional decimal
// separator; "–" before the first reading.
std::string StatisticsText(const LiveStatistics& s, int decimals, char decimalSeparator, Lang language);

// ---- alarm crossings ----------------------------------------------------------

enum class AlarmState { Normal, Low, High };

// The crossing rule: a value below the lower limit enters Low, above the upper
// limit High; each entry is one crossing. Low is left when the value has come
// back to at least lower limit + hysteresis, High when it has come back to at
// most upper limit - hysteresis; a value beyond the other limit is a new
// crossing at once. A failed reading changes nothing.
class AlarmWatch {
public:
    void SetLimits(std::optional<double> low, std::optional<double> high, double hysteresis);
    // The state after this value; true in `crossed` when a crossing happened.
    AlarmState Add(double value, bool* crossed = nullptr);
    AlarmState State() const { return state_; }
    void Reset() { state_ = AlarmState::Normal; }

private:
    std::optional<double> low_, high_;
    double hysteresis_ = 0;
    AlarmState state_ = AlarmState::Normal;
};

// The notification of a crossing: which input, the value and the limit.
std::string AlarmNotificationText(int input, const LiveInput& in, AlarmState state, double value,
                                  char decimalSeparator, Lang language);

}  // namespace kolvex
