// SPDX-License-Identifier: GPL-3.0-or-later
// The period group's rules, the week numbering and the step thinning.

#include <gtest/gtest.h>

#include <vector>

#include "base/DateTime.h"
#include "output/PeriodSelection.h"

using namespace kolvex;

namespace {
double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}
std::string Text(double v) {
    const DateTimeParts p = DecodeDateTime(v);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                  p.Second, p.Millisecond);
    return b;
}
PeriodSettings Block(int kind, int year, int month, int day, int week, double start = 0, double end = 0) {
    PeriodSettings b;
    b.Kind = kind;
    b.Year = static_cast<std::uint16_t>(year);
    b.MonthIndex = static_cast<std::uint16_t>(month);
    b.Day = static_cast<std::uint16_t>(day);
    b.Week = static_cast<std::uint16_t>(week);
    b.Start = start;
    b.End = end;
    return b;
}
}  // namespace

TEST(WeekNumbers, MondayToSundayWeeksFromTheFirstOfJanuary) {
    EXPECT_EQ(WeekOfYear(At(2004, 8, 31)), 36);
    EXPECT_EQ(WeekOfYear(At(2006, 1, 1)), 1);  // a Sunday
    EXPECT_EQ(WeekOfYear(At(2006, 1, 2)), 2);
    EXPECT_EQ(WeekOfYear(At(2006, 12, 31)), 53);
    EXPECT_EQ(WeekOfYear(At(2012, 12, 31, 23, 59, 59)), 54);
    EXPECT_EQ(Text(WeekStart(1, 2004)), "2003-12-29 00:00:00.000");
    EXPECT_EQ(Text(WeekStart(36, 2004)), "2004-08-30 00:00:00.000");
    EXPECT_EQ(Text(WeekStart(1, 2003)), "2002-12-30 00:00:00.000");
}

TEST(PeriodGroup, DayKindClampsTheDayButKeepsTheControl) {
    PeriodModel m;
    m.Load(Block(pkDay, 2004, 1, 31, 1), At(2010, 1, 1));
    EXPECT_EQ(Text(m.Start()), "2004-02-29 00:00:00.000");
    EXPECT_EQ(Text(m.End()), "2004-02-29 23:59:59.999");
    EXPECT_EQ(m.Day(), 31);
    m.MonthDown();
    EXPECT_EQ(Text(m.Start()), "2004-01-31 00:00:00.000");
    m.MonthUp();
    m.MonthUp();  // March
    m.MonthUp();  // April has 30 days
    m.ChooseKind(pkDay);
    EXPECT_EQ(Text(m.Start()), "2004-04-30 00:00:00.000");
}

TEST(PeriodGroup, WeekKind) {
    PeriodModel m;
    m.Load(Block(pkWeek, 2003, 0, 1, 1), At(2010, 1, 1));
    // Loading applies the kind: the week follows the stored start, which was
    // repaired to "now" (2010-01-01 is in week 1).
    m.SetYear(2003);
    m.SetWeek(1);
    EXPECT_EQ(Text(m.Start()), "2002-12-30 00:00:00.000");
    EXPECT_EQ(Text(m.End()), "2003-01-05 23:59:59.999");

    // Choosing week while the start is 2002-12-30 and the year shows 2003.
    PeriodModel c;
    c.Load(Block(pkChosen, 2003, 0, 1, 1, At(2002, 12, 30), At(2002, 12, 31)), At(2010, 1, 1));
    c.ChooseKind(pkWeek);
    EXPECT_EQ(c.Week(), 53);
    EXPECT_EQ(Text(c.Start()), "2003-12-29 00:00:00.000");

    // A week number of 54 is shown as 53.
    PeriodModel w;
    w.Load(Block(pkChosen, 2012, 11, 31, 1, At(2012, 12, 31, 12), At(2012, 12, 31, 13)), At(2013, 1, 1));
    w.ChooseKind(pkWeek);
    EXPECT_EQ(w.Week(), 53);
}

