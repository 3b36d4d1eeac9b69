// SPDX-License-Identifier: GPL-3.0-or-later
// The chart settings dialog: the source lists, unit labels and spin limits,
// the colour swatches, storing only with Graf_BB, and the round trip of the
// axis settings through the table's parameter file.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include "OutputFixture.h"
#include "app/ConfigDefaults.h"
#include "base/ui/TSpinFEdit.h"
#include "output/ui/PeriodGroup.h"
#include "output/ui/TFANastGraf.h"

using namespace kolvex;
using kolvex::test::At;
using kolvex::test::OutputTable;
using kolvex::ui::TFANastGraf;
using kolvex::ui::TSpinFEdit;

namespace {

template <typename T>
T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no control %s", name);
    return c;
}

QStringList Items(QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
    return l;
}

QColor Swatch(TFANastGraf& d, const char* name) { return Child<QFrame>(&d, name)->palette().color(QPalette::Window); }

}  // namespace

class OutputChartSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void roundTripThroughTheParameterFile() {
        SetLanguage(0);
        OutputTable t;
        t.Add({At(2004, 8, 31, 1)});
        t.ctx.Config.ChartPeriod = PeriodForToday(pkAll, At(2004, 8, 31));
        AxisSettings left = t.ctx.Adm.ParameterRecord.LeftAxis();
        left.Minimum = 0.1;  // not a float: kept exactly while untouched
        left.Maximum = 103.03;
        left.Automatic = 0;
        t.ctx.Adm.ParameterRecord.SetLeftAxis(left);
        {
            TFANastGraf d(t.ctx);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            kolvex::test::Shot(&d, QStringLiteral("chart_cs"));
            QCOMPARE(d.windowTitle(), QStringLiteral("Nastavení zobrazení grafu"));
            QCOMPARE(Child<QGroupBox>(&d, "LeftAxis_GB")->title(), QStringLiteral("Levá osa"));
            QCOMPARE(Child<QCheckBox>(&d, "RightAxisAuto_CB")->text(), QStringLiteral("Rozsah automaticky"));
            QCOMPARE(Child<QPushButton>(&d, "Abort_BB")->text(), QStringLiteral("&Zavřít"));
            auto* leftCB = Child<QComboBox>(&d, "LeftAxis_CB");
            auto* rightCB = Child<QComboBox>(&d, "RightAxis_CB");
            QCOMPARE(Items(leftCB), (QStringList{QStringLiteral(" nic"), QStringLiteral(" Teplota"), QStringLiteral(" Vlhkost")}));
            QCOMPARE(leftCB->currentIndex(), 1);
            QCOMPARE(rightCB->currentIndex(), 2);
            QCOMPARE(Child<QLabel>(&d, "LeftAxisJednMax_L")->text(), QStringLiteral("°C"));
            QCOMPARE(Child<QLabel>(&d, "RightAxisJednMin_L")->text(), QStringLiteral("% r.v."));
            auto* rightMin = Child<TSpinFEdit>(&d, "RightAxisMin_SFE");
            auto* leftMax = Child<TSpinFEdit>(&d, "LeftAxisMax_SFE");
            QCOMPARE(rightMin->MinValue(), 0.0f);
            QCOMPARE(rightMin->MaxValue(), 100.0f);
            QCOMPARE(leftMax->MinValue(), -50.0f);
            QCOMPARE(leftMax->MaxValue(), 1000.0f);
            QCOMPARE(Swatch(d, "LeftAxisColor_P"), QColor(255, 0, 0));  // stored 0x0000FF is red
            QCOMPARE(leftMax->Value(), 103.03f);

            // Nothing on the left: no unit, the wide limits; the right axis shows
            // input 1 with its own limits and colour.
            leftCB->setCurrentIndex(0);
            QCOMPARE(Child<QLabel>(&d, "LeftAxisJednMin_L")->text(), QString());
            rightCB->setCurrentIndex(1);
            QCOMPARE(Child<QLabel>(&d, "RightAxisJednMax_L")->text(), QStringLiteral("°C"));
            QCOMPARE(rightMin->MinValue(), -50.0f);
            QCOMPARE(rightMin->MaxValue(), 1000.0f);
            Child<QCheckBox>(&d, "RightAxisAuto_CB")->setChecked(true);
            rightMin->SetValue(-12.5f);
            Child<TSpinFEdit>(&d, "RightAxisMax_SFE")->SetValue(40);
            QColor asked;
            d.ChooseColour = [&](const QColor& initial) -> std::optional<QColor> {
                asked = initial;
                return QColor(0x12, 0x34, 0x56);
            };
            QTest::mouseClick(Child<QToolButton>(&d, "RightAxisColor_SB"), Qt::LeftButton);
            QCOMPARE(Swatch(d, "RightAxisColor_P"), QColor(0x12, 0x34, 0x56));
            d.ChooseColour = [](const QColor&) -> std::optional<QColor> { return std::nullopt; };
            QTest::mouseClick(Child<QToolButton>(&d, "LeftAxisColor_SB"), Qt::LeftButton);
            QCOMPARE(Swatch(d, "LeftAxisColor_P"), QColor(255, 0, 0));  // cancelled
            d.Period()->findChild<QRadioButton*>(QStringLiteral("Obdobi_RG_2"))->click();

            QTest::mouseClick(Child<QPushButton>(&d, "Graf_BB"), Qt::LeftButton);
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(t.ctx.Config.ChartPeriod.Kind, static_cast<std::int32_t>(pkMonth));
        t.ctx.Adm.CloseArchive();
        t.ctx.Adm.ParameterRecord = ArchiveParameterRecord{};
        QVERIFY(t.ctx.Adm.OpenArchive(t.Path));
        const AxisSettings l = t.ctx.Adm.ParameterRecord.LeftAxis(), r = t.ctx.Adm.ParameterRecord.RightAxis();
        QCOMPARE(l.Source, 0);
        QCOMPARE(l.Minimum, 0.1);
        QCOMPARE(l.Maximum, 103.03);
        QCOMPARE(l.Colour, 0x0000FF);
        QCOMPARE(l.Marker, 1);
        QCOMPARE(r.Source, 1);
        QCOMPARE(int(r.Automatic), 1);
        QCOMPARE(r.Minimum, -12.5);
        QCOMPARE(r.Maximum, 40.0);
        QCOMPARE(r.Colour, 0x563412);

        // The reopened table shows the stored settings.
        TFANastGraf again(t.ctx);
        QCOMPARE(Child<QComboBox>(&again, "LeftAxis_CB")->currentIndex(), 0);
        QCOMPARE(Child<QComboBox>(&again, "RightAxis_CB")->currentIndex(), 1);
        QVERIFY(Child<QCheckBox>(&again, "RightAxisAuto_CB")->isChecked());
        QCOMPARE(Child<TSpinFEdit>(&again, "RightAxisMin_SFE")->Value(), -12.5f);
        QCOMPARE(Swatch(again, "RightAxisColor_P"), QColor(0x12, 0x34, 0x56));
        QVERIFY(Child<QRadioButton>(again.Period(), "Obdobi_RG_2")->isChecked());
    }

