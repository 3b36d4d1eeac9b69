// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer inside the main window: the first paint reopens the last table,
// the open command with its dialog (also for Paradox tables), the record
// deletion button, the language switch, the storing parameters command and
// what shutdown stores.

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

#include "ScratchDir.h"
#include "app/AppContext.h"
#include "base/Language.h"
#include "app/ui/TFMain.h"
#include "archive/FileOps.h"
#include "archive/ui/ArchiveGrid.h"
#include "archive/ui/TFADbf.h"
#include "app/BuiltinPort.h"
#include "ViewerFixture.h"

using namespace kolvex;
using namespace kolvex::ui;
using namespace viewertest;

namespace {

ConfigRecord BaseConfig() {
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
    c.ChartPeriod.Kind = 5;
    c.ViewerTab = 2;
    c.NameSource = 0;
    c.SplitFlags = 1;
    c.InsertBookmark = 1;
    return c;
}

void WriteConfig(const QString& path, const ConfigRecord& c) {
    const auto b = c.Encode();
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size()));
}

ConfigRecord ReadConfig(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return ConfigRecord::Decode(reinterpret_cast<const std::uint8_t*>(b.constData()), static_cast<std::size_t>(b.size()));
}

}  // namespace

class ViewerMainWindowTest : public QObject {
    Q_OBJECT

    kolvex::test::ScratchDir dir_;
    QString cfg_;

    std::string Path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)).toStdString(); }

