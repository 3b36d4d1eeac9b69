// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The period selection shared by the record deletion, chart settings, print
// and export dialogs, without any toolkit: the state of the group's controls,
// the rules that turn them into a start and an end, loading and storing a
// period block, the defaults, the step selector and the step thinning.

#include <array>
#include <cstdint>
#include <string>

#include "base/ConfigRecord.h"
#include "base/Language.h"

namespace kolvex {

inline constexpr int kStepCount = 17;
inline constexpr int kDefaultStepIndex = 9;
// Seconds of each item of the step selector ("  5 sec" .. "  1 den").
int StepSeconds(int index);
// Caption of a step item (the same in both languages); "" for the empty 18th item.
std::string StepCaption(int index);
int StepUp(int index);    // above 15 becomes 16, else + 1
int StepDown(int index);  // 0 or below becomes 0, else - 1

std::string PeriodKindCaption(int kind, Lang lang);
std::string MonthName(int monthIndex);  // "Leden" .. "Prosinec" in both languages
std::string CurrentPeriodCaption(int kind, Lang lang);  // caption of SetDatum_SB; "" when hidden

// Visibility and enabling of the group's controls for a kind.
struct PeriodLayout {
    bool DayShown, DayEnabled;
    bool MonthShown, MonthEnabled;
    bool YearShown, YearEnabled;
    bool WeekShown, WeekEnabled;
    bool StartEndShown, StartEndEditable;
    bool CurrentShown;
};
PeriodLayout LayoutForKind(int kind);

// Which dialog a group belongs to: they differ in the range check on load.
enum class PeriodDialog { Erase, Chart, Print, Export };

// The state of a period group. The dialog moves values between its controls
// and this model; every change of a control calls the matching handler.
class PeriodModel {
public:
    static constexpr int kYearMin = 2001, kYearMax = 2100;

    explicit PeriodModel(PeriodDialog dialog = PeriodDialog::Print) : dialog_(dialog) {}

    int Kind() const { return kind_; }
    int Year() const { return year_; }
    int MonthIndex() const { return month_; }
    int Day() const { return day_; }
    int Week() const { return week_; }
    double Start() const { return start_; }
    double End() const { return end_; }
    bool IsAll() const { return kind_ == pkAll; }
    bool Busy() const { return busy_; }

    // Loads a stored block (with the repairs of the dialog) and applies its kind.
    // `now` is the current local date-time used for the range repair.
    void Load(const PeriodSettings& block, double now);
    void Store(PeriodSettings& block) const;

    // Handlers of the controls; they do nothing while the group is busy.
    void ChooseKind(int kind);
    void SetDay(int day);
    void SetYear(int year);
    void SetWeek(int week);
    void MonthUp();
    void MonthDown();
    // The current-period button (kinds 0..3), with today's date.
    void CurrentPeriod(double today);
    // The user edited the start or end (only the chosen kind lets them).
    void SetStart(double value) { start_ = value; }
    void SetEnd(double value) { end_ = value; }

    // The period handed to an action: start = end = 0 for the kind all.
    double EffectiveStart() const { return IsAll() ? 0 : start_; }
    double EffectiveEnd() const { return IsAll() ? 0 : end_; }

    // Recomputes start and end from the controls for the kinds 0..3.
    void Compute();

private:
    PeriodDialog dialog_;
    int kind_ = pkDay;
    int year_ = kYearMin, month_ = 0, day_ = 1, week_ = 1;
    double start_ = 0, end_ = 0;
    bool busy_ = false;
};

// Defaults of a block when there is no configuration file.
PeriodSettings DefaultPeriodSettings(int kind, double now);
// The end of a day: 23:59:59.999 after its midnight.
double EndOfDay(double midnight);

// Step thinning of printing and export: feed the records in table order;
// Take() says whether a record is listed.
class StepThinner {
public:
    // start = end = 0 means no limit; a step of 0 takes every record.
    StepThinner(double start, double end, int stepSeconds);
    bool Take(double timestamp);
    // Whether Take takes every record whatever its time stamp.
    bool TakesEvery() const { return all_ && step_ == 0; }

private:
    std::int64_t threshold_;  // milliseconds
    std::int64_t end_;
    bool all_;
    int step_;
};

}  // namespace kolvex
