// SPDX-License-Identifier: GPL-3.0-or-later
// The record deletion dialog against a real table: the confirmation texts,
// the deletion of a period with both ends inclusive to the millisecond, the
// pack that always runs, answering No, the whole archive for the kind all,
// and the period stored however the dialog closes.

#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <sys/stat.h>

#include "OutputFixture.h"
#include "output/ui/PeriodGroup.h"
#include "output/ui/TFADbfErase.h"

using namespace kolvex;
using kolvex::test::At;
using kolvex::test::OutputTable;
using kolvex::ui::TFADbfErase;

namespace {

struct Boxes {
    QStringList Questions, Infos, Errors;
    bool Answer = true;
    void Install(TFADbfErase& d) {
        d.Hooks.Ask = [this](const QString& q, kolvex::ui::Answer) {
            Questions << q;
            return Answer;
        };
        d.Hooks.Info = [this](const QString& m) { Infos << m; };
        d.Hooks.Error = [this](const std::exception& e) { Errors << QString::fromUtf8(e.what()); };
    }
};

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

PeriodSettings DayBlock(int y, int m, int d) {
    PeriodSettings b;
    b.Kind = pkDay;
    b.Year = static_cast<std::uint16_t>(y);
    b.MonthIndex = static_cast<std::uint16_t>(m - 1);
    b.Day = static_cast<std::uint16_t>(d);
    b.Week = 1;
    b.Start = b.End = At(y, m, d);
    return b;
}

}  // namespace