TEST(PeriodGroup, MonthAndYearKinds) {
    PeriodModel m;
    m.Load(Block(pkMonth, 2004, 11, 15, 1), At(2010, 1, 1));
    EXPECT_EQ(m.Day(), 1);
    m.MonthUp();
    EXPECT_EQ(m.MonthIndex(), 11);
    EXPECT_EQ(m.Year(), 2004);
    EXPECT_EQ(Text(m.End()), "2004-12-31 23:59:59.999");
    m.SetYear(2005);
    EXPECT_EQ(Text(m.Start()), "2005-12-01 00:00:00.000");
    m.Load(Block(pkMonth, 2004, 0, 1, 1), At(2010, 1, 1));
    m.MonthDown();
    EXPECT_EQ(m.MonthIndex(), 0);
    m.MonthUp();  // February of a leap year
    EXPECT_EQ(Text(m.End()), "2004-02-29 23:59:59.999");

    m.ChooseKind(pkYear);
    EXPECT_EQ(m.Day(), 1);
    EXPECT_EQ(m.MonthIndex(), 0);
    EXPECT_EQ(Text(m.Start()), "2004-01-01 00:00:00.000");
    EXPECT_EQ(Text(m.End()), "2004-12-31 23:59:59.999");

    // Current-period button with the kind month on 17 March.
    m.ChooseKind(pkMonth);
    m.CurrentPeriod(At(2011, 3, 17, 9, 30));
    EXPECT_EQ(m.Day(), 1);
    EXPECT_EQ(Text(m.Start()), "2011-03-01 00:00:00.000");
    EXPECT_EQ(Text(m.End()), "2011-03-31 23:59:59.999");
}

TEST(PeriodGroup, LoadingRepairsOnlyWhereTheDialogAsks) {
    const double now = At(2010, 6, 1, 8, 15, 30);
    const PeriodSettings stored = Block(pkChosen, 0, 40, 0, 99, At(1999, 5, 1), At(1999, 5, 2));
    for (PeriodDialog d : {PeriodDialog::Erase, PeriodDialog::Print, PeriodDialog::Export}) {
        PeriodModel m(d);
        m.Load(stored, now);
        EXPECT_EQ(m.Start(), now);
        EXPECT_EQ(m.End(), now);
        EXPECT_EQ(m.Year(), 2001);
        EXPECT_EQ(m.MonthIndex(), 11);
        EXPECT_EQ(m.Week(), 53);
    }
    PeriodModel chart(PeriodDialog::Chart);
    chart.Load(stored, now);
    EXPECT_EQ(Text(chart.Start()), "1999-05-01 00:00:00.000");

    PeriodSettings back;
    chart.Store(back);
    EXPECT_EQ(back.Kind, pkChosen);
    EXPECT_EQ(back.Start, At(1999, 5, 1));
}

TEST(PeriodGroup, BusyMarkAndAllKind) {
    PeriodModel m;
    m.Load(Block(pkAll, 2004, 0, 1, 1, At(2004, 1, 1), At(2004, 1, 2)), At(2010, 1, 1));
    EXPECT_TRUE(m.IsAll());
    EXPECT_EQ(m.EffectiveStart(), 0);
    EXPECT_EQ(m.EffectiveEnd(), 0);
    EXPECT_FALSE(LayoutForKind(pkAll).StartEndShown);
    EXPECT_TRUE(LayoutForKind(pkChosen).StartEndEditable);
    EXPECT_FALSE(LayoutForKind(pkDay).StartEndEditable);
    EXPECT_FALSE(LayoutForKind(pkWeek).DayShown);
    EXPECT_FALSE(LayoutForKind(pkMonth).DayEnabled);
    EXPECT_EQ(CurrentPeriodCaption(pkYear, Lang::Czech), "   Letos");
    EXPECT_EQ(CurrentPeriodCaption(pkChosen, Lang::English), "");
}

