// SPDX-License-Identifier: GPL-3.0-or-later
// The questions before a step that destroys data, answered from the keyboard
// in the program's real message box: deleting a whole table, deleting the
// records of a period, and storing archiving parameters that empty the
// logger. No is the default button, Enter and Escape delete nothing, the
// question names what would go, and the dialog stays with the user's choices.

#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <functional>

#include "LoggerDialogsFixture.h"
#include "OutputFixture.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/TSpinFEdit.h"
#include "logger/ui/TFAParama.h"
#include "output/ui/PeriodGroup.h"
#include "output/ui/TFADbfErase.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::TFADbfErase;
using kolvex::ui::TFAParama;
using kolvex::ui::TSpinFEdit;

namespace {

// Every message box is shown and answered with one key; what it asked and
// whether No was its default are kept.
struct KeyAnswer {
    QStringList Texts;
    QList<bool> DefaultNo;
    explicit KeyAnswer(int key) {
        ui::SetModalHook([this, key](QDialog& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            if (!box) return static_cast<int>(QDialog::Rejected);
            Texts << box->text();
            DefaultNo << (box->defaultButton() == box->button(QMessageBox::No));
            box->show();
            QTest::keyClick(box, static_cast<Qt::Key>(key));
            return box->result();
        });
    }
    ~KeyAnswer() { ui::SetModalHook(nullptr); }
};

PeriodSettings Day(int y, int m, int d) {
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

class DestructiveQuestionsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetLanguage(1); }

    void enterAndEscapeDeleteNothing_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void enterAndEscapeDeleteNothing() {
        QFETCH(int, key);

        // The whole table, then the records of one day.
        for (const bool all : {true, false}) {
            OutputTable t;
            t.Add({At(2004, 8, 31, 1), At(2004, 8, 31, 2), At(2004, 9, 1, 1)});
            PeriodSettings p = Day(2004, 8, 31);
            if (all) p.Kind = pkAll;
            t.ctx.Config.ErasePeriod = p;
            TFADbfErase d(t.ctx);
            d.show();
            KeyAnswer answer(key);
            d.Odstranit_BBClick();
            QCOMPARE(answer.Texts.size(), 1);
            QVERIFY2(answer.DefaultNo[0], qPrintable(answer.Texts[0]));
            QVERIFY2(answer.Texts[0].contains(QString::fromStdString(t.Path)), qPrintable(answer.Texts[0]));
            QVERIFY2(answer.Texts[0].contains(all ? QStringLiteral("Records: 3") : QStringLiteral("Records in the period: 2")),
                     qPrintable(answer.Texts[0]));
            QVERIFY(std::filesystem::exists(t.Path));
            QCOMPARE(t.Stamps().size(), std::size_t(3));
            // Back in the dialog, the period as it was chosen.
            QVERIFY(d.isVisible());
            QCOMPARE(d.Period()->IsAll(), all);
        }

        // Archiving parameters whose storing empties the logger.
        sim::SimOptions o;
        o.LoggerType = 4;
        SimLogger logger(o);
        TFAParama dlg(logger.ctx);
        dlg.OpenSequence();
        dlg.show();
        auto* alarm = dlg.findChild<TSpinFEdit*>(QStringLiteral("Vst1TAlarmHi_SFE"));
        alarm->SetValue(90.0f);
        const std::int32_t read = logger.Sim().ArchiveRead();
        logger.ClearFrames();
        KeyAnswer answer(key);
        dlg.findChild<QPushButton*>(QStringLiteral("SetUp_BB"))->click();
        QCOMPARE(answer.Texts.size(), 2);  // the question, then "not stored"
        QVERIFY(answer.DefaultNo[0]);
        QVERIFY2(answer.Texts[0].contains(QStringLiteral(" bytes of records not yet read")) ||
                     answer.Texts[0].contains(QStringLiteral("already been read")),
                 qPrintable(answer.Texts[0]));
        QVERIFY(logger.Writes().empty());
        QCOMPARE(logger.Sim().ArchiveRead(), read);
        QVERIFY(dlg.isVisible());
        QCOMPARE(alarm->Value(), 90.0f);
    }
};

QTEST_MAIN(DestructiveQuestionsTest)
#include "DestructiveQuestionsTest.moc"
