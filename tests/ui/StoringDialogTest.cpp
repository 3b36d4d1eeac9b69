// SPDX-License-Identifier: GPL-3.0-or-later
// The storing parameters dialog: loading and storing the four settings, the
// hidden split group of a user-chosen file, the standard button, captions
// and layout.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/ConfigDefaults.h"
#include "base/ConfigRecord.h"
#include "base/Language.h"
#include "app/ConfigDefaults.h"
#include "archive/ui/TFAParamC.h"

using namespace kolvex;
using namespace kolvex::ui;

namespace {

template <class T>
T* Child(QObject& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}

ConfigRecord Settings(int nameSource, int split, int readMode, int bookmark) {
    ConfigRecord c;
    c.NameSource = nameSource;
    c.SplitFlags = split;
    c.ReadMode = readMode;
    c.InsertBookmark = static_cast<std::uint8_t>(bookmark);
    return c;
}

}  // namespace

class StoringDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { SetLanguage(1); }

    void loadStoreAndTheSplitGroup() {
        // Loaded from the settings.
        ConfigRecord c = Settings(1, 2 | 8, 1, 0);
        {
            TFAParamC d(c);
            QVERIFY(Child<QRadioButton>(d, "FileName_RG1")->isChecked());
            QVERIFY(!Child<QCheckBox>(d, "UkladaniRok_ChB")->isChecked());
            QVERIFY(Child<QCheckBox>(d, "UkladaniMesic_ChB")->isChecked());
            QVERIFY(!Child<QCheckBox>(d, "UkladaniTyden_ChB")->isChecked());
            QVERIFY(Child<QCheckBox>(d, "UkladaniDen_ChB")->isChecked());
            QVERIFY(Child<QRadioButton>(d, "Cteni_RG1")->isChecked());
            QVERIFY(!Child<QCheckBox>(d, "Zalozka_CB")->isChecked());
            // Stored back unchanged.
            Child<QPushButton>(d, "SetUp_BB")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QCOMPARE(c.NameSource, 1);
        QCOMPARE(c.SplitFlags, 10);
        QCOMPARE(c.ReadMode, 1);
        QCOMPARE(c.InsertBookmark, std::uint8_t(0));

        // A user-chosen file is never split: the group hides, and shows
        // again when item 0 is chosen.
        c = Settings(2, 1, 0, 1);
        {
            TFAParamC d(c);
            d.show();
            QVERIFY(!Child<QGroupBox>(d, "Ukladani_GB")->isVisible());
            Child<QRadioButton>(d, "FileName_RG0")->click();
            QVERIFY(Child<QGroupBox>(d, "Ukladani_GB")->isVisible());
            Child<QRadioButton>(d, "FileName_RG2")->click();
            QVERIFY(!Child<QGroupBox>(d, "Ukladani_GB")->isVisible());
            Child<QRadioButton>(d, "FileName_RG0")->click();

            // No box checked is stored as 0; the blank third reading item as 2.
            for (const char* name : {"UkladaniRok_ChB", "UkladaniMesic_ChB", "UkladaniTyden_ChB", "UkladaniDen_ChB"})
                Child<QCheckBox>(d, name)->setChecked(false);
            Child<QRadioButton>(d, "Cteni_RG2")->click();
            Child<QPushButton>(d, "SetUp_BB")->click();
        }
        QCOMPARE(c.NameSource, 0);
        QCOMPARE(c.SplitFlags, 0);
        QCOMPARE(c.ReadMode, 2);

        // Values no item stands for leave the groups without a selection and
        // are stored as -1.
        c = Settings(7, 0xF0 | 4, 9, 1);
        {
            TFAParamC d(c);
            QCOMPARE(d.FileNameItem(), -1);
            QCOMPARE(d.CteniItem(), -1);
            QVERIFY(Child<QCheckBox>(d, "UkladaniTyden_ChB")->isChecked());
            d.StoreControls();
        }
        QCOMPARE(c.NameSource, -1);
        QCOMPARE(c.SplitFlags, 4);
        QCOMPARE(c.ReadMode, -1);
    }

    void standardButtonChangesOnlyTheControls() {
        ConfigRecord c = Settings(2, 12, 1, 0);
        {
            TFAParamC d(c);
            d.show();
            Child<QPushButton>(d, "Standard_BB")->click();
            QVERIFY(Child<QRadioButton>(d, "FileName_RG0")->isChecked());
            QVERIFY(Child<QGroupBox>(d, "Ukladani_GB")->isVisible());
            QVERIFY(Child<QCheckBox>(d, "UkladaniRok_ChB")->isChecked());
            QVERIFY(!Child<QCheckBox>(d, "UkladaniDen_ChB")->isChecked());
            QVERIFY(Child<QRadioButton>(d, "Cteni_RG0")->isChecked());
            QVERIFY(Child<QCheckBox>(d, "Zalozka_CB")->isChecked());
            d.reject();  // closed without Set-up
        }
        QCOMPARE(c.NameSource, 2);
        QCOMPARE(c.SplitFlags, 12);
        QCOMPARE(c.ReadMode, 1);
        QCOMPARE(c.InsertBookmark, std::uint8_t(0));

        // The defaults without a configuration file are the standard state.
        ConfigRecord fresh;
        ApplyStoringDefaults(fresh);
        QCOMPARE(fresh.NameSource, 0);
        QCOMPARE(fresh.SplitFlags, 1);
        QCOMPARE(fresh.ReadMode, 0);
        QCOMPARE(fresh.InsertBookmark, std::uint8_t(1));
    }

    void captionsAndLayout() {
        ConfigRecord c = Settings(0, 1, 0, 1);
        TFAParamC en(c);
        en.show();
        QVERIFY(QTest::qWaitForWindowExposed(&en));
        QCOMPARE(en.windowTitle(), QStringLiteral("Reading parameters"));
        QCOMPARE(Child<QGroupBox>(en, "Ukladani_GB")->title(), QStringLiteral("Devide data into file"));
        QCOMPARE(Child<QLabel>(en, "UkladaniTyden_L")->text(), QStringLiteral("(file-2004-w36.dbf)"));
        QCOMPARE(Child<QRadioButton>(en, "FileName_RG0")->text(), QStringLiteral("Parameter in archiving"));
        QCOMPARE(Child<QPushButton>(en, "SetUp_BB")->text(), QStringLiteral("&Set-up"));
        QCOMPARE(Child<QCheckBox>(en, "Zalozka_CB")->toolTip(), QStringLiteral("Označení posleního záznamu přečteného do PC"));

        // Fixed size of at least 465 x 259; the radio groups 97 high side by
        // side; the bookmark box inside the reading group on its third line;
        // the buttons one under the other at the bottom right.
        QVERIFY(en.minimumSize() == en.maximumSize());
        QVERIFY(en.width() >= 465 && en.height() >= 259);
        auto* fileName = Child<QGroupBox>(en, "FileName_RG");
        auto* cteni = Child<QGroupBox>(en, "Cteni_RG");
        QCOMPARE(fileName->height(), 97);
        QCOMPARE(cteni->height(), 97);
        QVERIFY(cteni->x() > fileName->geometry().right());
        QCOMPARE(cteni->y(), fileName->y());
        QVERIFY(Child<QGroupBox>(en, "Ukladani_GB")->y() > fileName->geometry().bottom());
        auto* bookmark = Child<QCheckBox>(en, "Zalozka_CB");
        QCOMPARE(bookmark->parentWidget(), cteni);
        QVERIFY(bookmark->y() > Child<QRadioButton>(en, "Cteni_RG1")->geometry().bottom() - 2);
        auto* standard = Child<QPushButton>(en, "Standard_BB");
        auto* help = Child<QPushButton>(en, "Help_BB");
        auto* setUp = Child<QPushButton>(en, "SetUp_BB");
        QVERIFY(standard->y() < help->y() && help->y() < setUp->y());
        QVERIFY(setUp->geometry().bottom() > en.height() - 20 && setUp->geometry().right() > en.width() - 20);
        QVERIFY(Child<QLabel>(en, "UkladaniRok_L")->x() > Child<QCheckBox>(en, "UkladaniRok_ChB")->x());

        SetLanguage(0);
        TFAParamC cs(c);
        QCOMPARE(cs.windowTitle(), QStringLiteral("Parametry ukládání archivace"));
        QCOMPARE(Child<QRadioButton>(cs, "Cteni_RG0")->text(), QStringLiteral("od záložky"));
        QCOMPARE(Child<QLabel>(cs, "UkladaniDen_L")->text(), QStringLiteral("(soubor-2004-08-31.dbf)"));
        QCOMPARE(Child<QPushButton>(cs, "Standard_BB")->text(), QStringLiteral("&Standardně"));

        // Screenshots for a look, when asked for.
        const QString shots = qEnvironmentVariable("KOLVEX_SHOT_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            QVERIFY(en.grab().save(shots + QStringLiteral("/storing-en.png")));
            cs.show();
            QVERIFY(QTest::qWaitForWindowExposed(&cs));
            QVERIFY(cs.grab().save(shots + QStringLiteral("/storing-cs.png")));
        }
    }
};

QTEST_MAIN(StoringDialogTest)
#include "StoringDialogTest.moc"
