// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's chart: the margins, all-mode, the period, the axis settings,
// navigation with the repeat timer, zoom, the chart settings round trip
// through the parameter file, the mouse and the chart print.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include <qcustomplot.h>

#include "app/AppContext.h"
#include "base/Language.h"
#include "base/ui/TFProgress.h"
#include "base/ui/TSpinFEdit.h"
#include "archive/ChartDetail.h"
#include "archive/FileOps.h"
#include "archive/ui/TFADbf.h"
#include "output/ui/ViewerOutputActions.h"
#include "archive/ui/ViewerSupport.h"
#include "output/PeriodSelection.h"
#include "ViewerFixture.h"

using namespace kolvex;
using namespace kolvex::ui;
using namespace viewertest;

namespace {

ArchiveParameterRecord ReadPar(const std::string& table) {
    ArchiveParameterRecord r;
    const auto bytes = ReadFileHead(ReplaceExtension(table, ".par"), kParameterRecordSize);
    if (bytes) std::copy(bytes->begin(), bytes->end(), r.Bytes.begin());
    return r;
}

}  // namespace

class ViewerChartTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::string Path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)).toStdString(); }

    // A viewer on a table, shown.
    struct Shown {
        AppContext ctx;
        std::unique_ptr<TFADbf> v;
        Shown(const std::string& path, int kind = pkAll, double start = 0, double end = 0) {
            ctx.Config.ChartPeriod.Kind = kind;
            ctx.Config.ChartPeriod.Start = start;
            ctx.Config.ChartPeriod.End = end;
            ctx.Config.ViewerTab = 2;  // left showing both panels
            v = std::make_unique<TFADbf>(ctx, MakeViewerActions(ctx));
            v->resize(1100, 600);
            v->show();
            v->OpenArchiveView(QString::fromStdString(path));
        }
    };

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        SetLanguage(1);
    }
    void cleanup() { dir_.reset(); }

    void marginsAndAxes() {
        // Records on days 1..32 of a chosen period 0..33; input 1 fixed 0..100.
        std::vector<Sample> s;
        for (int d = 1; d <= 32; ++d) s.push_back({double(d), 10.0 + d, 5.0 + d * 0.5});
        WriteTable(Path("m.dbf"), s);
        Shown w(Path("m.dbf"), pkChosen, 0, 33);
        TFADbf& v = *w.v;
        QVERIFY(!v.AllMode());
        // 33 days: end 34, start -34/33.
        QVERIFY(Near(v.ChartEnd(), 34));
        QVERIFY(Near(v.ChartStart(), -34.0 / 33));
        QVERIFY(Near(v.BottomRange().Min, -34.0 / 33) && Near(v.BottomRange().Max, 34));
        // The left axis fixed 0..100: 100 + 100/33, then 0 - 103.03/33.
        const double max = 100 + 100.0 / 33;
        QVERIFY(Near(v.LeftRange().Max, max));
        QVERIFY(Near(v.LeftRange().Min, -max / 33));
        QVERIFY(Near(v.RememberedLeft().Min, -max / 33));
        // The right axis automatic over its values 5.5 .. 21.
        const double rmax = 21 + 15.5 / 33;
        QVERIFY(Near(v.RightRange().Max, rmax));
        QVERIFY(Near(v.RightRange().Min, 5.5 - (rmax - 5.5) / 33));
        QCOMPARE(v.Series1()->data()->size(), 32);
        QCOMPARE(v.Series2()->data()->size(), 32);

        // Titles and colours from the parameter file.
        QCOMPARE(v.Chart()->yAxis->label(), QStringLiteral("Teplota   (°C)"));
        QCOMPARE(v.Chart()->yAxis2->label(), QStringLiteral("Proud   (mA)"));
        QCOMPARE(v.Chart()->yAxis->labelColor(), QColor(255, 0, 0));
        QCOMPARE(v.Series1()->pen().color(), QColor(255, 0, 0));
        QCOMPARE(v.Series2()->pen().color(), QColor(0, 128, 0));
        QCOMPARE(v.Series2()->pen().width(), 2);
        auto* title = qobject_cast<QCPTextElement*>(v.Chart()->plotLayout()->element(0, 0));
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("QUENDAL 730            file    : m.dbf"));
        QCOMPARE(title->textColor(), QColor(0, 0, 255));
        QVERIFY(title->font().bold() && title->font().pixelSize() == 16);
        QVERIFY(title->textFlags() & Qt::AlignLeft);
        QVERIFY(!v.Chart()->legend->visible());
        QVERIFY(!v.Chart()->xAxis2->visible());

        // The bottom axis labels: UTC, exactly as stored, on two lines.
        auto ticker = v.Chart()->xAxis->ticker().dynamicCast<DayTicker>();
        QVERIFY(ticker);
        QVector<double> ticks;
        QVector<QString> labels;
        ticker->generate(QCPRange(At(2004, 8, 31, 12, 0), At(2004, 8, 31, 13, 0)), QLocale::c(), QLatin1Char('g'), 6,
                         ticks, nullptr, &labels);
        QVERIFY(!labels.isEmpty());
        const QChar d = LocaleDateSeparator(), t = LocaleTimeSeparator();
        bool found = false;
        for (int i = 0; i < ticks.size(); ++i) {
            if (Near(ticks[i], At(2004, 8, 31, 12, 30), 1e-9)) {
                found = true;
                QCOMPARE(labels[i], QStringLiteral("31") + d + QStringLiteral("08.04\n12") + t + QStringLiteral("30") + t +
                                        QStringLiteral("00"));
            }
        }
        QVERIFY2(found, qPrintable(QStringList(labels.begin(), labels.end()).join(QLatin1Char('|'))));

        // Czech title after the language switch.
        SetLanguage(0);
        v.ApplyCaptions();
        QCOMPARE(title->text(), QStringLiteral("QUENDAL 730            soubor  : m.dbf"));
    }

    void allModeSingleRecordBothSourcesZeroAndOutsidePeriod() {
        // A single record in all-mode: zero width, widened to 1e-10.
        WriteTable(Path("one.dbf"), {{At(2005, 1, 2, 3, 4, 5), 1.0, 2.0}});
        {
            Shown w(Path("one.dbf"));
            QVERIFY(w.v->AllMode());
            QVERIFY(Near(w.v->ChartStart(), At(2005, 1, 2, 3, 4, 5), 1e-12));
            QVERIFY2(Near(w.v->ChartEnd() - w.v->ChartStart(), 1e-10, 1e-11),
                     qPrintable(QString::number(w.v->ChartEnd() - w.v->ChartStart())));
            QCOMPARE(w.v->Series1()->data()->size(), 1);
        }

        // Both sources 0: both axes 0 .. 0 (at the minimum width), black, no titles, no points.
        auto rec = Record();
        AxisSettings none = rec.LeftAxis();
        none.Source = 0;
        rec.SetLeftAxis(none);
        rec.SetRightAxis(none);
        WriteTable(Path("zero.dbf"), Ramp(10), rec);
        {
            Shown w(Path("zero.dbf"));
            TFADbf& v = *w.v;
            QCOMPARE(v.Series1()->data()->size(), 0);
            QCOMPARE(v.Series2()->data()->size(), 0);
            for (QCPAxis* axis : {v.Chart()->yAxis, v.Chart()->yAxis2}) {
                QCOMPARE(axis->label(), QString());
                QCOMPARE(axis->labelColor(), QColor(Qt::black));
                QCOMPARE(axis->basePen().color(), QColor(Qt::black));
                QVERIFY(Near(axis->range().lower, 0, 1e-9) && Near(axis->range().upper, 0, 1e-9));
            }
            // The time axis still spans the records.
            QVERIFY(v.ChartStart() < Ramp(10).front().Time && v.ChartEnd() > Ramp(10).back().Time);
        }

        // Only input 1 on both axes: the right axis copies the left.
        auto single = Record();
        AxisSettings right = single.RightAxis();
        right.Source = 0;
        single.SetRightAxis(right);
        WriteTable(Path("left.dbf"), Ramp(10), single);
        {
            Shown w(Path("left.dbf"));
            TFADbf& v = *w.v;
            QCOMPARE(v.Series2()->data()->size(), 0);
            QCOMPARE(v.Chart()->yAxis2->label(), v.Chart()->yAxis->label());
            QVERIFY(Near(v.RightRange().Min, v.LeftRange().Min) && Near(v.RightRange().Max, v.LeftRange().Max));
        }

        // A source beyond the last field draws nothing in the settings and
        // is cut to the last field when loading.
        auto beyond = Record(false);
        AxisSettings l = beyond.LeftAxis();
        l.Source = 2;
        beyond.SetLeftAxis(l);
        beyond.SetRightAxis(l);
        WriteTable(Path("beyond.dbf"), Ramp(4), beyond);
        {
            Shown w(Path("beyond.dbf"));
            QCOMPARE(w.ctx.Adm.ParameterRecord.LeftAxis().Source, 1);
            QCOMPARE(w.v->Series1()->data()->size(), 4);
        }

        // Records only outside the period: an empty chart over the period with its margins.
        const double ps = At(2010, 1, 1), pe = At(2010, 1, 1) + 1;
        Shown w(Path("left.dbf"), pkDay, ps, pe);
        QCOMPARE(w.v->Series1()->data()->size(), 0);
        QVERIFY(Near(w.v->ChartEnd(), pe + 1.0 / 33, 1e-9));
        QVERIFY(Near(w.v->ChartStart(), ps - (w.v->ChartEnd() - ps) / 33, 1e-9));
        QVERIFY(Near(w.v->BottomRange().Min, w.v->ChartStart(), 1e-9));
    }

    void navigationRepeatAndZoom() {
        WriteTable(Path("n.dbf"), Ramp(200));
        Shown w(Path("n.dbf"));
        TFADbf& v = *w.v;
        const double start = v.ChartStart(), end = v.ChartEnd();

        // Zoom in then out does not give the range back exactly.
        const AxisRange full = v.BottomRange();
        v.GrafZoomIn_SBClick();
        const double d1 = full.Span() / 10;
        QVERIFY(Near(v.BottomRange().Min, full.Min + d1, 1e-9) && Near(v.BottomRange().Max, full.Max - d1, 1e-9));
        const AxisRange in = v.BottomRange();
        v.GrafZoomOut_SBClick();
        const double d2 = in.Span() / 10;
        QVERIFY(Near(v.BottomRange().Min, in.Min - d2, 1e-9) && Near(v.BottomRange().Max, in.Max + d2, 1e-9));
        QVERIFY(v.BottomRange().Span() < full.Span());

        // Start and end keep the span; 100 % horizontal is the chart.
        v.GrafZoomIn_SBClick();
        v.GrafZoomIn_SBClick();
        const double span = v.BottomRange().Span();
        v.GrafEnd_SBClick();
        QVERIFY(Near(v.BottomRange().Max, end, 1e-9) && Near(v.BottomRange().Span(), span, 1e-9));
        v.GrafStart_SBClick();
        QVERIFY(Near(v.BottomRange().Min, start, 1e-9) && Near(v.BottomRange().Span(), span, 1e-9));

        // Holding next: span/25 at once and every 100 ms, stopping exactly at the end.
        auto* next = Child<QToolButton>(v, "GrafNext_SB");
        QTest::mousePress(next, Qt::LeftButton);
        QVERIFY(v.Timer1()->isActive());
        QCOMPARE(v.Timer1()->interval(), 100);
        QVERIFY(Near(v.Step(), span / 25, 1e-12));
        QVERIFY(Near(v.BottomRange().Min, start + span / 25, 1e-9));
        // Each tick of the held button moves one more step.
        QSignalSpy ticks(v.Timer1(), &QTimer::timeout);
        QVERIFY(ticks.wait(5000));
        QVERIFY(Near(v.BottomRange().Min, start + 2 * span / 25, 1e-9));
        QTRY_VERIFY_WITH_TIMEOUT(Near(v.BottomRange().Max, end, 1e-9), 6000);
        QVERIFY(Near(v.BottomRange().Span(), span, 1e-9));
        ticks.clear();
        QVERIFY(ticks.wait(5000));
        QVERIFY(Near(v.BottomRange().Max, end, 1e-9));  // it stays there
        QTest::mouseRelease(next, Qt::LeftButton);
        QVERIFY(!v.Timer1()->isActive());

        // Prior, pressed once, steps back once and stops at the start.
        auto* prior = Child<QToolButton>(v, "GrafPrior_SB");
        QTest::mousePress(prior, Qt::LeftButton);
        QTest::mouseRelease(prior, Qt::LeftButton);
        QVERIFY(Near(v.BottomRange().Max, end - span / 25, 1e-9));
        v.GrafStart_SBClick();
        QTest::mousePress(prior, Qt::LeftButton);
        QTest::mouseRelease(prior, Qt::LeftButton);
        QVERIFY(Near(v.BottomRange().Min, start, 1e-9));

        // 100 % vertical and horizontal.
        v.Chart()->yAxis->setRange(1, 2);
        v.GrafZoomHeight_SBClick();
        QVERIFY(Near(v.LeftRange().Min, v.RememberedLeft().Min) && Near(v.LeftRange().Max, v.RememberedLeft().Max));
        v.GrafZoomWidth_SBClick();
        QVERIFY(Near(v.BottomRange().Min, start, 1e-9) && Near(v.BottomRange().Max, end, 1e-9));

        // The mouse: the wheel zooms around the pointer, dragging scrolls,
        // both inside the chart; hovering shows the nearest record.
        QCustomPlot* chart = v.Chart();
        const QRect area = chart->axisRect()->rect();
        const QPoint centre = area.center();
        QWheelEvent wheel(QPointF(centre), QPointF(chart->mapToGlobal(centre)), QPoint(), QPoint(0, 360), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart, &wheel);
        const AxisRange zoomed = v.BottomRange();
        QVERIFY(zoomed.Span() < (end - start) * 0.7);
        QVERIFY(zoomed.Min >= start && zoomed.Max <= end);
        QWheelEvent out(QPointF(centre), QPointF(chart->mapToGlobal(centre)), QPoint(), QPoint(0, -3600), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart, &out);
        QVERIFY(Near(v.BottomRange().Min, start, 1e-9) && Near(v.BottomRange().Max, end, 1e-9));  // no further than the chart
        QApplication::sendEvent(chart, &wheel);
        const AxisRange before = v.BottomRange();
        QTest::mousePress(chart, Qt::LeftButton, {}, centre);
        QMouseEvent drag(QEvent::MouseMove, QPointF(centre + QPoint(100, 0)), QPointF(chart->mapToGlobal(centre + QPoint(100, 0))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &drag);
        QTest::mouseRelease(chart, Qt::LeftButton, {}, centre + QPoint(100, 0));
        QVERIFY(v.BottomRange().Min < before.Min);  // dragged to the right: earlier times
        QVERIFY(Near(v.BottomRange().Span(), before.Span(), 1e-9));
        QTest::mousePress(chart, Qt::LeftButton, {}, centre);
        QMouseEvent far(QEvent::MouseMove, QPointF(centre + QPoint(5000, 0)), QPointF(chart->mapToGlobal(centre + QPoint(5000, 0))),
                        Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &far);
        QTest::mouseRelease(chart, Qt::LeftButton, {}, centre + QPoint(5000, 0));
        QVERIFY(Near(v.BottomRange().Min, start, 1e-9));  // stops at the chart start

        // Ctrl+drag and a right-button drag zoom to the rectangle drawn (the
        // bottom and both vertical axes); a double-click goes back to 100 %.
        const std::pair<Qt::MouseButton, Qt::KeyboardModifiers> rectangleDrags[] = {
            {Qt::LeftButton, Qt::ControlModifier}, {Qt::RightButton, Qt::NoModifier}};
        for (const auto& [button, modifiers] : rectangleDrags) {
            v.GrafZoomWidth_SBClick();
            v.GrafZoomHeight_SBClick();
            const QPoint a = area.topLeft() + QPoint(area.width() / 4, area.height() / 4);
            const QPoint b = area.topLeft() + QPoint(area.width() / 2, area.height() / 2);
            const AxisRange wantBottom{chart->xAxis->pixelToCoord(a.x()), chart->xAxis->pixelToCoord(b.x())};
            const AxisRange wantLeft{chart->yAxis->pixelToCoord(b.y()), chart->yAxis->pixelToCoord(a.y())};
            const AxisRange wantRight{chart->yAxis2->pixelToCoord(b.y()), chart->yAxis2->pixelToCoord(a.y())};
            QTest::mousePress(chart, button, modifiers, a);
            QMouseEvent move(QEvent::MouseMove, QPointF(b), QPointF(chart->mapToGlobal(b)), Qt::NoButton, button,
                             modifiers);
            QApplication::sendEvent(chart, &move);
            QTest::mouseRelease(chart, button, modifiers, b);
            QVERIFY(Near(v.BottomRange().Min, wantBottom.Min, 1e-9) && Near(v.BottomRange().Max, wantBottom.Max, 1e-9));
            QVERIFY(Near(v.LeftRange().Min, wantLeft.Min, 1e-9) && Near(v.LeftRange().Max, wantLeft.Max, 1e-9));
            QVERIFY(Near(v.RightRange().Min, wantRight.Min, 1e-9) && Near(v.RightRange().Max, wantRight.Max, 1e-9));
        }
        QTest::mouseDClick(chart, Qt::LeftButton, {}, centre);
        QVERIFY(Near(v.BottomRange().Min, start, 1e-9) && Near(v.BottomRange().Max, end, 1e-9));
        QVERIFY(Near(v.LeftRange().Min, v.RememberedLeft().Min) && Near(v.LeftRange().Max, v.RememberedLeft().Max));

        v.GrafZoomWidth_SBClick();
        const double key = Ramp(200)[57].Time;
        const QPoint at(int(chart->xAxis->coordToPixel(key)), centre.y());
        QMouseEvent hover(QEvent::MouseMove, QPointF(at), QPointF(chart->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(chart, &hover);
        const QString text = v.CrossHairText();
        QVERIFY2(text.startsWith(DateTimeCellText(key)), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Teplota:   48.5 °C")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Proud:  18.25 mA")), qPrintable(text));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(chart, &leave);
        QCOMPARE(v.CrossHairText(), QString());
    }

    void chartSettingsRoundTripThroughTheParameterFile() {
        const std::string path = Path("settings.dbf");
        WriteTable(path, Ramp(30));
        ModalRecorder rec;
        Shown w(path);
        TFADbf& v = *w.v;
        QVERIFY(Child<QToolButton>(v, "GrafParam_SB")->isEnabled());

        // Confirmed: input 2 on the left, nothing on the right, left fixed 0..50, blue.
        rec.onDialog = [](QDialog& d) {
            if (d.objectName() != QLatin1String("TFANastGraf")) return int(QDialog::Rejected);
            Child<QComboBox>(d, "LeftAxis_CB")->setCurrentIndex(2);
            Child<QComboBox>(d, "RightAxis_CB")->setCurrentIndex(0);
            Child<QCheckBox>(d, "LeftAxisAuto_CB")->setChecked(false);
            Child<TSpinFEdit>(d, "LeftAxisMin_SFE")->SetValue(0);
            Child<TSpinFEdit>(d, "LeftAxisMax_SFE")->SetValue(50);
            Child<QPushButton>(d, "Graf_BB")->click();
            return d.result();
        };
        v.GrafParam_SBClick();
        QCOMPARE(rec.dialogs, QStringList{QStringLiteral("TFANastGraf")});
        QCOMPARE(w.ctx.Adm.ParameterRecord.LeftAxis().Source, 2);
        QCOMPARE(w.ctx.Adm.ParameterRecord.RightAxis().Source, 0);
        QCOMPARE(v.Series1()->data()->size(), 30);  // the chart was reloaded
        QCOMPARE(v.Series2()->data()->size(), 0);
        QCOMPARE(v.Chart()->yAxis->label(), QStringLiteral("Proud   (mA)"));
        QCOMPARE(v.Chart()->yAxis2->label(), QStringLiteral("Proud   (mA)"));
        QVERIFY(Near(v.RememberedLeft().Max, 50 + 50.0 / 33));

        // Closing writes the parameter file; opening again shows the same.
        v.FormCloseQuery();
        const ArchiveParameterRecord par = ReadPar(path);
        QCOMPARE(par.LeftAxis().Source, 2);
        QCOMPARE(par.LeftAxis().Automatic, std::uint8_t(0));
        QCOMPARE(par.LeftAxis().Maximum, 50.0);
        QCOMPARE(par.RightAxis().Source, 0);
        v.OpenArchiveView(QString::fromStdString(path));
        QCOMPARE(v.Chart()->yAxis->label(), QStringLiteral("Proud   (mA)"));
        QVERIFY(Near(v.RememberedLeft().Max, 50 + 50.0 / 33));

        // Closed without Graf: nothing changes, nothing reloads.
        rec.dialogs.clear();
        rec.onDialog = [](QDialog& d) {
            Child<QComboBox>(d, "LeftAxis_CB")->setCurrentIndex(0);
            Child<QPushButton>(d, "Abort_BB")->click();
            return d.result();
        };
        v.GrafParam_SBClick();
        QCOMPARE(w.ctx.Adm.ParameterRecord.LeftAxis().Source, 2);
        QCOMPARE(v.Series1()->data()->size(), 30);

        // A fixed minimum above the maximum: the standard error box, the
        // chart as it was.
        rec.onDialog = [](QDialog& d) {
            Child<QCheckBox>(d, "LeftAxisAuto_CB")->setChecked(false);
            Child<TSpinFEdit>(d, "LeftAxisMin_SFE")->SetValue(60);
            Child<TSpinFEdit>(d, "LeftAxisMax_SFE")->SetValue(10);
            Child<QPushButton>(d, "Graf_BB")->click();
            return d.result();
        };
        rec.messages.clear();
        v.GrafParam_SBClick();
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.messages.first().contains(QStringLiteral("minimum")));
        QCOMPARE(v.Series1()->data()->size(), 30);
        QCOMPARE(v.Chart()->yAxis->label(), QStringLiteral("Proud   (mA)"));
        QVERIFY(Near(v.RememberedLeft().Max, 50 + 50.0 / 33));
        // The refresh button says the same, and so does showing the table
        // again; the table stays shown.
        rec.messages.clear();
        v.GrafRefresh_SBClick();
        QCOMPARE(rec.messages.size(), 1);
        v.FormCloseQuery();
        rec.messages.clear();
        v.OpenArchiveView(QString::fromStdString(path));
        QVERIFY(v.TabsShown());
        QCOMPARE(rec.messages.size(), 1);
    }

    void manyPointsAtTheDetailOfTheView() {
        // More records than the chart keeps one by one: a few points per
        // pixel, the spike and the lowest value among them; zoomed in far
        // enough, every record of the view from the table again.
        const int n = static_cast<int>(ChartDetail::kFullDetail) * 2;
        std::vector<Sample> s = Ramp(n);
        for (auto& x : s) x.V1 = 20.0 + (&x - s.data()) % 100 * 0.01;
        s[n / 3].V1 = 900.0;
        s[n - 7].V1 = -40.0;
        ArchiveParameterRecord r = Record();
        AxisSettings left = r.LeftAxis();
        left.Automatic = 1;
        r.SetLeftAxis(left);
        WriteTable(Path("many.dbf"), s, r);
        Shown w(Path("many.dbf"));
        TFADbf& v = *w.v;
        const auto has = [&](double key, double value) {
            for (auto it = v.Series1()->data()->constBegin(); it != v.Series1()->data()->constEnd(); ++it)
                if (std::abs(it->key - key) < 1e-7 && it->value == value) return true;  // stamps keep milliseconds
            return false;
        };
        const int wide = v.Series1()->data()->size();
        QVERIFY2(wide > 100 && wide <= 2 * v.Chart()->axisRect()->width() + 8, qPrintable(QString::number(wide)));
        QVERIFY(has(s[n / 3].Time, 900.0));
        QVERIFY(has(s[n - 7].Time, -40.0));
        QCOMPARE(v.LeftRange().Max, v.RememberedLeft().Max);
        QVERIFY(v.RememberedLeft().Max > 900.0 && v.RememberedLeft().Min < -40.0);
        // A view of 100 records: each of them, with the one either side.
        v.Chart()->xAxis->setRange(s[1000].Time, s[1099].Time);
        QVERIFY(v.Series1()->data()->size() >= 100 && v.Series1()->data()->size() < 1000);
        QVERIFY(has(s[1050].Time, *s[1050].V1));
        QVERIFY(has(s[1000].Time, *s[1000].V1) && has(s[1099].Time, *s[1099].V1));
        // Back at full width, the spike is still there.
        v.GrafZoomWidth_SBClick();
        QVERIFY(has(s[n / 3].Time, 900.0));
        QCOMPARE(v.Series1()->data()->size(), wide);
    }

    void loadingWithTheProgressWindowAndAbort() {
        WriteTable(Path("big.dbf"), Ramp(20000));
        Shown w(Path("big.dbf"));
        TFADbf& v = *w.v;
        QCOMPARE(v.Series1()->data()->size(), 20000);
        // The progress window "Načítání grafu" with its abort button; an abort
        // keeps what was loaded so far and the current record.
        w.ctx.Adm.Table1.MoveTo(1234);
        QString caption;
        bool abortShown = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* progress = qobject_cast<TFProgress*>(top);
                if (!progress || !progress->isVisible()) continue;
                caption = progress->windowTitle();
                auto* abort = progress->findChild<QPushButton*>(QStringLiteral("Abort_BB"));
                abortShown = abort && abort->isVisible();
                if (abort) abort->click();
            }
        });
        v.GrafRefresh_SBClick();
        QCOMPARE(caption, QStringLiteral("Načítání grafu"));
        QVERIFY(abortShown);
        QVERIFY2(v.Series1()->data()->size() < 20000, qPrintable(QString::number(v.Series1()->data()->size())));
        QCOMPARE(w.ctx.Adm.Table1.RecNo(), 1234);
        QCOMPARE(v.RecordLabel()->text(), QStringLiteral("1234 / 20000"));
        // No window is left behind.
        for (QWidget* top : QApplication::topLevelWidgets()) QVERIFY(!(qobject_cast<TFProgress*>(top) && top->isVisible()));
    }

    void chartPrint() {
        WriteTable(Path("p.dbf"), Ramp(50));
        ModalRecorder rec;
        Shown w(Path("p.dbf"));
        const QString pdf = QString::fromStdString(Path("chart.pdf"));
        w.v->SetPrintOutputFile(pdf);
        QPageLayout::Orientation orientation = QPageLayout::Portrait;
        rec.onDialog = [&](QDialog& d) {
            auto* psd = qobject_cast<QPrintDialog*>(&d);
            if (psd) orientation = psd->printer()->pageLayout().orientation();
            return int(QDialog::Rejected);
        };
        w.v->GrafPrint_SBClick();
        QCOMPARE(rec.dialogs, QStringList{QStringLiteral("PSD")});
        QCOMPARE(orientation, QPageLayout::Landscape);
        QVERIFY(!QFile::exists(pdf));  // cancelled
        rec.onDialog = [](QDialog&) { return int(QDialog::Accepted); };
        w.v->GrafPrint_SBClick();
        QVERIFY(QFile::exists(pdf));
        QVERIFY(QFileInfo(pdf).size() > 1000);
    }
};

QTEST_MAIN(ViewerChartTest)
#include "ViewerChartTest.moc"
