// SPDX-License-Identifier: GPL-3.0-or-later
// The period group widget over its model: layout by kind, captions, the
// controls driving the computation, loading with the dialog's repairs, the
// date and time pairs and the step selector.

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest>

#include "OutputFixture.h"
#include "output/ui/PeriodGroup.h"

using namespace kolvex;
using kolvex::test::At;
using kolvex::ui::PeriodGroup;

namespace {

template <typename T>
T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no control %s", name);
    return c;
}

QDateTime Shown(PeriodGroup& g, bool start) {
    auto* d = Child<QDateEdit>(&g, start ? "ObdobiStartDate_DTP" : "ObdobiEndDate_DTP");
    auto* t = Child<QTimeEdit>(&g, start ? "ObdobiStartTime_DTP" : "ObdobiEndTime_DTP");
    return QDateTime(d->date(), t->time());
}

PeriodSettings Block(int kind, int year, int month, int day, int week, double start = 0, double end = 0) {
    PeriodSettings b;
    b.Kind = kind;
    b.Year = static_cast<std::uint16_t>(year);
    b.MonthIndex = static_cast<std::uint16_t>(month);
    b.Day = static_cast<std::uint16_t>(day);
    b.Week = static_cast<std::uint16_t>(week);
    b.Start = start ? start : At(2004, 1, 1);
    b.End = end ? end : At(2004, 1, 1);
    return b;
}

void ClickKind(PeriodGroup& g, int kind) {
    QTest::mouseClick(Child<QRadioButton>(&g, qPrintable(QStringLiteral("Obdobi_RG_%1").arg(kind))), Qt::LeftButton);
}

}  // namespace

class OutputPeriodGroupTest : public QObject {
    Q_OBJECT
private slots:
    void layoutAndCaptionsByKind() {
        SetLanguage(0);
        PeriodGroup g(PeriodDialog::Print, true);
        g.Load(Block(pkDay, 2004, 7, 31, 36));
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        QCOMPARE(g.title(), QStringLiteral("Období"));
        QCOMPARE(Child<QRadioButton>(&g, "Obdobi_RG_1")->text(), QStringLiteral("týden"));
        QCOMPARE(Child<QLabel>(&g, "ObdobiStart_L")->text(), QStringLiteral("Začátek"));
        QCOMPARE(Child<QLabel>(&g, "Perioda_L")->text(), QStringLiteral("Perioda"));
        auto* setDatum = Child<QPushButton>(&g, "SetDatum_SB");
        auto* day = Child<QSpinBox>(&g, "ObdobiDay_SE");
        auto* month = Child<QLineEdit>(&g, "ObdobiMonth_CB");
        auto* year = Child<QSpinBox>(&g, "ObdobiYear_SE");
        auto* week = Child<QSpinBox>(&g, "ObdobiWeek_SE");
        auto* startDate = Child<QDateEdit>(&g, "ObdobiStartDate_DTP");
        auto* dayL = Child<QLabel>(&g, "ObdobiDay_L");
        QCOMPARE(setDatum->text(), QStringLiteral("  Dnes"));
        QVERIFY(day->isVisible() && day->isEnabled() && dayL->isVisible());
        QVERIFY(!week->isVisible());
        QVERIFY(startDate->isReadOnly());
        QCOMPARE(month->text(), QStringLiteral("Srpen"));

        ClickKind(g, pkWeek);
        QCOMPARE(setDatum->text(), QStringLiteral("Tento týden"));
        QVERIFY(!day->isVisible() && !dayL->isVisible() && !month->isVisible());
        QVERIFY(week->isVisible() && week->isEnabled());
        ClickKind(g, pkMonth);
        QVERIFY(day->isVisible() && !day->isEnabled() && !dayL->isEnabled());
        QVERIFY(month->isEnabled());
        QCOMPARE(day->value(), 1);
        ClickKind(g, pkYear);
        QCOMPARE(setDatum->text(), QStringLiteral("   Letos"));
        QVERIFY(!month->isEnabled() && year->isEnabled());
        QCOMPARE(month->text(), QStringLiteral("Leden"));
        QCOMPARE(Shown(g, false), QDateTime(QDate(2004, 12, 31), QTime(23, 59, 59, 999)));
        ClickKind(g, pkChosen);
        QVERIFY(!setDatum->isVisible());
        QVERIFY(!year->isEnabled() && year->isVisible());
        QVERIFY(!startDate->isReadOnly());
        ClickKind(g, pkAll);
        QVERIFY(!startDate->isVisible() && !year->isVisible() && !setDatum->isVisible());
        QVERIFY(g.IsAll());
        QCOMPARE(g.EffectiveStart(), 0.0);
        QCOMPARE(g.EffectiveEnd(), 0.0);

        SetLanguage(1);
        g.ApplyCaptions();
        QCOMPARE(g.title(), QStringLiteral("Period"));
        QCOMPARE(Child<QRadioButton>(&g, "Obdobi_RG_4")->text(), QStringLiteral("selct"));
        QCOMPARE(Child<QLabel>(&g, "ObdobiEnd_l")->text(), QStringLiteral("to"));
        QCOMPARE(Child<QLabel>(&g, "Perioda_L")->text(), QStringLiteral("Period"));
        ClickKind(g, pkMonth);
        QCOMPARE(setDatum->text(), QStringLiteral("This month"));

        // The deletion and chart groups have no step selector.
        PeriodGroup e(PeriodDialog::Erase, false);
        QVERIFY(!e.findChild<QWidget*>(QStringLiteral("Perioda_CB")));
    }

