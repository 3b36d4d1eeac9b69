// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The summary of a period of archive records, per recorded input: record
// counts, first and last time stamp, minimum and maximum with their times,
// mean and standard deviation, the time above and below the alarm limits,
// the excursions beyond them, the gaps in the recording, the clock jumps and,
// for temperatures, the mean kinetic temperature. One pass, no toolkit.
//
// Rules:
// - A record is beyond a limit when its value lies strictly above the upper
//   or strictly below the lower limit; a value equal to a limit is within.
// - Each value stands for the time until the input's next value, at most 1.5
//   logging periods (a record after a gap or a clock jump does not stretch
//   the one before it); the last value of the period stands for one logging
//   period. An excursion is a run of consecutive values beyond the same
//   limit: it starts at its first value and ends when its last value stops
//   standing (normally at the time stamp of the next value, back within).
// - An empty value is skipped (it neither ends nor continues anything) and
//   counted; it is never read as 0.
// - A gap is an interval between consecutive records of the period longer
//   than 1.5 logging periods; the records missing are round(interval /
//   period) - 1. A clock jump is a time stamp earlier than or equal to the
//   one before it (in table order).
// - Mean and standard deviation (sample, n - 1) are over the values, not
//   weighted by time; so is the mean kinetic temperature
//   MKT = (dH/R) / -ln(sum(exp(-(dH/R) / T_i)) / n), T_i in kelvin.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/ParameterFile.h"
#include "archive/Table.h"

namespace kolvex {

// dH/R of the mean kinetic temperature, in kelvin (dH = 83.144 kJ/mol).
inline constexpr double kDefaultDeltaHOverR = 10000.0;
inline constexpr double kZeroCelsiusKelvin = 273.15;

// What the summary knows of one recorded input.
struct SummaryInput {
    int LoggerInput = 1;  // 1 or 2
    int Column = 0;       // its value among a record's values
    std::string Name, Unit;
    int Decimals = 1;
    bool Temperature = false;
    std::optional<double> Low, High;  // alarm limits
};

struct SummarySetup {
    std::vector<SummaryInput> Inputs;  // at most two
    double PeriodSeconds = 0;          // the logging period; 0 when not known
    bool PeriodEstimated = false;      // taken from the records' spacing
    double DeltaHOverR = kDefaultDeltaHOverR;
};

// The recorded inputs of a table of `fieldCount` fields by its parameter
// record (field 1 and 2 by their descriptors; names, units, decimals, and
// limits, temperature flag and logging period from the recording block).
// Column k is the value of field k + 1. A table without a recording block
// has no limits; a unit "°C", "°F" or "K" marks a temperature then.
SummarySetup SummarySetupOf(const ArchiveParameterRecord& record, int fieldCount);

enum class LimitSide { Below, Above };

struct Excursion {
    LimitSide Side = LimitSide::Above;
    double Start = 0, End = 0;  // date-time values
    double Seconds = 0;         // the time its values stand for
    double Extreme = 0, ExtremeTime = 0;
    std::int64_t Values = 0;
};

struct DataGap {
    double Start = 0, End = 0;  // the records either side
    std::int64_t Missing = 0;
};

struct ClockJump {
    double Before = 0, After = 0;  // the time stamp before and the one not after it
};

struct InputSummary {
    SummaryInput Input;
    std::int64_t Values = 0, Empty = 0;
    // Valid when Values > 0 (first occurrence of the extremes).
    double Min = 0, MinTime = 0, Max = 0, MaxTime = 0, Mean = 0, StdDev = 0;
    double CoveredSeconds = 0;  // the time all its values stand for
    double SecondsAbove = 0, SecondsBelow = 0;
    std::int64_t ExcursionsAbove = 0, ExcursionsBelow = 0;
    std::vector<Excursion> Excursions;  // in time order
    std::optional<double> Mkt;          // degrees Celsius, for temperatures

    // Share of the covered time, 0..1 (0 without covered time).
    double ShareAbove() const { return CoveredSeconds > 0 ? SecondsAbove / CoveredSeconds : 0; }
    double ShareBelow() const { return CoveredSeconds > 0 ? SecondsBelow / CoveredSeconds : 0; }
};

struct PeriodSummary {
    bool All = true;
    double Start = 0, End = 0;  // the period asked for (All: the whole table)
    std::int64_t Records = 0;
    double First = 0, Last = 0;  // time stamps of the first and last record (Records > 0)
    double PeriodSeconds = 0;
    bool PeriodEstimated = false;
    double DeltaHOverR = kDefaultDeltaHOverR;
    std::vector<InputSummary> Inputs;
    std::vector<DataGap> Gaps;
    std::int64_t MissingRecords = 0;
    std::vector<ClockJump> ClockJumps;
};

// The pass itself: records in table order, each with the values of the
// setup's columns and their empty flags.
class SummaryBuilder {
public:
    explicit SummaryBuilder(const SummarySetup& setup);
    ~SummaryBuilder();
    SummaryBuilder(const SummaryBuilder&) = delete;
    SummaryBuilder& operator=(const SummaryBuilder&) = delete;
    void Add(double time, const double* values, const std::uint8_t* empty);
    PeriodSummary Finish();

private:
    struct Track;
    void Close(Track& k, double duration);
    SummarySetup setup_;
    std::vector<Track> tracks_;
    PeriodSummary out_;
    double cap_ = 0;    // days; 0 = no cap
    double gap_ = 0;    // days; 0 = no gap rule
    double period_ = 0; // days
    double prev_ = 0;
};

// One record for SummariseRecords: the time stamp and the values of
// logger input 1 and 2 (by the setup's columns), with their empty flags.
struct SummaryRecord {
    double Time = 0;
    double Value[2] = {0, 0};
    std::uint8_t Empty[2] = {0, 0};
};

// The summary of a sequence of records (those of one download, say) against
// the parameter record of their table: its inputs, limits and logging
// period (estimated from the records when the record holds none). This is
// the entry point for checking records against their alarm limits: the
// excursions are in Inputs[k].Excursions.
PeriodSummary SummariseRecords(const std::vector<SummaryRecord>& records, const ArchiveParameterRecord& record,
                               int fieldCount, double deltaHOverR = kDefaultDeltaHOverR);

// The logging period in seconds from the spacing of time stamps: the most
// frequent positive interval in whole seconds (the shorter on a tie); 0
// when there is none.
double EstimatePeriodSeconds(const std::vector<double>& times);

struct SummaryPeriod {
    bool All = true;
    double Start = 0, End = 0;  // inclusive
};
// The period of the print and export dialogs: both 0 for the whole table.
inline SummaryPeriod SummaryPeriodOf(double start, double end) {
    return {start == 0 && end == 0, start, end};
}

// The logging period of the open table: the recording block's, else
// estimated from its first records. `estimated` tells which.
double TablePeriodSeconds(Table& table, const ArchiveParameterRecord& record, bool* estimated = nullptr);

// The summary of the records of the open table in the period, in one pass
// (the cursor stays where it is). `progress` gets the share passed in percent
// and returns false to stop (the summary then covers what was read).
PeriodSummary SummariseTable(Table& table, const ArchiveParameterRecord& record, const SummaryPeriod& period,
                             double deltaHOverR = kDefaultDeltaHOverR,
                             const std::function<bool(int)>& progress = {});

}  // namespace kolvex
