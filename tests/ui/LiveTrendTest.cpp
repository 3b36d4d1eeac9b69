// SPDX-License-Identifier: GPL-3.0-or-later
// The live trend under the main window's panels, run against the simulated
// logger with the window's clock moved by hand: the points of each reading,
// a gap for a failed one, statistics, the alarm crossing and the recording.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <cmath>

#include <qcustomplot.h>

#include "ScratchDir.h"
#include "app/AppContext.h"
#include "app/ui/LiveTrendPanel.h"
#include "base/ui/ModalRunner.h"
#include "app/ui/TFMain.h"
#include "base/ui/TSpinFEdit.h"
#include "link/CommSettings.h"
#include "sim/Simulator.h"

using namespace kolvex;
using namespace kolvex::ui;

class LiveTrendTest : public QObject {
    Q_OBJECT

    kolvex::test::ScratchDir dir_;

private slots:
    void initTestCase() { dir_.InitTestCase(); }
    void cleanupTestCase() { dir_.CleanupTestCase(); }
    void init() { QVERIFY(dir_.Init()); }
    void cleanup() { dir_.Cleanup(); }

    void trendOfAFewCadencesWithAGap() {
        QStringList messages;
        SetModalHook([&](QDialog& d) {
            if (auto* box = qobject_cast<QMessageBox*>(&d)) messages << box->text();
            return static_cast<int>(QDialog::Rejected);
        });
        QStringList notes;
        SetNotifyHook([&](const QString&, const QString& text) { notes << text; });

        ConfigRecord c;
        c.WindowHeight = 500;
        c.WindowWidth = 800;
        c.Language = 1;
        c.ComPort = "SIM";
        c.TIdle = 20;
        c.TSlot = 100;
        const auto bytes = c.Encode();
        QFile cfg(dir_->filePath(QStringLiteral("kolvex12.cfg")));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        cfg.close();

        sim::Simulator logger;
        const std::string slave = logger.Start();
        QDateTime now(QDate(2024, 5, 17), QTime(10, 0, 0));
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx, [&] { return now; });
        w.Timer1()->stop();
        OpenPortDirect(ctx.Port, slave, 20, 100);
        // Input 2's upper alarm limit at the bottom of its converter range:
        // every reading lies above it, which is one crossing only.
        ctx.Ops.ReadLoggerType();
        ctx.Ops.ReadParameterBlock();
        ParameterBlock block = ctx.Logger.Image.Parameters;
        block.Input[1].AlarmLowRaw = 0;
        block.Input[1].AlarmHighRaw = 0;
        ctx.Ops.WriteParameterBlock(block);

        LiveTrendPanel* trend = w.LiveTrend();
        QVERIFY(trend && trend->isHidden());
        const QString csvPath = dir_->filePath(QStringLiteral("live.csv"));
        trend->SetRecordFile(csvPath);
        trend->findChild<QCheckBox*>(QStringLiteral("Zaznam_ChB"))->setChecked(true);
        trend->findChild<QComboBox*>(QStringLiteral("Okno_CB"))->setCurrentIndex(0);  // 10 min

        w.findChild<QToolButton*>(QStringLiteral("ZobrMereni_SB"))->click();
        QVERIFY(!trend->isHidden());