private slots:
    void initTestCase() { dir_.InitTestCase(); }
    void cleanupTestCase() { dir_.CleanupTestCase(); }
    void init() {
        QVERIFY(dir_.Init());
        cfg_ = dir_->filePath(QStringLiteral("kolvex12.cfg"));
    }
    void cleanup() { dir_.Cleanup(); }

    void firstPaintOpenCommandDeletionAndShutdown() {
        ModalRecorder rec;
        const std::string last = Path("84321-2004.dbf");
        WriteTable(last, Ramp(12));
        ConfigRecord c = BaseConfig();
        c.LastArchivePath = last;
        WriteConfig(cfg_, c);
        AppContext ctx(dir_.Simulator());
        auto w = std::make_unique<TFMain>(ctx);
        w->Timer1()->stop();
        auto* erase = Child<QToolButton>(*w, "DbfErase_SB");
        QVERIFY(!erase->isEnabled());
        QVERIFY(!w->Viewer());

        // The first paint opens the last table; the child fills the client
        // area, without a frame.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTRY_VERIFY(w->Viewer() != nullptr);
        TFADbf& v = *w->Viewer();
        QVERIFY(v.TabsShown());
        QCOMPARE(v.windowTitle(), QStringLiteral("84321-2004.dbf"));
        QVERIFY(erase->isEnabled());
        QMdiSubWindow* sub = w->MdiArea()->subWindowList().value(0);
        QVERIFY(sub);
        QVERIFY(sub->windowFlags() & Qt::FramelessWindowHint);
        QTRY_COMPARE(sub->geometry(), w->MdiArea()->viewport()->rect());
        w->resize(1100, 650);
        QTRY_COMPARE(sub->geometry(), w->MdiArea()->viewport()->rect());

        // The language switch reaches the viewer.
        Child<QToolButton>(*w, "Czech_SB")->click();
        QCOMPARE(v.TabBar()->tabText(1), QStringLiteral("Graf"));
        Child<QToolButton>(*w, "English_SB")->click();
        QCOMPARE(v.TabBar()->tabText(1), QStringLiteral("Graph"));

        // The open command: the dialog starts at the last table and accepts
        // a Paradox table too.
        const std::string paradox = Path("other.db");
        WriteTable(paradox, Ramp(7));
        QString title, start;
        QStringList filters;
        rec.onDialog = [&](QDialog& d) {
            auto* fd = qobject_cast<QFileDialog*>(&d);
            if (!fd) return int(QDialog::Rejected);
            title = fd->windowTitle();
            start = fd->directory().absolutePath();
            filters = fd->nameFilters();
            fd->selectFile(QString::fromStdString(paradox));
            return int(QDialog::Accepted);
        };
        Child<QToolButton>(*w, "ArchivOpen_SB")->click();
        QCOMPARE(title, QStringLiteral("Open database"));
        QCOMPARE(start, dir_->path());
        QCOMPARE(filters.size(), 2);
        QVERIFY(filters[0].startsWith(QStringLiteral("DBase")) && filters[0].endsWith(QStringLiteral("(*.dbf)")));
        QVERIFY(filters[1].endsWith(QStringLiteral("(*.db)")));
        QCOMPARE(ctx.Adm.Table1.TableType(), std::string("PARADOX"));
        QCOMPARE(v.GridModel()->rowCount(), 7);
        QCOMPARE(QString::fromStdString(ctx.Config.LastArchivePath), QString::fromStdString(paradox));
        // Cancelled: the table stays.
        rec.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        w->AOpenFile_MIClick();
        QCOMPARE(v.GridModel()->rowCount(), 7);

        // The record deletion dialog of the whole archive: the files go, the
        // tabs and the button too.
        rec.answer = QMessageBox::Yes;
        rec.onDialog = [](QDialog& d) {
            if (d.objectName() != QLatin1String("TFADbfErase")) return int(QDialog::Rejected);
            Child<QRadioButton>(d, "Obdobi_RG_5")->click();  // the kind all
            Child<QPushButton>(d, "Odstranit_BB")->click();
            return d.result();
        };
        rec.dialogs.clear();
        erase->click();
        QCOMPARE(rec.dialogs, QStringList{QStringLiteral("TFADbfErase")});
        QVERIFY(!QFile::exists(QString::fromStdString(paradox)));
        QVERIFY(!ctx.Adm.Table1.IsOpen());
        QVERIFY(!v.TabsShown());
        QVERIFY(!erase->isEnabled());

        // The storing parameters command.
        rec.dialogs.clear();
        rec.onDialog = [](QDialog& d) {
            Child<QCheckBox>(d, "UkladaniTyden_ChB")->setChecked(true);
            Child<QPushButton>(d, "SetUp_BB")->click();
            return d.result();
        };
        Child<QToolButton>(*w, "ArchivParamSave_SB")->click();
        QCOMPARE(rec.dialogs, QStringList{QStringLiteral("TFAParamC")});
        QCOMPARE(ctx.Config.SplitFlags, 1 | 4);

        // Shutdown: the viewer's state and the table's parameter file first.
        v.OpenArchiveView(QString::fromStdString(last));
        v.TabBar()->setCurrentIndex(0);
        const int width = v.GridPanelWidth();
        w->close();
        QVERIFY(!ctx.Adm.Table1.IsOpen());
        const ConfigRecord saved = ReadConfig(cfg_);
        QCOMPARE(saved.ViewerTab, 0);
        QCOMPARE(saved.ViewerGridWidth, width);
        QCOMPARE(saved.SplitFlags, 5);
        QCOMPARE(QString::fromStdString(saved.LastArchivePath), QString::fromStdString(last));
        const auto par = ReadFileHead(ReplaceExtension(last, ".par"), kParameterRecordSize);
        ArchiveParameterRecord r;
        std::copy(par->begin(), par->end(), r.Bytes.begin());
        QCOMPARE(r.PanelWidth(), width);
    }

    void missingLastTableOpensNothing() {
        ConfigRecord c = BaseConfig();
        c.LastArchivePath = Path("gone.dbf");
        WriteConfig(cfg_, c);
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx);
        w.Timer1()->stop();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.FirstPaintHandled());
        QVERIFY(!w.Viewer());
        QVERIFY(!Child<QToolButton>(w, "DbfErase_SB")->isEnabled());
    }
};

QTEST_MAIN(ViewerMainWindowTest)
#include "ViewerMainWindowTest.moc"
