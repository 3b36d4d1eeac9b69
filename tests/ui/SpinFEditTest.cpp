// SPDX-License-Identifier: GPL-3.0-or-later
// The float spin edit: value from text, formatting, range words,
// placeholder, stepping, keys and focus.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include "base/Language.h"
#include "base/ui/TSpinFEdit.h"

using kolvex::ui::TSpinFEdit;

class SpinFEditTest : public QObject {
    Q_OBJECT

private:
    static TSpinFEdit* Range(TSpinFEdit& e, float min, float max, int digits, int precision = 0) {
        e.SetMinValue(min);
        e.SetMaxValue(max);
        e.SetDigits(digits);
        e.SetPrecision(precision);
        return &e;
    }

private slots:
    void init() { kolvex::SetDecimalSeparator('.'); }

    void writingFormatsAndLimits() {
        TSpinFEdit e;
        QCOMPARE(e.Text(), QStringLiteral("0"));  // a new control
        Range(e, -100, 600, 1);
        e.SetValue(12.345f);
        QCOMPARE(e.Text(), QStringLiteral("12.3"));
        e.SetValue(700);
        QCOMPARE(e.Text(), QStringLiteral("#"));  // placeholder, Precision 0
        e.SetValue(-200);
        QCOMPARE(e.Text(), QStringLiteral("-"));  // the single "#" takes the minus
        e.SetValue(600);
        QCOMPARE(e.Text(), QStringLiteral("600.0"));

        // With the regional separator a comma.
        kolvex::SetDecimalSeparator(',');
        e.SetValue(12.345f);
        QCOMPARE(e.Text(), QStringLiteral("12,3"));
        QCOMPARE(e.Value(), 12.3f);
        e.SetText(QStringLiteral("12.3"));  // a full stop is no number here
        QCOMPARE(e.Value(), -100.0f);

        // Minimum width and placeholder with decimals.
        kolvex::SetDecimalSeparator('.');
        Range(e, -30, 130, 2, 6);
        e.SetValue(5);
        QCOMPARE(e.Text(), QStringLiteral("  5.00"));
        QCOMPARE(e.Value(), 5.0f);  // blanks of the width are ignored
        e.SetValue(1000);
        QCOMPARE(e.Text(), QStringLiteral("###.##"));
        e.SetValue(-1000);
        QCOMPARE(e.Text(), QStringLiteral("-##.##"));
        Range(e, -500, -100, 2, 6);
        e.SetValue(0);
        QCOMPARE(e.Text(), QStringLiteral("-##.##"));  // MaxValue below zero

        // MaxLength cuts the text.
        Range(e, 0, 0, 3);
        e.SetMaxLength(4);
        e.SetValue(123.456f);
        QCOMPARE(e.Text(), QStringLiteral("123."));
    }

    void noRangeAndRangeWords() {
        TSpinFEdit e;
        Range(e, 0, 0, 2);
        e.SetValue(-12345.678f);
        QCOMPARE(e.Text(), QStringLiteral("-12345.68"));
        e.SetValue(0);
        for (int i = 0; i < 5; ++i) e.StepDown();  // no limits without a range
        QCOMPARE(e.Value(), -5.0f);

        Range(e, -50, 150, 1);
        e.SetTextMinValue(QStringLiteral("Off"));
        e.SetTextMaxValue(QStringLiteral("Max"));
        e.SetIncrement(1);
        e.SetValue(-51);
        QCOMPARE(e.Text(), QStringLiteral("Off"));
        QCOMPARE(e.Value(), -51.0f);  // MinValue - Increment
        e.SetValue(151);
        QCOMPARE(e.Text(), QStringLiteral("Max"));
        QCOMPARE(e.Value(), 151.0f);
        e.SetText(QStringLiteral("nonsense"));
        QCOMPARE(e.Value(), -50.0f);  // not a number reads as MinValue
    }

