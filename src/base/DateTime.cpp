// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DateTime.h"

#include <chrono>
#include <cstdio>
#include <cmath>
#include <ctime>
#include <algorithm>
#include <climits>
#include <cstring>

namespace kolvex {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr double kFarDays = 1e10;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int MonthDays(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= MonthDays(year, month);
}

bool IsDateTimeInRange(double value) {
    // Day -693593 is 0001-01-01 and 2958465 is 9999-12-31; before the epoch
    // the fraction is subtracted, so the first day reaches down to -693594
    // (excluded).
    return value > -693594.0 && value < 2958466.0;
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

std::optional<double> TryEncodeDateTime(int year, int month, int day, int hour, int minute,
                                        int second, int millisecond) {
    if (!IsValidDate(year, month, day) || !IsValidTime(hour, minute, second, millisecond))
        return std::nullopt;
    const double date = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
    const double time =
        static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) /
        static_cast<double>(kMsPerDay);
    // Before the epoch the whole part counts the days back and the fraction
    // is still the time of day, so it is subtracted.
    return date < 0 ? date - time : date + time;
}

DateTimeParts DecodeDateTime(double value) {
    DateTimeParts parts;
    if (!std::isfinite(value)) return parts;
    // Far beyond any calendar in use; the limit keeps the millisecond count
    // below the range of its integer.
    value = std::clamp(value, -kFarDays, kFarDays);
    // Whole milliseconds, rounded to nearest; the day is the truncated whole
    // part and the time of day the absolute remainder.
    const std::int64_t ms = static_cast<std::int64_t>(std::nearbyint(value * kMsPerDay));
    const std::int64_t days = ms / kMsPerDay;
    std::int64_t time = ms % kMsPerDay;
    if (time < 0) time = -time;

    CivilFromDays(days + kEpochOffset, parts.Year, parts.Month, parts.Day);
    parts.Millisecond = static_cast<int>(time % 1000);
    time /= 1000;
    parts.Second = static_cast<int>(time % 60);
    time /= 60;
    parts.Minute = static_cast<int>(time % 60);
    parts.Hour = static_cast<int>(time / 60);
    // 1899-12-30 was a Saturday.
    parts.DayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);
    return parts;
}

double NowLocal() {
    const auto now = std::chrono::system_clock::now();
    const auto sinceEpoch = now.time_since_epoch();
    const auto secs = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - secs).count());
    const std::time_t t = static_cast<std::time_t>(secs.count());
    std::tm local{};
    localtime_r(&t, &local);
    // A leap second (tm_sec 60) is shown as the last second of its minute.
    const int sec = local.tm_sec > 59 ? 59 : local.tm_sec;
    return TryEncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, sec, ms)
        .value_or(0.0);
}

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return MonthDays(year, month);
}

namespace {
// Monday 0 .. Sunday 6 of a whole day number (days since 1899-12-30, a Saturday).
int MondayWeekday(std::int64_t day) {
    const std::int64_t w = (day + 5) % 7;  // 1899-12-30 is a Saturday: 5
    return static_cast<int>(w < 0 ? w + 7 : w);
}
}  // namespace

int WeekOfYear(double date) {
    const DateTimeParts p = DecodeDateTime(date);
    const std::int64_t d0 = DaysFromCivil(p.Year, 1, 1) - kEpochOffset;
    const std::int64_t day = DaysFromCivil(p.Year, p.Month, p.Day) - kEpochOffset;
    return static_cast<int>((day - d0 + MondayWeekday(d0)) / 7 + 1);
}

double WeekStart(int week, int year) {
    const std::int64_t d0 = DaysFromCivil(year, 1, 1) - kEpochOffset;
    return static_cast<double>(d0 - MondayWeekday(d0) + 7 * static_cast<std::int64_t>(week - 1));
}

std::string FormatDayFirst(double value, std::string_view gap, char dateSeparator, char timeSeparator) {
    const DateTimeParts p = DecodeDateTime(value);
    if (p.Year < 0 || p.Year > 9999) {
        char date[24], time[24];
        std::snprintf(date, sizeof date, "%02d%c%02d%c%04d", p.Day, dateSeparator, p.Month, dateSeparator, p.Year);
        std::snprintf(time, sizeof time, "%02d%c%02d%c%02d", p.Hour, timeSeparator, p.Minute, timeSeparator, p.Second);
        return std::string(date) + std::string(gap) + time;
    }
    // "dd/mm/yyyy" gap "hh:nn:ss" digit by digit.
    std::string s(18 + gap.size(), ' ');
    char* o = s.data();
    auto two = [&o](int v) {
        *o++ = static_cast<char>('0' + v / 10);
        *o++ = static_cast<char>('0' + v % 10);
    };
    two(p.Day);
    *o++ = dateSeparator;
    two(p.Month);
    *o++ = dateSeparator;
    two(p.Year / 100);
    two(p.Year % 100);
    for (char c : gap) *o++ = c;
    two(p.Hour);
    *o++ = timeSeparator;
    two(p.Minute);
    *o++ = timeSeparator;
    two(p.Second);
    return s;
}

char* IsoDateTimeWriter::Write(char* out, double value, bool millisWhenNotWhole) {
    std::int64_t ms = 0;
    if (std::isfinite(value))
        ms = static_cast<std::int64_t>(std::nearbyint(std::clamp(value, -kFarDays, kFarDays) * kMsPerDay));
    const std::int64_t days = ms / kMsPerDay;
    std::int64_t time = ms % kMsPerDay;
    if (time < 0) time = -time;
    if (days != day_ || !std::isfinite(value)) {
        int y = 1899, m = 12, d = 30;
        if (std::isfinite(value)) CivilFromDays(days + kEpochOffset, y, m, d);
        const int n = std::snprintf(date_, sizeof date_, "%04d-%02d-%02d ", y, m, d);
        dateLength_ = n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), sizeof date_ - 1) : 0;
        day_ = std::isfinite(value) ? days : INT64_MIN;
    }
    // The whole date buffer at once (the room allows it), the rest of it
    // written over by the time.
    std::memcpy(out, date_, sizeof date_);
    out += dateLength_;
    // Within a day: 32-bit arithmetic.
    auto rest = static_cast<std::uint32_t>(time);
    const auto milli = rest % 1000;
    rest /= 1000;
    const auto second = rest % 60;
    rest /= 60;
    const auto minute = rest % 60;
    const auto hour = rest / 60;
    auto two = [&out](std::uint32_t v) {
        static constexpr char kPairs[] =
            "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
            "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
            "8081828384858687888990919293949596979899";
        std::memcpy(out, kPairs + 2 * v, 2);
        out += 2;
    };
    two(hour);
    *out++ = ':';
    two(minute);
    *out++ = ':';
    two(second);
    if (millisWhenNotWhole && milli != 0) {
        *out++ = '.';
        *out++ = static_cast<char>('0' + milli / 100);
        two(milli % 100);
    }
    return out;
}

std::string FormatIsoDateTime(double value, bool millisWhenNotWhole) {
    const DateTimeParts p = DecodeDateTime(value);
    char buf[48];
    if (millisWhenNotWhole && p.Millisecond != 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day, p.Hour,
                      p.Minute, p.Second, p.Millisecond);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                      p.Second);
    return buf;
}

}  // namespace kolvex