        // The alarm limits as dashed lines: the simulated Pt100 at 0 and
        // 100 °C on the left axis, the current loop's moved limits on the right.
        QCustomPlot* chart = trend->Chart();
        QList<QPair<int, double>> lines;
        for (int i = 0; i < chart->itemCount(); ++i)
            if (auto* l = qobject_cast<QCPItemStraightLine*>(chart->item(i)); l && l->visible()) {
                QCOMPARE(l->pen().style(), Qt::DashLine);
                lines << qMakePair(l->point1->valueAxis() == chart->yAxis ? 1 : 2, l->point1->coords().y());
            }
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0].first, 1);
        QVERIFY2(std::fabs(lines[0].second) < 0.5 && std::fabs(lines[1].second - 100) < 0.5,
                 qPrintable(QStringLiteral("%1 %2").arg(lines[0].second).arg(lines[1].second)));
        QCOMPARE(lines[2].first, 2);
        QCOMPARE(chart->yAxis->label(), QStringLiteral("Teplota   (°C)"));

        // Readings at seconds 0, 5, 10, 15 and 20: one point each, with the
        // panel's values.
        auto tick = [&](int second) {
            now.setTime(QTime(10, 0, second, 150));
            w.Timer1Timer();
        };
        auto* value1 = w.findChild<QLabel*>(QStringLiteral("H1Value_ST"));
        auto* value2 = w.findChild<QLabel*>(QStringLiteral("H2Value_ST"));
        QList<double> shown1;
        for (int s = 0; s <= 20; ++s) {
            tick(s);
            if (s % 5 == 0) shown1 << value1->text().toDouble();
        }
        const auto& points = trend->History().Points();
        QCOMPARE(points.size(), std::size_t{5});
        for (std::size_t i = 0; i < points.size(); ++i) {
            QCOMPARE(points[i].Time, ToDateTimeValue(QDateTime(QDate(2024, 5, 17), QTime(10, 0, int(5 * i), 150))));
            QVERIFY(std::fabs(points[i].Value[0] - shown1[int(i)]) <= 0.05 + 1e-9);
        }
        QCOMPARE(value2->palette().color(QPalette::WindowText), kValueAlarm);
        QCOMPARE(value1->palette().color(QPalette::WindowText) == kValueAlarm, trend->Alarm(0) != AlarmState::Normal);

        // The logger falls silent at second 25 and is retried at 27: one gap.
        sim::FaultRule silent;
        silent.Kind = sim::FaultKind::NoReply;
        silent.Every = 1;
        logger.SetFault(silent);
        for (int s = 21; s <= 27; ++s) tick(s);
        logger.ClearFault();
        tick(28);
        QCOMPARE(points.size(), std::size_t{7});
        QVERIFY(std::isnan(points[5].Value[0]) && std::isnan(points[5].Value[1]));
        QVERIFY(!std::isnan(points[6].Value[0]) && !std::isnan(points[6].Value[1]));
        QCPGraph* series1 = chart->graph(0);
        QCOMPARE(series1->dataCount(), 7);
        QVERIFY(std::isnan((series1->data()->begin() + 5)->value));
        // Until the ten minutes have filled, the window starts at the first reading.
        QCOMPARE(chart->xAxis->range().lower, points.front().Time);
        QVERIFY(chart->xAxis->range().upper >= points.front().Time + 10.0 / 1440);

        // Statistics of the six good readings.
        for (int n = 0; n < 2; ++n) {
            const LiveStatistics& st = trend->Statistics(n);
            QCOMPARE(st.Count(), std::int64_t{6});
            double lo = INFINITY, hi = -INFINITY, sum = 0;
            for (const LivePoint& p : points)
                if (!std::isnan(p.Value[n])) {
                    lo = std::min(lo, p.Value[n]);
                    hi = std::max(hi, p.Value[n]);
                    sum += p.Value[n];
                }
            QCOMPARE(st.Min(), lo);
            QCOMPARE(st.Max(), hi);
            QVERIFY(std::fabs(st.Mean() - sum / 6) < 1e-9);
        }
        QVERIFY(chart->graph(1)->name().contains(QStringLiteral("mean")));
        trend->findChild<QPushButton*>(QStringLiteral("StatReset_BB"))->click();
        QCOMPARE(trend->Statistics(1).Count(), std::int64_t{0});

        // Input 2 crossed once, at the first reading; the failure re-armed nothing.
        QCOMPARE(notes.filter(QStringLiteral("Input 2")).size(), 1);
        QVERIFY2(notes.filter(QStringLiteral("Input 2"))[0].startsWith(
                     QStringLiteral("Input 2 (Proud): ")) &&
                     notes.filter(QStringLiteral("Input 2"))[0].contains(QStringLiteral("above the upper alarm limit")),
                 qPrintable(notes.join(QLatin1Char('|'))));

        // The recording holds every reading and one line for the failure,
        // written as they came.
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows.size(), 1 + 1 + 7);  // heading, six readings and the gap, then the end
        QCOMPARE(rows[0], QByteArray("\xEF\xBB\xBF" "Date and time,Teplota (°C),Proud (%)\r"));
        QVERIFY(rows[6].endsWith(",,\r"));
        QCOMPARE(rows[7].count(','), 2);
        QVERIFY(messages.isEmpty());

        // The trend's own settings beside the configuration file.
        QFile ini(dir_->filePath(QStringLiteral("kolvex12-live.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray settings = ini.readAll();
        QVERIFY(settings.contains("window=10min"));
        QVERIFY(settings.contains("record_file=" + csvPath.toUtf8()));

        // Switching off hides the trend.
        w.findChild<QToolButton*>(QStringLiteral("ZobrMereni_SB"))->click();
        QVERIFY(trend->isHidden());
        ctx.Port.Close();
        SetNotifyHook(nullptr);
        SetModalHook(nullptr);
    }

    // New alarm limits stored through the archiving parameters editor while
    // the display runs: the next reading is coloured and notified by the new
    // limit, its line moves, and the history and statistics stay.
    void storedLimitAppliesAtOnceKeepingHistory() {
        QStringList notes;
        SetNotifyHook([&](const QString&, const QString& text) { notes << text; });
        ConfigRecord c;
        c.WindowHeight = 500;
        c.WindowWidth = 800;
        c.Language = 1;
        c.ComPort = "SIM";
        const auto bytes = c.Encode();
        QFile cfg(dir_->filePath(QStringLiteral("kolvex12.cfg")));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        cfg.close();

        sim::Simulator logger;
        const std::string slave = logger.Start();
        QDateTime now(QDate(2024, 5, 17), QTime(10, 0, 0));
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx, [&] { return now; });
        w.Timer1()->stop();
        OpenPortDirect(ctx.Port, slave, 20, 100);
        w.findChild<QToolButton*>(QStringLiteral("ZobrMereni_SB"))->click();
        LiveTrendPanel* trend = w.LiveTrend();
        auto tick = [&](int second) {
            now.setTime(QTime(10, 0, second, 150));
            w.Timer1Timer();
        };
        for (int s = 0; s <= 10; ++s) tick(s);
        QCOMPARE(trend->History().Points().size(), std::size_t{3});
        auto* value1 = w.findChild<QLabel*>(QStringLiteral("H1Value_ST"));
        const qsizetype notesBefore = notes.filter(QStringLiteral("Input 1")).size();

        // The editor: input 1's limits at the bottom of its range, below any
        // simulated reading; the question that empties the logger is answered Yes.
        const float limit = -45.0f;
        SetModalHook([&](QDialog& d) {
            if (auto* box = qobject_cast<QMessageBox*>(&d)) return static_cast<int>(box->buttons().size() > 1 ? QMessageBox::Yes : QMessageBox::Ok);
            if (d.objectName() != QStringLiteral("TFAParama")) return static_cast<int>(QDialog::Rejected);
            d.findChild<TSpinFEdit*>(QStringLiteral("Vst1TAlarmLo_SFE"))->SetValue(-50.0f);
            d.findChild<TSpinFEdit*>(QStringLiteral("Vst1TAlarmHi_SFE"))->SetValue(limit);
            d.findChild<QPushButton*>(QStringLiteral("SetUp_BB"))->click();
            return d.result();
        });
        w.AParam_MIClick();
        SetModalHook(nullptr);

        QVERIFY(std::fabs(trend->Inputs()[0].AlarmHigh.value_or(1e9) - limit) < 0.2);
        QCOMPARE(trend->History().Points().size(), std::size_t{3});
        QCOMPARE(trend->Statistics(0).Count(), std::int64_t{3});
        tick(15);
        QCOMPARE(trend->History().Points().size(), std::size_t{4});
        QCOMPARE(trend->Alarm(0), AlarmState::High);
        QCOMPARE(value1->palette().color(QPalette::WindowText), kValueAlarm);
        QCOMPARE(notes.filter(QStringLiteral("Input 1")).size(), notesBefore + 1);
        bool lineMoved = false;
        QCustomPlot* chart = trend->Chart();
        for (int i = 0; i < chart->itemCount(); ++i)
            if (auto* l = qobject_cast<QCPItemStraightLine*>(chart->item(i)); l && l->visible())
                lineMoved |= l->point1->valueAxis() == chart->yAxis && std::fabs(l->point1->coords().y() - limit) < 0.2;
        QVERIFY(lineMoved);
        ctx.Port.Close();
        SetNotifyHook(nullptr);
    }
};

QTEST_MAIN(LiveTrendTest)
#include "LiveTrendTest.moc"
