// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Date-time values: 8-byte floating point, days since 1899-12-30 00:00, the
// fraction being the time of day (the convention of the archive tables).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kolvex {

struct DateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
    int DayOfWeek = 6;  // 0 = Sunday .. 6 = Saturday
};

bool IsValidDate(int year, int month, int day);

// Whether a date-time value falls in the years 1 to 9999 (0001-01-01 00:00 to
// 9999-12-31 23:59:59.999), the range every decoded time stamp is checked
// against; NaN and infinities do not.
bool IsDateTimeInRange(double value);
bool IsValidTime(int hour, int minute, int second, int millisecond);

// Encodes a valid date and time; nullopt when the parts do not form one.
std::optional<double> TryEncodeDateTime(int year, int month, int day, int hour, int minute,
                                        int second, int millisecond = 0);
// Splits a date-time value (rounded to the nearest millisecond).
DateTimeParts DecodeDateTime(double value);

// The local wall-clock time now, with milliseconds.
double NowLocal();

// "dd/mm/yyyy" + gap + "hh:nn:ss" with the given date and time separators
// (the day-first form of the listings, grids and workbook cells).
std::string FormatDayFirst(double value, std::string_view gap = " ", char dateSeparator = '/',
                           char timeSeparator = ':');
// "YYYY-MM-DD HH:MM:SS"; with `millisWhenNotWhole`, ".mmm" follows when the
// value is not a whole second.
std::string FormatIsoDateTime(double value, bool millisWhenNotWhole = false);

// Writes what FormatIsoDateTime returns into a buffer, without allocating;
// the date of the last day written is kept, as a run of values mostly falls
// on one day (the walks over whole tables).
class IsoDateTimeWriter {
public:
    static constexpr std::size_t kMaxLength = 40;
    // Writes at out (kMaxLength bytes of room) and returns the end.
    char* Write(char* out, double value, bool millisWhenNotWhole = false);

private:
    std::int64_t day_ = INT64_MIN;
    char date_[24] = {};
    std::size_t dateLength_ = 0;
};

// Days of a month (February with 29 in leap years).
int DaysInMonth(int year, int month);

// Monday-to-Sunday weeks; week 1 is the week that holds 1 January, and the
// year of a date is its calendar year: with d0 = 1 January and o its weekday
// (Monday 0 .. Sunday 6), week = (days from d0 + o) div 7 + 1. Runs 1..53, and
// 54 for 31 December of a leap year that begins on a Sunday.
int WeekOfYear(double date);
// The Monday 00:00 of a week: d0 - o + 7 * (week - 1).
double WeekStart(int week, int year);

}  // namespace kolvex