    void steppingByTheRules() {
        TSpinFEdit e;
        Range(e, -100, 600, 1);
        e.SetValue(599.5f);
        e.StepUp();
        QCOMPARE(e.Text(), QStringLiteral("600.0"));
        e.StepUp();
        QCOMPARE(e.Text(), QStringLiteral("600.0"));  // no word: stays at the end

        e.SetTextMaxValue(QStringLiteral("max"));
        e.StepUp();
        QCOMPARE(e.Text(), QStringLiteral("max"));  // the word shows beyond the range
        e.StepDown();
        QCOMPARE(e.Text(), QStringLiteral("600.0"));

        e.SetValue(-99.5f);
        e.StepDown();
        QCOMPARE(e.Text(), QStringLiteral("-100.0"));
        e.SetTextMinValue(QStringLiteral("min"));
        e.StepDown();
        QCOMPARE(e.Text(), QStringLiteral("min"));
        e.StepUp();
        QCOMPARE(e.Text(), QStringLiteral("-100.0"));

        // A text far beyond the range steps back into it.
        e.SetText(QStringLiteral("5000"));
        e.StepDown();
        QCOMPARE(e.Text(), QStringLiteral("600.0"));

        // Increment with decimals, arrows through stepBy.
        e.SetIncrement(0.5f);
        e.SetValue(10);
        e.stepBy(3);
        QCOMPARE(e.Text(), QStringLiteral("11.5"));
        e.stepBy(-1);
        QCOMPARE(e.Text(), QStringLiteral("11.0"));

        // Read-only: no stepping.
        e.setReadOnly(true);
        e.StepUp();
        QCOMPARE(e.Text(), QStringLiteral("11.0"));
    }

    void keysAreFilteredAndStep() {
        QWidget window;
        auto* e = new TSpinFEdit(&window);
        auto* other = new QPushButton(QStringLiteral("x"), &window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(e);
        layout->addWidget(other);
        Range(*e, -30, 130, 1);
        e->SetValue(20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        e->setFocus();
        e->Editor()->selectAll();

        QVERIFY(e->AcceptsKey(QLatin1Char('7')));
        QVERIFY(e->AcceptsKey(QLatin1Char('-')));
        QVERIFY(e->AcceptsKey(QLatin1Char('+')));
        QVERIFY(e->AcceptsKey(QLatin1Char('.')));
        QVERIFY(!e->AcceptsKey(QLatin1Char(',')));
        QVERIFY(!e->AcceptsKey(QLatin1Char('a')));
        QVERIFY(e->AcceptsKey(QLatin1Char('\b')));
        QVERIFY(!e->AcceptsKey(QLatin1Char('\r')));
        kolvex::SetDecimalSeparator(',');
        QVERIFY(e->AcceptsKey(QLatin1Char(',')));
        QVERIFY(!e->AcceptsKey(QLatin1Char('.')));
        kolvex::SetDecimalSeparator('.');

        // Typing: a letter changes nothing.
        QTest::keyClicks(e, QStringLiteral("5x0"));
        QCOMPARE(e->Text(), QStringLiteral("50"));
        QTest::keyClick(e, Qt::Key_Up);
        QCOMPARE(e->Text(), QStringLiteral("51.0"));
        QTest::keyClick(e, Qt::Key_Down);
        QTest::keyClick(e, Qt::Key_Down);
        QCOMPARE(e->Text(), QStringLiteral("49.0"));

        // Leaving the field limits the value to the range and reformats it.
        e->Editor()->selectAll();
        QTest::keyClicks(e, QStringLiteral("500"));
        QCOMPARE(e->Text(), QStringLiteral("500"));
        other->setFocus();
        QCOMPARE(e->Text(), QStringLiteral("130.0"));

        // A range word becomes the nearer end when the field is left.
        e->SetTextMinValue(QStringLiteral("vyp"));
        e->SetValue(-40);
        QCOMPARE(e->Text(), QStringLiteral("vyp"));
        e->setFocus();
        other->setFocus();
        QCOMPARE(e->Text(), QStringLiteral("-30.0"));

        // Without the editor only the arrows change the value.
        e->SetEditorEnabled(false);
        e->setFocus();
        e->Editor()->end(false);
        QTest::keyClicks(e, QStringLiteral("9"));
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->Text(), QStringLiteral("-30.0"));
        QVERIFY(!e->AcceptsKey(QLatin1Char('\b')));
        QVERIFY(e->AcceptsKey(QChar(0x1B)));
        QTest::keyClick(e, Qt::Key_Up);
        QCOMPARE(e->Text(), QStringLiteral("-29.0"));
    }
};

QTEST_MAIN(SpinFEditTest)
#include "SpinFEditTest.moc"