class OutputEraseTest : public QObject {
    Q_OBJECT
private slots:
    void periodInclusiveToTheMillisecond() {
        SetLanguage(0);
        OutputTable t;
        t.Add({At(2004, 8, 30, 23, 59, 59, 999), At(2004, 8, 31), At(2004, 8, 31, 12), At(2004, 8, 31, 23, 59, 59, 999),
               At(2004, 9, 1)});
        t.ctx.Config.ErasePeriod = DayBlock(2004, 8, 31);
        TFADbfErase d(t.ctx);
        Boxes boxes;
        boxes.Install(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Odstranění záznamů z databáze"));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Odstranit_BB"))->text(), QStringLiteral("&Odstranit"));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Close_BB"))->text(), QStringLiteral("&Zavřít"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        kolvex::test::Shot(&d, QStringLiteral("erase_cs"));
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("Odstranit_BB")), Qt::LeftButton);

        QCOMPARE(boxes.Questions.size(), 1);
        // The question, then the table and how many of its records go.
        QCOMPARE(boxes.Questions[0], QStringLiteral("Odstranit záznamy                      \r\n"
                                                    "    od  31/08/2004 00:00:00\r\n"
                                                    "    do  31/08/2004 23:59:59\r\n"
                                                    "včetně?\r\n\r\nTabulka: ") +
                                         QString::fromStdString(t.Path) +
                                         QStringLiteral("\r\nPočet záznamů v období: 3"));
        QCOMPARE(boxes.Infos, QStringList{QStringLiteral("Bylo odtraněno  3 záznamů")});
        QVERIFY(boxes.Errors.isEmpty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
        const std::vector<double> left = t.Stamps();
        QCOMPARE(left.size(), std::size_t(2));
        QCOMPARE(left[0], At(2004, 8, 30, 23, 59, 59, 999));
        QCOMPARE(left[1], At(2004, 9, 1));
        QVERIFY(!t.ctx.Adm.Table1.ControlsDisabled());
        QCOMPARE(QString::fromStdString(t.ctx.Adm.Table1.Layout(1).Label), QStringLiteral("Teplota"));
        QCOMPARE(t.ctx.Config.ErasePeriod.Kind, static_cast<std::int32_t>(pkDay));
        QCOMPARE(t.ctx.Config.ErasePeriod.End, EndOfDay(At(2004, 8, 31)));
    }

    void emptyAndReversedPeriodsStillPack() {
        SetLanguage(1);
        OutputTable t;
        t.Add({At(2004, 8, 31, 1), At(2004, 8, 31, 2)});
        t.ctx.Config.ErasePeriod = DayBlock(2005, 1, 1);
        const ino_t before = Inode(t.Path);
        {
            TFADbfErase d(t.ctx);
            Boxes boxes;
            boxes.Install(d);
            QCOMPARE(d.windowTitle(), QStringLiteral("Delete records from the database"));
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            kolvex::test::Shot(&d, QStringLiteral("erase_en"));
            d.Odstranit_BBClick();
            QVERIFY(boxes.Questions.value(0).startsWith(QStringLiteral("Delete records                         \r\n"
                                                                       "    from  01/01/2005 00:00:00\r\n"
                                                                       "    to    01/01/2005 23:59:59 ?\r\n")));
            QVERIFY(boxes.Questions.value(0).endsWith(QStringLiteral("\r\nRecords in the period: 0")));
            QCOMPARE(boxes.Infos, QStringList{QStringLiteral("0 records was deleted")});
        }
        QVERIFY(Inode(t.Path) != before);  // the table was rewritten by the pack
        QCOMPARE(t.Stamps().size(), std::size_t(2));

        // The kind chosen with an end before the start deletes nothing.
        PeriodSettings b = DayBlock(2004, 8, 31);
        b.Kind = pkChosen;
        b.Start = At(2004, 8, 31, 3);
        b.End = At(2004, 8, 31, 0, 30);
        t.ctx.Config.ErasePeriod = b;
        TFADbfErase d(t.ctx);
        Boxes boxes;
        boxes.Install(d);
        d.Odstranit_BBClick();
        QCOMPARE(boxes.Infos, QStringList{QStringLiteral("0 records was deleted")});
        QCOMPARE(t.Stamps().size(), std::size_t(2));
    }

    void answeringNoAndTheWholeArchive() {
        SetLanguage(0);
        OutputTable t;
        t.Add({At(2004, 8, 31, 1), At(2004, 8, 31, 2)});
        t.ctx.Config.ErasePeriod = DayBlock(2004, 8, 31);
        {
            TFADbfErase d(t.ctx);
            Boxes boxes;
            boxes.Answer = false;
            boxes.Install(d);
            // The user changes the day before answering No: the change is stored.
            d.Period()->findChild<QSpinBox*>(QStringLiteral("ObdobiDay_SE"))->setValue(30);
            d.show();
            d.Odstranit_BBClick();
            QCOMPARE(boxes.Questions.size(), 1);
            QVERIFY(boxes.Infos.isEmpty());
            // No returns to the dialog; closing it then stores the period.
            QVERIFY(d.isVisible());
            d.reject();
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        QCOMPARE(t.Stamps().size(), std::size_t(2));
        QCOMPARE(t.ctx.Config.ErasePeriod.Day, std::uint16_t(30));

        // Closing with the close button stores as well.
        t.ctx.Config.ErasePeriod.Kind = pkAll;
        {
            TFADbfErase d(t.ctx);
            d.findChild<QRadioButton*>(QStringLiteral("Obdobi_RG_0"))->click();
            d.findChild<QPushButton*>(QStringLiteral("Close_BB"))->click();
        }
        QCOMPARE(t.ctx.Config.ErasePeriod.Kind, static_cast<std::int32_t>(pkDay));

        // Kind all: No keeps both files, Yes removes them without a message.
        t.ctx.Config.ErasePeriod.Kind = pkAll;
        const std::string par = (t.Dir / "00012345.par").string();
        for (const bool answer : {false, true}) {
            TFADbfErase d(t.ctx);
            Boxes boxes;
            boxes.Answer = answer;
            boxes.Install(d);
            d.show();
            d.Odstranit_BBClick();
            QCOMPARE(boxes.Questions.size(), 1);
            QVERIFY(boxes.Questions[0].startsWith(QStringLiteral("Smazat databázi z disku ?\r\n\r\nTabulka: ") +
                                                  QString::fromStdString(t.Path)));
            QVERIFY(boxes.Infos.isEmpty());
            QVERIFY(boxes.Errors.isEmpty());
            QCOMPARE(std::filesystem::exists(t.Path), !answer);
            QCOMPARE(std::filesystem::exists(par), !answer);
            QCOMPARE(d.isVisible(), !answer);
            QCOMPARE(d.result(), answer ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
        QVERIFY(!t.ctx.Adm.Table1.IsOpen());

        // Without a table the error is shown and the dialog closes.
        t.ctx.Config.ErasePeriod = DayBlock(2004, 8, 31);
        TFADbfErase d(t.ctx);
        Boxes boxes;
        boxes.Install(d);
        d.show();
        d.Odstranit_BBClick();
        QCOMPARE(boxes.Errors, QStringList{QStringLiteral("Tabulka není otevřena")});
        QVERIFY(boxes.Infos.isEmpty());
        QVERIFY(!d.isVisible());
    }
};

QTEST_MAIN(OutputEraseTest)
#include "OutputEraseTest.moc"
