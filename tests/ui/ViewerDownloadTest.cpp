// SPDX-License-Identifier: GPL-3.0-or-later
// The download in the desktop program against the simulated logger: the
// question, the split-period message with the storing parameters dialog, the
// user's own file, Abort/Retry on a communication error, and the viewer
// showing the table written last at its last record.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include <qcustomplot.h>

#include "ScratchDir.h"
#include "app/AppContext.h"
#include "base/Language.h"
#include "app/ui/TFMain.h"
#include "archive/ui/TFADbf.h"
#include "base/ui/TFProgress.h"
#include "link/CommSettings.h"
#include "app/BuiltinPort.h"
#include "sim/Simulator.h"
#include "ViewerFixture.h"
#include "StallMeter.h"

using namespace kolvex;
using namespace kolvex::ui;
using namespace viewertest;

namespace {

ConfigRecord BaseConfig(const QString& dir) {
    ConfigRecord c;
    c.WindowTop = 20;
    c.WindowLeft = 30;
    c.WindowHeight = 600;
    c.WindowWidth = 1000;
    c.Language = 1;
    c.BusAddress = 255;
    c.ComPort = "SIM";
    c.TIdle = 20;
    c.TSlot = 100;
    c.LastArchivePath = (dir + QStringLiteral("/")).toStdString();
    c.NameSource = 1;
    c.SplitFlags = 1 | 2;
    c.ReadMode = 0;
    c.InsertBookmark = 1;
    c.ChartPeriod.Kind = 5;
    c.ViewerTab = 2;
    return c;
}

void WriteConfig(const QString& path, const ConfigRecord& c) {
    const auto b = c.Encode();
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size()));
}

// Timestamps of a table in order, all distinct and ascending.
bool StrictlyAscending(Table& t) {
    double last = -1;
    for (t.First(); !t.Eof(); t.Next()) {
        const double v = t.AsDateTime(0);
        if (v <= last) return false;
        last = v;
    }
    return true;
}

}  // namespace

class ViewerDownloadTest : public QObject {
    Q_OBJECT

    kolvex::test::ScratchDir dir_;
    std::unique_ptr<sim::Simulator> sim_;

    // The main window on the fast built-in port, then switched to our own
    // simulated logger.
    std::unique_ptr<TFMain> Start(AppContext& ctx, const ConfigRecord& c, std::uint32_t samples = 120,
                                  bool pacing = false) {
        WriteConfig(dir_->filePath(QStringLiteral("kolvex12.cfg")), c);
        auto w = std::make_unique<TFMain>(ctx);
        w->Timer1()->stop();
        w->show();
        sim::SimOptions o;
        o.Samples = samples;
        o.PeriodValue = 10;
        o.PeriodUnit = 2;
        o.Pacing = pacing;
        sim_ = std::make_unique<sim::Simulator>(o);
        OpenPortDirect(ctx.Port, sim_->Start(), 1, 100);
        return w;
    }

private slots:
    void initTestCase() { dir_.InitTestCase(); }
    void cleanupTestCase() { dir_.CleanupTestCase(); }
    void init() { QVERIFY(dir_.Init()); }
    void cleanup() {
        sim_.reset();
        dir_.Cleanup();
    }

    void downloadShowsTheNewTable() {
        ModalRecorder rec;
        rec.answer = QMessageBox::Yes;
        AppContext ctx(dir_.Simulator());
        auto w = Start(ctx, BaseConfig(dir_->path()));
        QVERIFY(!w->Viewer());
        Child<QToolButton>(*w, "ArchivRead_SB")->click();

        // The question names the base file and the periods.
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages[0], QStringLiteral("Save data to file\n") + dir_->path() +
                                      QStringLiteral("/00084321.dbf  ?\n\n\nStorage in years\nStorage in months"));
        QVERIFY(w->Viewer());
        TFADbf& v = *w->Viewer();
        Table& t = ctx.Adm.Table1;
        QVERIFY(t.IsOpen());
        QVERIFY(v.TabsShown());
        const QString shown = QString::fromStdString(t.FileName());
        QVERIFY2(shown.startsWith(QStringLiteral("00084321-")) && shown.size() == QStringLiteral("00084321-2024-05.dbf").size(),
                 qPrintable(shown));
        QCOMPARE(v.windowTitle(), shown);
        const std::int64_t n = t.RecordCount();
        QVERIFY2(n >= 120, qPrintable(QString::number(n)));
        QCOMPARE(t.RecNo(), n);  // at the last record
        QCOMPARE(v.RecordLabel()->text(), QStringLiteral("%1 / %1").arg(n));
        QCOMPARE(v.Grid()->currentIndex().row(), int(n - 1));
        QCOMPARE(v.Series1()->data()->size(), int(n));
        QVERIFY(Child<QToolButton>(*w, "DbfErase_SB")->isEnabled());
        QVERIFY(w->statusBar()->currentMessage().startsWith(QStringLiteral("Records read: %1").arg(n)));
        QCOMPARE(QString::fromStdString(ctx.Config.LastArchivePath), QString::fromStdString(t.Path()));
        // The bookmark moved; the year file holds the same records.
        QCOMPARE(sim_->ArchiveRead(), sim_->ArchiveWrite());
        const QStringList years = QDir(dir_->path()).entryList({QStringLiteral("00084321-????.dbf")});
        QCOMPARE(years.size(), 1);
        QVERIFY(StrictlyAscending(t));
        t.Last();

