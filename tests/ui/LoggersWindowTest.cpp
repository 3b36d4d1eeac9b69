// SPDX-License-Identifier: GPL-3.0-or-later
// The list of configured loggers: one row per settings file with the last
// run from its log, a failed run marked, and the captions in both languages.

#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "base/Language.h"
#include "app/ui/TFLoggers.h"

using kolvex::ui::TFLoggers;

class LoggersWindowTest : public QObject {
    Q_OBJECT
private slots:
    void listsEachLoggerWithItsLastRun() {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        QDir(dir.path()).mkpath(QStringLiteral("conf"));
        QDir(dir.path()).mkpath(QStringLiteral("data/loggers/freezer"));
        std::ofstream(root + "/conf/freezer.conf") << "KOLVEX_PORT=rfc2217://plant-room:2001\n";
        std::ofstream(root + "/conf/cold-room.conf") << "KOLVEX_PORT=USB0\n";
        std::ofstream(root + "/data/loggers/freezer/download.log")
            << "2026-12-02 02:30:04+0100\tport=x\tread=0\tstored=0\talready=0\tfiles=\terror: no reply\n";
        for (int lang : {0, 1}) {
            kolvex::SetLanguage(lang);
            TFLoggers w(root + "/conf", root + "/data");
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            auto* list = w.findChild<QTableWidget*>(QStringLiteral("Loggers_TW"));
            QVERIFY(list);
            QCOMPARE(list->rowCount(), 2);
            QCOMPARE(list->item(0, 0)->text(), QStringLiteral("cold-room"));
            QCOMPARE(list->item(0, 3)->text(), lang ? QStringLiteral("not run yet") : QStringLiteral("dosud neběžel"));
            QCOMPARE(list->item(1, 2)->text(), QStringLiteral("2026-12-02 02:30:04+0100"));
            QCOMPARE(list->item(1, 3)->text(), QStringLiteral("error: no reply"));
            QCOMPARE(list->item(1, 3)->foreground().color(), QColor(Qt::red));
            QCOMPARE(list->horizontalHeaderItem(2)->text(), lang ? QStringLiteral("Last run") : QStringLiteral("Poslední běh"));
        }
    }
};

QTEST_MAIN(LoggersWindowTest)
#include "LoggersWindowTest.moc"