    void controlsDriveTheComputation() {
        SetLanguage(0);
        PeriodGroup g(PeriodDialog::Print, true);
        g.Load(Block(pkDay, 2004, 1, 31, 1));
        // Day 31 with February shown: the 29th, and the day control keeps 31.
        QCOMPARE(Shown(g, true), QDateTime(QDate(2004, 2, 29), QTime(0, 0)));
        QCOMPARE(Shown(g, false), QDateTime(QDate(2004, 2, 29), QTime(23, 59, 59, 999)));
        auto* day = Child<QSpinBox>(&g, "ObdobiDay_SE");
        QCOMPARE(day->value(), 31);
        auto* monthSB = Child<QWidget>(&g, "ObdobiMonth_SB");
        QTest::mouseClick(monthSB->findChild<QToolButton*>(QStringLiteral("Down")), Qt::LeftButton);
        QCOMPARE(Shown(g, true).date(), QDate(2004, 1, 31));
        QTest::mouseClick(monthSB->findChild<QToolButton*>(QStringLiteral("Down")), Qt::LeftButton);
        QCOMPARE(Child<QLineEdit>(&g, "ObdobiMonth_CB")->text(), QStringLiteral("Leden"));
        day->setValue(5);
        QCOMPARE(Shown(g, true).date(), QDate(2004, 1, 5));
        Child<QSpinBox>(&g, "ObdobiYear_SE")->setValue(2005);
        QCOMPARE(Shown(g, true).date(), QDate(2005, 1, 5));

        // Month kind: December stays December with the year unchanged.
        g.Load(Block(pkMonth, 2004, 11, 3, 1));
        QTest::mouseClick(monthSB->findChild<QToolButton*>(QStringLiteral("Up")), Qt::LeftButton);
        QCOMPARE(Child<QLineEdit>(&g, "ObdobiMonth_CB")->text(), QStringLiteral("Prosinec"));
        QCOMPARE(Shown(g, true), QDateTime(QDate(2004, 12, 1), QTime(0, 0)));
        QCOMPARE(Shown(g, false), QDateTime(QDate(2004, 12, 31), QTime(23, 59, 59, 999)));

        // Choosing week from a start of 30 December 2002 with the year 2003:
        // week 53 of 2002, start Monday 29 December 2003.
        g.Load(Block(pkChosen, 2003, 0, 1, 1, At(2002, 12, 30), At(2002, 12, 31)));
        ClickKind(g, pkWeek);
        QCOMPARE(Child<QSpinBox>(&g, "ObdobiWeek_SE")->value(), 53);
        QCOMPARE(Shown(g, true), QDateTime(QDate(2003, 12, 29), QTime(0, 0)));
        Child<QSpinBox>(&g, "ObdobiWeek_SE")->setValue(1);
        QCOMPARE(Shown(g, true), QDateTime(QDate(2002, 12, 30), QTime(0, 0)));
        QCOMPARE(Shown(g, false), QDateTime(QDate(2003, 1, 5), QTime(23, 59, 59, 999)));

        // The current-period button with the kind month on 17 March.
        g.Clock = [] { return At(2011, 3, 17, 14, 20); };
        ClickKind(g, pkMonth);
        QTest::mouseClick(Child<QPushButton>(&g, "SetDatum_SB"), Qt::LeftButton);
        QCOMPARE(Child<QSpinBox>(&g, "ObdobiYear_SE")->value(), 2011);
        QCOMPARE(Child<QSpinBox>(&g, "ObdobiDay_SE")->value(), 1);
        QCOMPARE(Child<QLineEdit>(&g, "ObdobiMonth_CB")->text(), QStringLiteral("Březen"));
        QCOMPARE(g.Start(), At(2011, 3, 1));
        QCOMPARE(g.End(), EndOfDay(At(2011, 3, 31)));

        // Storing gives back what the controls show.
        PeriodSettings stored;
        std::int32_t step = -1;
        g.Store(stored, &step);
        QCOMPARE(stored.Kind, static_cast<std::int32_t>(pkMonth));
        QCOMPARE(stored.Year, std::uint16_t(2011));
        QCOMPARE(stored.MonthIndex, std::uint16_t(2));
        QCOMPARE(stored.Start, At(2011, 3, 1));
        QCOMPARE(step, kDefaultStepIndex);
    }