TEST(PeriodGroup, DefaultsAreToday) {
    const double now = At(2010, 6, 1, 8, 15, 30);
    const PeriodSettings d = DefaultPeriodSettings(pkAll, now);
    EXPECT_EQ(d.Kind, pkAll);
    EXPECT_EQ(Text(d.Start), "2010-06-01 00:00:00.000");
    EXPECT_EQ(Text(d.End), "2010-06-01 23:59:59.999");
    EXPECT_EQ(d.MonthIndex, 5);
    EXPECT_EQ(d.Week, WeekOfYear(now));
    // The last millisecond of the day belongs to the period, the next midnight does not.
    EXPECT_LE(At(2010, 6, 1, 23, 59, 59, 999), d.End);
    EXPECT_GT(At(2010, 6, 2), d.End);
}

TEST(StepSelector, ItemsAndStepping) {
    EXPECT_EQ(StepSeconds(0), 5);
    EXPECT_EQ(StepSeconds(9), 1800);
    EXPECT_EQ(StepSeconds(16), 86400);
    EXPECT_EQ(StepCaption(16), "  1 den");
    EXPECT_EQ(StepCaption(10), "  1 hod");
    EXPECT_EQ(StepUp(16), 16);
    EXPECT_EQ(StepUp(15), 16);
    EXPECT_EQ(StepDown(0), 0);
    EXPECT_EQ(StepDown(5), 4);
}

TEST(StepThinning, OneRecordPerStep) {
    const double day = At(2004, 8, 31);
    auto t = [&](int h, int mi, int s, int ms = 0) { return At(2004, 8, 31, h, mi, s, ms); };
    {
        StepThinner th(day, EndOfDay(day), 600);
        std::vector<bool> got;
        for (double x : {t(10, 0, 0), t(10, 5, 0), t(10, 10, 0), t(10, 12, 0)}) got.push_back(th.Take(x));
        EXPECT_EQ(got, (std::vector<bool>{true, false, true, false}));
    }
    {
        StepThinner th(day, EndOfDay(day), 600);
        std::vector<bool> got;
        for (double x : {t(10, 0, 0), t(10, 5, 0), t(10, 9, 59, 600), t(10, 20, 0)}) got.push_back(th.Take(x));
        EXPECT_EQ(got, (std::vector<bool>{true, false, false, true}));
    }
    {
        // A taken record at 10:09:59.6 rounds to second 36600: the next threshold is 10:20:00.
        StepThinner th(day, EndOfDay(day), 600);
        EXPECT_TRUE(th.Take(t(10, 9, 59, 600)));
        EXPECT_FALSE(th.Take(t(10, 19, 59)));
        EXPECT_TRUE(th.Take(t(10, 20, 0)));
    }
    {
        // Half-second ties go to the even second, computed on whole milliseconds:
        // 09:59:59.500 counts as 10:00:00, so with two hours the next is 12:00;
        // 00:00:04.500 counts as second 4, so with 5 s the next is 00:00:05.
        const double d = At(2026, 1, 10);
        struct {
            int step;
            double first, skipped, next;
        } ties[] = {
            {7200, d + (35999500.0 / 86400000.0), At(2026, 1, 10, 10), At(2026, 1, 10, 12)},
            {5, d + (4500.0 / 86400000.0), At(2026, 1, 10, 0, 0, 4, 999), At(2026, 1, 10, 0, 0, 5)},
        };
        for (const auto& c : ties) {
            StepThinner th(d, EndOfDay(d), c.step);
            EXPECT_TRUE(th.Take(c.first)) << c.step;
            EXPECT_FALSE(th.Take(c.skipped)) << c.step;
            EXPECT_TRUE(th.Take(c.next)) << c.step;
        }
    }
    {
        // Kind all: the first record of the table is always taken; one per day with s = 86400.
        StepThinner th(0, 0, 86400);
        EXPECT_TRUE(th.Take(At(1990, 1, 1, 23)));
        EXPECT_FALSE(th.Take(At(1990, 1, 1, 23, 30)));
        EXPECT_TRUE(th.Take(At(1990, 1, 2, 0, 0, 1)));
    }
    {
        // Outside the period nothing is taken, but the walk goes on.
        StepThinner th(day, EndOfDay(day), 5);
        EXPECT_FALSE(th.Take(day - 0.5));
        EXPECT_TRUE(th.Take(t(0, 0, 0)));
        EXPECT_FALSE(th.Take(day + 1.0));
    }
}