    void abortStoresNothing() {
        SetLanguage(1);
        OutputTable t;
        t.ctx.Config.ChartPeriod = PeriodForToday(pkAll, At(2004, 8, 31));
        const PeriodSettings period = t.ctx.Config.ChartPeriod;
        const ArchiveParameterRecord before = t.ctx.Adm.ParameterRecord;
        TFANastGraf d(t.ctx);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        kolvex::test::Shot(&d, QStringLiteral("chart_en"));
        QCOMPARE(d.windowTitle(), QStringLiteral("Graph set-up"));
        QCOMPARE(Child<QPushButton>(&d, "Abort_BB")->text(), QStringLiteral("&Abort"));
        QCOMPARE(Child<QLabel>(&d, "LeftAxisHodn_L")->text(), QStringLiteral("Value"));
        QCOMPARE(Child<QComboBox>(&d, "LeftAxis_CB")->itemText(0), QStringLiteral("nothing"));
        Child<QComboBox>(&d, "LeftAxis_CB")->setCurrentIndex(2);
        d.ChooseColour = [](const QColor&) -> std::optional<QColor> { return QColor(1, 2, 3); };
        d.LeftAxisColor_SBClick();
        d.Period()->findChild<QRadioButton*>(QStringLiteral("Obdobi_RG_0"))->click();
        QTest::mouseClick(Child<QPushButton>(&d, "Abort_BB"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(t.ctx.Adm.ParameterRecord == before);
        QCOMPARE(t.ctx.Config.ChartPeriod.Kind, period.Kind);
        QCOMPARE(t.ctx.Config.ChartPeriod.Start, period.Start);
    }

    void oneArchivedInput() {
        SetLanguage(1);
        OutputTable t(false);
        AxisSettings right = t.ctx.Adm.ParameterRecord.RightAxis();
        right.Source = 2;
        t.ctx.Adm.ParameterRecord.SetRightAxis(right);
        TFANastGraf d(t.ctx);
        auto* rightCB = Child<QComboBox>(&d, "RightAxis_CB");
        QCOMPARE(Items(rightCB), (QStringList{QStringLiteral("nothing"), QStringLiteral(" Teplota")}));
        QCOMPARE(rightCB->currentIndex(), -1);
        QCOMPARE(Child<QLabel>(&d, "RightAxisJednMax_L")->text(), QString());
        QCOMPARE(Child<QComboBox>(&d, "LeftAxis_CB")->currentIndex(), 1);
        d.Graf_BBClick();
        QCOMPARE(t.ctx.Adm.ParameterRecord.RightAxis().Source, -1);
        QCOMPARE(t.ctx.Adm.ParameterRecord.LeftAxis().Source, 1);
    }
};

QTEST_MAIN(OutputChartSettingsTest)
#include "OutputChartSettingsTest.moc"
