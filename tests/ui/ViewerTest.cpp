// SPDX-License-Identifier: GPL-3.0-or-later
// The archive viewer against real tables written by the storage engine:
// opening, tabs, record counter, navigator, grid cells, the splitter rule and
// what closing stores.

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

#include "app/AppContext.h"
#include "base/Language.h"
#include "archive/FileOps.h"
#include "output/PeriodSelection.h"
#include "archive/ui/ArchiveGrid.h"
#include "archive/ui/StatisticsPanel.h"
#include "archive/ui/TFADbf.h"
#include "output/ui/ViewerOutputActions.h"
#include "archive/ui/ViewerSupport.h"
#include "ViewerFixture.h"

using namespace kolvex;
using namespace kolvex::ui;
using namespace viewertest;

class ViewerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

    std::string Path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)).toStdString(); }

    // All records in the chart; the viewer was left showing both panels.
    static void AllMode(AppContext& ctx) {
        ctx.Config.ChartPeriod.Kind = pkAll;
        ctx.Config.ViewerTab = 2;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        SetLanguage(1);
    }
    void cleanup() { dir_.reset(); }

    // The statistics panel follows the visible period, a click on an
    // excursion shows it in the chart, and the cursors A and B give the time
    // and the value differences.
    void statisticsPanelAndCursors() {
        const std::string path = Path("stat.dbf");
        std::vector<Sample> samples;
        const double t0 = At(2004, 8, 31, 0, 0);
        for (int i = 0; i < 288; ++i) {
            const double v = (i >= 100 && i < 106) ? 30.0 : (i >= 200 && i < 203) ? -5.0 : 5.0 + (i % 10) * 0.1;
            samples.push_back({t0 + i * 300.0 / 86400.0, v, i == 50 ? std::optional<double>() : 4.0 + i % 3});
        }
        ArchiveParameterRecord rec = Record();
        RecordingInfo info;
        info.PeriodSeconds = 300;
        info.Input[0] = {true, true, 0.0, 25.0};
        rec.SetRecording(info);
        WriteTable(path, samples, rec);
        for (const int lang : {1, 0}) {
            SetLanguage(lang);
            AppContext ctx;
            AllMode(ctx);
            TFADbf v(ctx, MakeViewerActions(ctx));
            v.resize(1300, 700);
            v.show();
            QVERIFY(QTest::qWaitForWindowExposed(&v));
            v.OpenArchiveView(QString::fromStdString(path));
            StatisticsPanel* panel = v.Statistics();
            QVERIFY(panel && !panel->isVisible());
            v.findChild<QToolButton*>(QStringLiteral("GrafStat_SB"))->click();
            QVERIFY(panel->isVisible());
            QCOMPARE(panel->Summary().Records, std::int64_t(288));
            QCOMPARE(panel->Summary().Inputs[0].ExcursionsAbove, std::int64_t(1));
            QCOMPARE(panel->Summary().Inputs[0].ExcursionsBelow, std::int64_t(1));
            QCOMPARE(panel->Excursions()->rowCount(), 2);

            // A click on the second excursion shows it: the view holds it and
            // is much narrower than the day; the figures follow the view.
            panel->ShowExcursion(1);
            const AxisRange r = v.BottomRange();
            const double below = t0 + 200 * 300.0 / 86400.0;
            QVERIFY(r.Min < below && r.Max > below + 900.0 / 86400.0);
            QVERIFY(r.Span() < 0.2);
            panel->Refresh();
            QVERIFY(panel->Summary().Records < 288);
            QCOMPARE(panel->Summary().Inputs[0].ExcursionsAbove, std::int64_t(0));

            // Cursor A at the second below-limit record, B one hour later.
            panel->SetCursor(0, t0 + 201 * 300.0 / 86400.0 + 1e-7);
            panel->SetCursor(1, t0 + 213 * 300.0 / 86400.0 + 1e-7);
            const QString text = panel->CursorText();
            QVERIFY2(text.contains(QStringLiteral("B − A: 01:00:00")), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("10.30")) || text.contains(QStringLiteral("10,30")),
                     qPrintable(text));  // 5.3 - (-5.0)
            v.Chart()->replot();
            QTest::qWait(50);
            if (qEnvironmentVariableIsSet("KOLVEX_SHOTS"))
                v.grab().save(qEnvironmentVariable("KOLVEX_SHOTS") +
                              (lang == 1 ? QStringLiteral("/viewer_statistics_en.png") : QStringLiteral("/viewer_statistics_cs.png")));
        }
    }


    void openTabsCounterAndNavigator() {
        ModalRecorder rec;
        const std::string path = Path("84321-2004.dbf");
        auto samples = Ramp(5);
        samples[3].V2.reset();  // an empty field
        WriteTable(path, samples);

        AppContext ctx;
        AllMode(ctx);
        TFADbf v(ctx, MakeViewerActions(ctx));
        v.resize(1100, 650);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY(!v.TabsShown());  // nothing shown yet

        QSignalSpy opened(&v, &TFADbf::TableOpenChanged);
        v.OpenArchiveView(QString::fromStdString(path));
        QVERIFY(v.TabsShown());
        QCOMPARE(v.windowTitle(), QStringLiteral("84321-2004.dbf"));
        QCOMPARE(QString::fromStdString(ctx.Config.LastArchivePath), QString::fromStdString(path));
        QVERIFY(!opened.isEmpty() && opened.last().at(0).toBool());
        QCOMPARE(v.TabBar()->count(), 3);
        QCOMPARE(v.TabBar()->tabText(0), QStringLiteral("Database"));
        QCOMPARE(v.TabBar()->tabText(2), QStringLiteral("Database + graph"));
        QCOMPARE(v.TabIndex(), 2);
        QVERIFY(v.TabBar()->tabRect(0).width() >= 100);
        QVERIFY(v.TabBar()->geometry().top() > v.Grid()->geometry().bottom());  // tabs at the bottom
        // The panel width of the parameter file.
        QCOMPARE(v.GridPanelWidth(), 420);

        // Counter and navigator.
        QLabel* counter = v.RecordLabel();
        QCOMPARE(counter->text(), QStringLiteral("1 / 5"));
        QCOMPARE(counter->toolTip(), QStringLiteral("pořadí / počet záznamů"));
        auto* first = Child<QToolButton>(v, "Navigator_DB_First");
        auto* prior = Child<QToolButton>(v, "Navigator_DB_Prior");
        auto* next = Child<QToolButton>(v, "Navigator_DB_Next");
        auto* last = Child<QToolButton>(v, "Navigator_DB_Last");
        QVERIFY(!first->isEnabled() && !prior->isEnabled() && next->isEnabled());
        QCOMPARE(next->toolTip(), QStringLiteral("Next record"));
        next->click();
        QCOMPARE(counter->text(), QStringLiteral("2 / 5"));
        QCOMPARE(v.Grid()->currentIndex().row(), 1);
        last->click();
        QCOMPARE(counter->text(), QStringLiteral("5 / 5"));
        QCOMPARE(v.Grid()->currentIndex().row(), 4);
        QVERIFY(!next->isEnabled() && !last->isEnabled() && prior->isEnabled());
        prior->click();
        QCOMPARE(counter->text(), QStringLiteral("4 / 5"));
        first->click();
        QCOMPARE(counter->text(), QStringLiteral("1 / 5"));

        // The selection moves the table.
        QTableView* grid = v.Grid();
        const QRect cell = grid->visualRect(grid->model()->index(2, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(ctx.Adm.Table1.RecNo(), 3);
        QCOMPARE(counter->text(), QStringLiteral("3 / 5"));
        QCOMPARE(v.GridModel()->headerData(2, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
        QCOMPARE(v.GridModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Teplota"));

        // While the updating is suspended the counter stays.
        ctx.Adm.Table1.DisableControls();
        ctx.Adm.Table1.Last();
        QCOMPARE(counter->text(), QStringLiteral("3 / 5"));
        ctx.Adm.Table1.EnableControls();
        QCOMPARE(counter->text(), QStringLiteral("5 / 5"));

        // Tabs: grid only, chart only, both.
        v.TabBar()->setCurrentIndex(0);
        QVERIFY(Child<QWidget>(v, "Dbf_P")->isVisible());
        QVERIFY(!Child<QWidget>(v, "Graf_P")->isVisible());
        v.TabBar()->setCurrentIndex(1);
        QVERIFY(!Child<QWidget>(v, "Dbf_P")->isVisible());
        QVERIFY(Child<QWidget>(v, "Graf_P")->isVisible());
        v.TabBar()->setCurrentIndex(2);
        QVERIFY(Child<QWidget>(v, "Dbf_P")->isVisible());
        QVERIFY(Child<QWidget>(v, "Graf_P")->isVisible());
        QCOMPARE(Child<QWidget>(v, "Dbf_P")->width(), 420);

        // Buttons with records; the language switch.
        QVERIFY(Child<QToolButton>(v, "GrafZoomIn_SB")->isEnabled());
        QVERIFY(Child<QToolButton>(v, "GrafRefresh_SB")->isEnabled());
        SetLanguage(0);
        v.ApplyCaptions();
        QCOMPARE(v.TabBar()->tabText(2), QStringLiteral("Databáze + graf"));
        QCOMPARE(Child<QToolButton>(v, "GrafZoomWidth_SB")->toolTip(), QStringLiteral("Měřítko 100% vodorovně"));
        QCOMPARE(next->toolTip(), QStringLiteral("Následující"));

        // A missing file is reported; the table open before stays shown.
        v.OpenArchiveView(QString::fromStdString(Path("missing.dbf")));
        QVERIFY(v.TabsShown());
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.dialogs.isEmpty());
        v.FormCloseQuery();
        QVERIFY(!ctx.Adm.Table1.IsOpen());
        QCOMPARE(v.windowTitle(), QString());
    }

    void emptyTableAndButtons() {
        const std::string path = Path("empty.dbf");
        WriteTable(path, {});
        AppContext ctx;
        AllMode(ctx);
        TFADbf v(ctx, MakeViewerActions(ctx));
        v.resize(900, 500);
        v.show();
        v.OpenArchiveView(QString::fromStdString(path));
        QVERIFY(v.TabsShown());
        QCOMPARE(v.RecordLabel()->text(), QStringLiteral("0 / 0"));
        for (const char* name : {"GrafStart_SB", "GrafPrior_SB", "GrafNext_SB", "GrafEnd_SB", "GrafZoomOut_SB",
                                 "GrafZoomIn_SB", "GrafZoomWidth_SB", "GrafZoomHeight_SB", "GrafParam_SB",
                                 "GrafPrint_SB", "DbfPrint_SB", "DbfExcel_SB", "Navigator_DB_Next"})
            QVERIFY2(!Child<QToolButton>(v, name)->isEnabled(), name);
        QVERIFY(Child<QToolButton>(v, "GrafRefresh_SB")->isEnabled());
        QCOMPARE(v.GridModel()->rowCount(), 0);
    }

    void cellTexts() {
        // A value of 21.456 with one decimal and °C: a blank, "21.5" in six
        // characters, a blank, the unit.
        QCOMPARE(FloatCellText(21.456, 1, "°C"), QStringLiteral("   21.5 °C"));
        QCOMPARE(FloatCellText(-1234.5678, 2, "mA"), QStringLiteral(" -1234.57 mA"));
        QCOMPARE(FloatCellText(3, 0, ""), QStringLiteral("      3 "));
        QCOMPARE(FloatCellText(1.5, 99, "x").size(), QStringLiteral(" 1.500000000000000 x").size());  // capped
        SetDecimalSeparator(',');
        QCOMPARE(FloatCellText(21.456, 1, "°C"), QStringLiteral("   21,5 °C"));
        SetDecimalSeparator('.');
        const QChar d = LocaleDateSeparator(), t = LocaleTimeSeparator();
        QCOMPARE(DateTimeCellText(At(2004, 8, 31, 12, 30, 5)), QStringLiteral("31") + d + QStringLiteral("08") + d +
                                                                  QStringLiteral("2004 12") + t + QStringLiteral("30") +
                                                                  t + QStringLiteral("05"));

        // The grid shows them so, empty fields empty, values right-aligned.
        const std::string path = Path("cells.dbf");
        WriteTable(path, {{At(2004, 8, 31, 12, 30), 21.456, std::nullopt}, {At(2004, 8, 31, 12, 40), -3.0, 12.345}});
        AppContext ctx;
        AllMode(ctx);
        TFADbf v(ctx, MakeViewerActions(ctx));
        v.resize(1000, 500);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.OpenArchiveView(QString::fromStdString(path));
        v.TabBar()->setCurrentIndex(0);  // the grid alone: every column in view
        ArchiveGridModel* m = v.GridModel();
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(m->columnCount(), 3);
        QCOMPARE(m->CellText(0, 1), QStringLiteral("   21.5 °C"));
        QCOMPARE(m->CellText(0, 2), QString());
        QCOMPARE(m->CellText(1, 2), QStringLiteral("  12.35 mA"));
        QVERIFY(m->CellText(0, 0).startsWith(QStringLiteral("31")));
        QCOMPARE(m->CellText(0, 0).size(), 19);

        // Drawn: the value ends 2 pixels from the cell's right edge, the
        // date-time starts 2 pixels from the left edge.
        QTableView* grid = v.Grid();
        QTest::qWait(50);
        const QImage img = grid->viewport()->grab().toImage();
        auto inkColumns = [&img](const QRect& r) {
            int lo = -1, hi = -1;
            for (int x = r.left(); x <= r.right() && x < img.width(); ++x)
                for (int y = r.top(); y <= r.bottom() && y < img.height(); ++y)
                    if (qGray(img.pixel(x, y)) < 110) {
                        if (lo < 0) lo = x;
                        hi = x;
                        break;
                    }
            return std::pair{lo, hi};
        };
        const QRect valueCell = grid->visualRect(m->index(1, 1));
        const auto [vlo, vhi] = inkColumns(valueCell.adjusted(1, 1, -1, -1));
        QVERIFY2(vhi >= valueCell.right() - 7 && vhi <= valueCell.right() - 2, qPrintable(QString::number(vhi)));
        QVERIFY(vlo > valueCell.left() + valueCell.width() / 3);
        const QRect timeCell = grid->visualRect(m->index(1, 0));
        const auto [tlo, thi] = inkColumns(timeCell.adjusted(1, 1, -1, -1));
        QVERIFY2(tlo >= timeCell.left() + 2 && tlo <= timeCell.left() + 5, qPrintable(QString::number(tlo)));
        Q_UNUSED(thi);
        const QRect emptyCell = grid->visualRect(m->index(0, 2));
        QCOMPARE(inkColumns(emptyCell.adjusted(1, 1, -2, -2)).first, -1);
    }

    void splitterRuleAndWhatClosingStores() {
        const std::string path = Path("split.dbf");
        WriteTable(path, Ramp(20));
        AppContext ctx;
        AllMode(ctx);
        TFADbf v(ctx, MakeViewerActions(ctx));
        v.resize(1000, 500);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.OpenArchiveView(QString::fromStdString(path));
        auto* splitter = Child<QSplitter>(v, "Dbf_S");
        QWidget* panel = Child<QWidget>(v, "Dbf_P");
        QCOMPARE(panel->width(), 420);

        // Dragging the handle like a user: 120 pixels come back as 200.
        auto drag = [&](int to) {
            QSplitterHandle* handle = splitter->handle(1);
            const QPoint start = handle->rect().center();
            QTest::mousePress(handle, Qt::LeftButton, {}, start);
            QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(to - panel->width(), 0)),
                             handle->mapToGlobal(QPointF(start + QPoint(to - panel->width(), 0))), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(handle, &move);
            QTest::mouseRelease(handle, Qt::LeftButton, {}, start + QPoint(to - panel->width(), 0));
        };
        drag(120);
        QCOMPARE(panel->width(), 200);
        drag(330);
        QVERIFY2(std::abs(panel->width() - 330) <= 2, qPrintable(QString::number(panel->width())));
        const int width = panel->width();
        QCOMPARE(v.GridPanelWidth(), width);

        v.TabBar()->setCurrentIndex(1);
        v.FormCloseQuery();
        QCOMPARE(ctx.Config.ViewerTab, 1);
        QCOMPARE(ctx.Config.ViewerGridWidth, width);
        QVERIFY(!ctx.Adm.Table1.IsOpen());
        // The panel width reached the parameter file.
        const auto bytes = ReadFileHead(ReplaceExtension(path, ".par"), kParameterRecordSize);
        QVERIFY(bytes && bytes->size() == kParameterRecordSize);
        ArchiveParameterRecord stored;
        std::copy(bytes->begin(), bytes->end(), stored.Bytes.begin());
        QCOMPARE(stored.PanelWidth(), width);

        // A panel width below 200 in the file is shown as 200 at least, and
        // as wide as the columns need (up to half the window).
        auto record = Record();
        record.SetPanelWidth(150);
        WriteTable(Path("narrow.dbf"), Ramp(3), record);
        v.OpenArchiveView(QString::fromStdString(Path("narrow.dbf")));
        v.TabBar()->setCurrentIndex(2);
        QVERIFY(v.GridPanelWidth() >= 200 && v.GridPanelWidth() <= v.width() / 2);
        QTRY_VERIFY(!v.Grid()->horizontalScrollBar()->isVisible());
        QCOMPARE(panel->width(), v.GridPanelWidth());
    }

    void tablesThatCannotBeShownAndForeignTables() {
        ModalRecorder rec;
        const std::string good = Path("84321-2004.dbf");
        WriteTable(good, Ramp(5));
        const std::string foreign = Path("cizi.dbf");
        WriteTable(foreign, Ramp(3));
        QVERIFY(QFile::remove(QString::fromStdString(Path("cizi.par"))));
        const std::string damaged = Path("damaged.dbf");
        QFile f(QString::fromStdString(damaged));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a table");
        f.close();

        AppContext ctx;
        AllMode(ctx);
        TFADbf v(ctx, MakeViewerActions(ctx));
        QSignalSpy status(&v, &TFADbf::StatusMessage);
        v.OpenArchiveView(QString::fromStdString(good));
        const QString goodStatus = QString::fromStdString(good) + QStringLiteral("     records: 5");
        QCOMPARE(status.last().at(0).toString(), goodStatus);

        // Refused tables are reported with their reason; the shown table stays.
        const struct {
            std::string path;
            const char* reason;
        } refused[] = {{damaged, "Damaged header"}, {Path("missing.dbf"), "does not exist"}};
        for (const auto& c : refused) {
            rec.messages.clear();
            v.OpenArchiveView(QString::fromStdString(c.path));
            QCOMPARE(rec.messages.size(), 1);
            QVERIFY2(rec.messages[0].contains(QString::fromStdString(c.path)), qPrintable(rec.messages[0]));
            QVERIFY2(rec.messages[0].contains(QLatin1String(c.reason)), qPrintable(rec.messages[0]));
            QVERIFY(v.TabsShown());
            QCOMPARE(v.windowTitle(), QStringLiteral("84321-2004.dbf"));
            QCOMPARE(ctx.Adm.Table1.RecordCount(), 5);
            QCOMPARE(status.last().at(0).toString(), goodStatus);
        }

        // A table without a parameter file: its own field names and count,
        // no units, automatic axes, and no parameter file left behind.
        rec.messages.clear();
        v.OpenArchiveView(QString::fromStdString(foreign));
        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(v.windowTitle(), QStringLiteral("cizi.dbf"));
        const ArchiveParameterRecord& r = ctx.Adm.ParameterRecord;
        QCOMPARE(r.FieldCount(), 3);
        QCOMPARE(QString::fromStdString(r.Descriptor(1).Label), QStringLiteral("VSTUP1"));
        QCOMPARE(QString::fromStdString(r.Descriptor(2).Unit), QString());
        QVERIFY(r.LeftAxis().Automatic && r.RightAxis().Automatic);
        v.FormCloseQuery();
        QVERIFY(!QFile::exists(QString::fromStdString(Path("cizi.par"))));
        QVERIFY(QFile::exists(QString::fromStdString(Path("84321-2004.par"))));
    }
};

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
