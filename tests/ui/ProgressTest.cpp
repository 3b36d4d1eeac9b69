// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window: bar, percentage, abort button and its caption.

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "base/Language.h"
#include "base/ui/TFProgress.h"

using kolvex::ui::TFProgress;

class ProgressTest : public QObject {
    Q_OBJECT
private slots:
    void progressAndAbort() {
        kolvex::SetLanguage(1);
        TFProgress w;
        w.SetMessage(QStringLiteral("Reading the archive"), true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Reading the archive"));
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w.size(), QSize(312, 78));

        auto* bar = w.findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
        auto* label = w.findChild<QLabel*>(QStringLiteral("LProgress"));
        auto* abort = w.findChild<QPushButton*>(QStringLiteral("Abort_BB"));
        QVERIFY(bar && label && abort);
        QVERIFY(label->font().bold());
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(abort->text(), QStringLiteral("&Abort"));

        QVERIFY(!w.SetProgress(42));
        QCOMPARE(label->text(), QStringLiteral("42 %"));
        QCOMPARE(bar->value(), 42);
        QVERIFY(!w.SetProgress(100));
        QCOMPARE(label->text(), QStringLiteral("100 %"));

        QTest::mouseClick(abort, Qt::LeftButton);
        QVERIFY(w.Aborted());
        QVERIFY(w.SetProgress(100));
        QVERIFY(w.SetProgress(10));  // never returns to false

        // Escape aborts but does not hide the window while the work runs.
        TFProgress esc;
        esc.SetMessage(QStringLiteral("x"), true);
        esc.show();
        QVERIFY(QTest::qWaitForWindowExposed(&esc));
        QTest::keyClick(&esc, Qt::Key_Escape);
        QVERIFY(esc.Aborted());
        QVERIFY(esc.isVisible());
        esc.close();  // the caller's own close goes through
        QVERIFY(!esc.isVisible());
    }

    void captionFollowsLanguageWithoutAbort() {
        kolvex::SetLanguage(0);
        TFProgress w;
        w.SetMessage(QStringLiteral("Mazání"), false);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* abort = w.findChild<QPushButton*>(QStringLiteral("Abort_BB"));
        QCOMPARE(abort->text(), QStringLiteral("&Zrušit"));
        QVERIFY(abort->isHidden());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.Aborted());  // nothing to abort
        kolvex::SetLanguage(1);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(abort->text(), QStringLiteral("&Abort"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Mazání"));
    }
};

QTEST_MAIN(ProgressTest)
#include "ProgressTest.moc"