        // A second download right away adds nothing (or what the logger
        // archived meanwhile), and the viewer shows the same table.
        rec.messages.clear();
        Child<QToolButton>(*w, "ArchivRead_SB")->click();
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(t.IsOpen());
        QVERIFY(t.RecordCount() <= n + 1);
        QVERIFY(StrictlyAscending(t));
        QCOMPARE(QString::fromStdString(t.FileName()), shown);
        QVERIFY(v.TabsShown());

        // Screenshots of the three tabs, when asked for.
        const QString shots = qEnvironmentVariable("KOLVEX_SHOT_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            for (int lang : {1, 0}) {
                w->findChild<QToolButton*>(QString::fromLatin1(lang ? "English_SB" : "Czech_SB"))->click();
                for (int tab = 0; tab < 3; ++tab) {
                    v.TabBar()->setCurrentIndex(tab);
                    QTest::qWait(100);
                    QVERIFY(w->grab().save(
                        QStringLiteral("%1/download-%2-tab%3.png").arg(shots, lang ? "en" : "cs").arg(tab)));
                }
            }
        }
        w->close();
        // Closing stored the viewer's state and closed the table.
        QCOMPARE(ctx.Config.ViewerTab, v.TabIndex());
        QVERIFY(!ctx.Adm.Table1.IsOpen());
    }

    void readingKeepsTheWindowLive() {
        ModalRecorder rec;
        rec.answer = QMessageBox::Yes;
        AppContext ctx(dir_.Simulator());
        auto w = Start(ctx, BaseConfig(dir_->path()), 1000);
        // From Read to the end of the reading (the progress window gone):
        // storing and showing the table afterwards stay on this thread.
        bool progressSeen = false;
        auto readingDone = [&] {
            bool visible = false;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (qobject_cast<TFProgress*>(top) && top->isVisible()) visible = true;
            progressSeen = progressSeen || visible;
            return progressSeen && !visible;
        };
        StallMeter meter;
        meter.Start(readingDone);
        w->ARead_MIClick();
        const qint64 stall = meter.Stop();
        QVERIFY(progressSeen);
        QVERIFY(ctx.Adm.Table1.IsOpen());
        QVERIFY(ctx.Adm.Table1.RecordCount() >= 1000);
        QVERIFY2(stall <= 100, qPrintable(QString::number(stall) + " ms stall"));
    }

    void abortStopsTheDownloadKeepingWhatWasStored() {
        ModalRecorder rec;
        rec.answer = QMessageBox::Yes;
        AppContext ctx(dir_.Simulator());
        // About 13 s of reading at the line's pace.
        auto w = Start(ctx, BaseConfig(dir_->path()), 3000, true);
        const std::int32_t before = sim_->ArchiveRead();
        const std::int32_t write = sim_->ArchiveWrite();
        QElapsedTimer clock;
        qint64 abortedAt = -1;
        bool abortShown = false;
        QTimer watch;
        watch.setInterval(50);
        connect(&watch, &QTimer::timeout, [&] {
            if (abortedAt >= 0 || clock.elapsed() < 1500) return;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* progress = qobject_cast<TFProgress*>(top);
                if (!progress || !progress->isVisible()) continue;
                abortShown = Child<QPushButton>(*progress, "Abort_BB")->isVisible();
                abortedAt = clock.elapsed();
                progress->reject();  // what Escape and the termination signal do
            }
        });
        clock.start();
        watch.start();
        w->ARead_MIClick();
        const qint64 ended = clock.elapsed();
        QVERIFY(abortShown);
        QVERIFY(abortedAt >= 0);
        QVERIFY2(ended - abortedAt <= 2000, qPrintable(QString::number(ended - abortedAt) + " ms after Abort"));
        QCOMPARE(rec.messages.size(), 1);  // the question only: no error box after Abort
        // What was read is stored; the bookmark stands after it, not at the end.
        const std::int64_t stored = ctx.Adm.Table1.IsOpen() ? ctx.Adm.Table1.RecordCount() : 0;
        QVERIFY2(stored > 0 && stored < 3000, qPrintable(QString::number(stored)));
        QVERIFY(sim_->ArchiveRead() != before);
        QVERIFY(sim_->ArchiveRead() != write);
        QVERIFY(StrictlyAscending(ctx.Adm.Table1));
    }

    void noSplitPeriodAsksForTheStoringParameters() {
        ModalRecorder rec;
        AppContext ctx(dir_.Simulator());
        ConfigRecord c = BaseConfig(dir_->path());
        c.SplitFlags = 0;
        auto w = Start(ctx, c);
        // First the storing parameters dialog is closed without a choice.
        rec.onDialog = [](QDialog& d) { return d.objectName() == QLatin1String("TFAParamC") ? int(QDialog::Rejected) : 0; };
        w->ARead_MIClick();
        QCOMPARE(rec.dialogs, QStringList{QStringLiteral("TFAParamC")});
        QCOMPARE(rec.messages.size(), 2);
        QCOMPARE(rec.messages[0], QStringLiteral("No file selected to save\nin item \"Split data to files\" check at least 1 item"));
        QCOMPARE(rec.messages[1], QStringLiteral("No file selected to save"));
        QVERIFY(QDir(dir_->path()).entryList({QStringLiteral("*.dbf")}).isEmpty());
        const std::int32_t bookmark = sim_->ArchiveRead();

        // Now the day is chosen there; the question is answered No.
        rec.messages.clear();
        rec.dialogs.clear();
        rec.onDialog = [](QDialog& d) {
            Child<QCheckBox>(d, "UkladaniDen_ChB")->setChecked(true);
            Child<QPushButton>(d, "SetUp_BB")->click();
            return d.result();
        };
        rec.answer = QMessageBox::No;
        w->ARead_MIClick();
        QCOMPARE(ctx.Config.SplitFlags, 8);
        QCOMPARE(rec.messages.size(), 2);
        QVERIFY(rec.messages[1].endsWith(QStringLiteral("Storage in dayes")));
        QVERIFY(QDir(dir_->path()).entryList({QStringLiteral("*.dbf")}).isEmpty());
        QCOMPARE(sim_->ArchiveRead(), bookmark);
    }

    void usersOwnFileAndCommunicationErrors() {
        ModalRecorder rec;
        AppContext ctx(dir_.Simulator());
        ConfigRecord c = BaseConfig(dir_->path());
        c.NameSource = 2;
        auto w = Start(ctx, c, 300);
        const QString chosen = dir_->filePath(QStringLiteral("mine.dbf"));
        QString title, proposed;
        bool usable = true;  // every box can be answered: none is disabled
        rec.onDialog = [&](QDialog& d) {
            usable = usable && d.isEnabled();
            auto* fd = qobject_cast<QFileDialog*>(&d);
            if (!fd) return int(QDialog::Rejected);
            title = fd->windowTitle();
            proposed = fd->selectedFiles().value(0);
            fd->selectFile(chosen);
            return int(QDialog::Accepted);
        };
        // The range read fails a while: Retry until it goes through.
        int errors = 0;
        rec.onBox = [&](QMessageBox& box) {
            usable = usable && box.isEnabled();
            if (box.text() == QLatin1String("Communication error")) {
                ++errors;
                if (box.standardButtons() != (QMessageBox::Abort | QMessageBox::Retry)) return int(QMessageBox::Abort);
                if (errors == 2) sim_->ClearFault();
                return int(QMessageBox::Retry);
            }
            return int(QMessageBox::Ok);
        };
        // Frames after the logger data reads fail for good until the second box.
        sim::FaultRule fault;
        fault.Kind = sim::FaultKind::NoReply;
        fault.Frames.clear();
        for (int f = 12; f < 400; ++f) fault.Frames.push_back(f);
        sim_->SetFault(fault);
        w->ARead_MIClick();

        QCOMPARE(title, QStringLiteral("Open database"));
        QVERIFY2(proposed.endsWith(QStringLiteral("/00000000.dbf")), qPrintable(proposed));
        QVERIFY2(errors >= 2, qPrintable(rec.messages.join(QLatin1Char('|'))));
        QVERIFY(usable);
        Table& t = ctx.Adm.Table1;
        QVERIFY(t.IsOpen());
        QCOMPARE(QString::fromStdString(t.Path()), chosen);
        QVERIFY(t.RecordCount() >= 300);
        QVERIFY(StrictlyAscending(t));
        QCOMPARE(sim_->ArchiveRead(), sim_->ArchiveWrite());
        QVERIFY(w->Viewer()->TabsShown());
        // No question for the user's own file.
        for (const QString& m : rec.messages) QVERIFY(!m.startsWith(QStringLiteral("Save data")));
    }
};

QTEST_MAIN(ViewerDownloadTest)
#include "ViewerDownloadTest.moc"