    void loadRepairsAndPickerPairs() {
        SetLanguage(0);
        const double now = At(2012, 6, 15, 9, 30, 15);
        // Deletion, print and export replace a start outside 2001..2100 by now.
        PeriodGroup erase(PeriodDialog::Erase, false);
        erase.Clock = [now] { return now; };
        erase.Load(Block(pkChosen, 2004, 40, 1, 60, At(1999, 5, 1), At(2004, 5, 1)));
        QCOMPARE(erase.Start(), now);
        QCOMPARE(erase.End(), At(2004, 5, 1));
        QCOMPARE(erase.Model().MonthIndex(), 11);
        QCOMPARE(Child<QSpinBox>(&erase, "ObdobiWeek_SE")->value(), 53);
        QCOMPARE(Shown(erase, true), QDateTime(QDate(2012, 6, 15), QTime(9, 30, 15)));
        // The chart shows the stored values as they are.
        PeriodGroup chart(PeriodDialog::Chart, false);
        chart.Clock = [now] { return now; };
        chart.Load(Block(pkChosen, 0, 0, 0, 0, At(1999, 5, 1), At(2004, 5, 1)));
        QCOMPARE(Shown(chart, true), QDateTime(QDate(1999, 5, 1), QTime(0, 0)));
        QCOMPARE(Child<QSpinBox>(&chart, "ObdobiYear_SE")->value(), 2001);

        // The kind chosen: a date keeps the pair's time and a time its date;
        // no check relates the start to the end.
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        auto* startDate = Child<QDateEdit>(&chart, "ObdobiStartDate_DTP");
        auto* startTime = Child<QTimeEdit>(&chart, "ObdobiStartTime_DTP");
        startTime->setTime(QTime(10, 11, 12));
        QCOMPARE(chart.Start(), At(1999, 5, 1, 10, 11, 12));
        startDate->setDate(QDate(2005, 2, 3));
        QCOMPARE(chart.Start(), At(2005, 2, 3, 10, 11, 12));
        QCOMPARE(chart.End(), At(2004, 5, 1));
        emit startDate->editingFinished();
        QCOMPARE(Shown(chart, true), QDateTime(QDate(2005, 2, 3), QTime(10, 11, 12)));
    }

    void stepSelector() {
        SetLanguage(1);
        PeriodGroup g(PeriodDialog::Export, true);
        g.Load(Block(pkDay, 2004, 0, 1, 1), 16);
        auto* display = Child<QLineEdit>(&g, "Perioda_CB");
        auto* sb = Child<QWidget>(&g, "Perioda_SB");
        QCOMPARE(display->text(), QStringLiteral("  1 den"));
        QVERIFY(display->isReadOnly());
        QTest::mouseClick(sb->findChild<QToolButton*>(QStringLiteral("Up")), Qt::LeftButton);
        QCOMPARE(g.StepIndex(), 16);
        QCOMPARE(g.StepSeconds(), 86400);
        g.Load(Block(pkDay, 2004, 0, 1, 1), 0);
        QTest::mouseClick(sb->findChild<QToolButton*>(QStringLiteral("Down")), Qt::LeftButton);
        QCOMPARE(display->text(), QStringLiteral("  5 sec"));
        QTest::mouseClick(sb->findChild<QToolButton*>(QStringLiteral("Up")), Qt::LeftButton);
        QCOMPARE(display->text(), QStringLiteral("10 sec"));
        // A stored index beyond the list selects its last item.
        g.Load(Block(pkDay, 2004, 0, 1, 1), 17);
        QCOMPARE(display->text(), QStringLiteral("  1 den"));
        PeriodSettings b;
        std::int32_t step = 0;
        g.Store(b, &step);
        QCOMPARE(step, 16);
    }
};

QTEST_MAIN(OutputPeriodGroupTest)
#include "OutputPeriodGroupTest.moc"
