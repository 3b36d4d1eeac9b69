// SPDX-License-Identifier: GPL-3.0-or-later
// The audit trail window (list, filter, verification, both languages) and
// the diagnostics window's switch for the communication record.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "LoggerDialogsFixture.h"
#include "archive/ui/TFAudit.h"
#include "base/AuditTrail.h"
#include "link/LinkTrace.h"
#include "logger/ui/TFZDiag.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::TFAudit;
using kolvex::ui::TFZDiag;

namespace {

int VisibleRows(QTreeWidget* list) {
    int n = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i) n += !list->topLevelItem(i)->isHidden();
    return n;
}

}  // namespace

class AuditWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(1); }

    void ListsFiltersAndShowsTheVerification() {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        const std::string table = folder + "/T.dbf";
        std::ofstream(table) << "records";
        AppendAuditEntry(folder, {audit::ClockSet, {{"serial", "00084321"}}, {{"new", "2026-12-10 10:00:00"}}, {}, {}});
        AppendAuditEntry(folder, {audit::Download, {{"serial", "00084321"}}, {{"records", 12}}, {table}, {}});
        AppendAuditEntry(folder, {audit::RecordDeletion, TableObject(table), {{"deleted", 3}}, {table}, {}});

        TFAudit w(folder);
        w.Hooks.Error = [](const std::exception& e) { QFAIL(e.what()); };
        w.Reload();
        QCOMPARE(w.List()->topLevelItemCount(), 3);
        QVERIFY(w.Problems()->isHidden());
        QVERIFY(w.Result()->text().contains(QStringLiteral("intact")));
        // By action, then by text in any column.
        w.ActionFilter()->setCurrentIndex(w.ActionFilter()->findData(QString::fromLatin1(audit::Download)));
        QCOMPARE(VisibleRows(w.List()), 1);
        w.ActionFilter()->setCurrentIndex(0);
        w.Filter()->setText(QStringLiteral("deleted=3"));
        QCOMPARE(VisibleRows(w.List()), 1);
        w.Filter()->clear();
        QCOMPARE(VisibleRows(w.List()), 3);

        // The table changed outside and the second line edited: both listed,
        // the row after the edited line marked.
        std::ofstream(table, std::ios::app) << "!";
        const std::string trail = AuditFilePath(folder);
        std::stringstream ss;
        ss << std::ifstream(trail).rdbuf();
        std::string text = ss.str();
        text.replace(text.find("\"records\":12"), 12, "\"records\":13");
        std::ofstream(trail, std::ios::trunc) << text;
        w.findChild<QPushButton*>(QStringLiteral("Verify_BB"))->click();
        QCOMPARE(w.Problems()->count(), 2);
        QVERIFY(!w.Problems()->isHidden());
        QVERIFY(w.Result()->text().contains(QStringLiteral("2 problems")));
        QVERIFY(w.List()->topLevelItem(2)->background(0).color() != w.List()->topLevelItem(0)->background(0).color());

        // Czech captions from the one caption routine, also for the rows.
        SetLanguage(0);
        w.ApplyCaptions();
        QCOMPARE(w.windowTitle(), QStringLiteral("Auditní protokol"));
        QCOMPARE(w.List()->headerItem()->text(3), QStringLiteral("Akce"));
        QCOMPARE(w.List()->topLevelItem(0)->text(3), QStringLiteral("Nastavení času"));
        QVERIFY(w.Result()->text().contains(QStringLiteral("problémů 2")));
    }

    void DiagnosticsSwitchRecordsTheCommunication() {
        SimLogger logger(sim::SimOptions{});
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("trace.txt"));
        TFZDiag dlg(logger.ctx);
        dlg.OpenSequence();
        QVERIFY(!dlg.TraceSwitch()->isChecked());  // off by default
        dlg.ChooseTraceFile = [&] { return file; };
        dlg.TraceSwitch()->click();
        QVERIFY(dlg.TraceSwitch()->isChecked());
        QVERIFY(CurrentLinkTrace() != nullptr);
        dlg.Read_BBClick();
        dlg.TraceSwitch()->click();
        QVERIFY(CurrentLinkTrace() == nullptr);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.contains(QStringLiteral("port ")));
        QVERIFY(text.contains(QStringLiteral("9600 baud")));
        QVERIFY(text.contains(QStringLiteral("tx #1 5A")));
        QVERIFY(text.contains(QStringLiteral("rx    5A")));
        // Cancelling the file choice records nothing.
        dlg.ChooseTraceFile = [] { return QString(); };
        dlg.TraceSwitch()->click();
        QVERIFY(!dlg.TraceSwitch()->isChecked());
        QVERIFY(CurrentLinkTrace() == nullptr);
    }
};

QTEST_MAIN(AuditWindowTest)
#include "AuditWindowTest.moc"
