// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion dialog of old-structure tables: its captions, the inputs it
// offers, the renaming of inputs, the check sum message, the two buttons, and
// the converter the main window installs at start-up.

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "archive/OldConversionFixture.h"
#include "app/AppContext.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/ModalRunner.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "archive/ui/TFADbfConvert.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::DialogOldStructureConverter;
using kolvex::ui::TFADbfConvert;

namespace {

template <class T>
T* Child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("missing control %s", name);
    return c;
}

QString Text(QWidget& w, const char* name) {
    if (auto* l = w.findChild<QLabel*>(QString::fromLatin1(name))) return l->text();
    if (auto* e = w.findChild<QLineEdit*>(QString::fromLatin1(name))) return e->text();
    return Child<QPushButton>(w, name)->text();
}

// An old table, a data module that answers Yes, and the dialog converter.
struct Setup {
    TempDir dir;
    std::string P = dir / "stara.dbf";
    FixedAnswerer yes{true};
    TADM adm{&yes};
    QWidget window;
    DialogOldStructureConverter conv{adm, &window};
    QStringList messages, errors;
    int dialogs = 0;

    Setup() {
        adm.SetConverter(&conv);
        conv.OnCreated = [this](TFADbfConvert& d) {
            ++dialogs;
            d.Hooks.Message = [this](const QString& m) { messages << m; };
            d.Hooks.Error = [this](const std::exception& e) { errors << QString::fromUtf8(e.what()); };
        };
    }
    void Write(OldLayout layout, const std::vector<OldRecord>& recs, bool wrongChecksum = false) {
        WriteOldTable(P, layout, recs);
        WriteLegacyPar(P, OldLoggerImage(), wrongChecksum);
    }
    bool Has(const std::string& name) const { return FileExists(dir / name); }
};

}  // namespace

class OldConversionDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(1); }
    void cleanup() { ui::SetModalHook(nullptr); }

    // Masks 4 then 1: only input 1 is offered; its renamed name reaches the
    // converted table. The captions are Czech in English mode too.
    void offersTheRecordedInputsAndConverts() {
        Setup s;
        s.Write(OldLayout::Level7, {{OldTime(2004, 8, 31, 10), 21.5, 1, 4}, {OldTime(2004, 8, 31, 11), 22.5, 2, 1}});
        bool ran = false;
        s.conv.RunDialog = [&](TFADbfConvert& d) {
            ran = true;
            d.show();
            QCoreApplication::processEvents();
            [&] {
                QCOMPARE(d.windowTitle(), QStringLiteral("Převod staré  databáze na novou"));
                QCOMPARE(Text(d, "Label5"), QStringLiteral("Databáze:"));
                QCOMPARE(Text(d, "DbfName_L"), QStringLiteral("stara.dbf"));
                QCOMPARE(Text(d, "Label1"), QStringLiteral("Jméno vstupu"));
                QCOMPARE(Text(d, "Label2"), QStringLiteral("Jednotka"));
                QCOMPARE(Text(d, "Vstup1_L"), QStringLiteral("Vstup1"));
                QCOMPARE(Text(d, "Vstup2_L"), QStringLiteral("Vstup2"));
                QCOMPARE(Text(d, "Label7"), QStringLiteral("Stará databáze se přejmenuje na *.dbfbak"));
                QCOMPARE(Text(d, "Convert_BB"), QStringLiteral("Převést"));
                QCOMPARE(Text(d, "Close_BB"), QStringLiteral("&Konec"));
                QCOMPARE(Text(d, "Name1_E"), QStringLiteral("Teplota"));
                QCOMPARE(Text(d, "Jedn1_E"), QStringLiteral("°C"));
                QCOMPARE(Child<QLineEdit>(d, "Name1_E")->maxLength(), 12);
                QCOMPARE(Child<QLineEdit>(d, "Jedn1_E")->maxLength(), 4);
                QVERIFY(Child<QLineEdit>(d, "Name1_E")->isVisible());
                QVERIFY(!Child<QLabel>(d, "Vstup2_L")->isVisible());
                QVERIFY(!Child<QLineEdit>(d, "Name2_E")->isVisible());
                QVERIFY(!Child<QLineEdit>(d, "Jedn2_E")->isVisible());
                QVERIFY(s.Has("stara.dbf") && !s.adm.Table1.IsOpen());  // nothing converted yet
            }();

            Child<QLineEdit>(d, "Name1_E")->setText(QStringLiteral("Kotel"));
            Child<QLineEdit>(d, "Jedn1_E")->setText(QStringLiteral("K"));
            QTest::mouseClick(Child<QPushButton>(d, "Convert_BB"), Qt::LeftButton);
            return d.result();
        };
        QVERIFY(s.adm.OpenArchive(s.P));
        QVERIFY(ran);
        QCOMPARE(s.dialogs, 1);
        QVERIFY(s.messages.isEmpty());
        QVERIFY(s.errors.isEmpty());
        Table& t = s.adm.Table1;
        QVERIFY(t.IsOpen());
        QCOMPARE(t.FieldCount(), 2);
        QCOMPARE(t.FieldName(1), std::string("VSTUP1"));
        QCOMPARE(t.RecordCount(), std::int64_t{2});
        QCOMPARE(t.Layout(1).Label, std::string("Kotel"));
        QCOMPARE(s.adm.ParameterRecord.Descriptor(1).Unit, std::string("K"));
        QCOMPARE(s.adm.ParameterRecord.Descriptor(0).Label, std::string("Datum a čas"));
        QVERIFY(s.Has("stara.dbfbak") && s.Has("stara.parbak"));
    }

    // Konec closes with Abort: nothing is converted and no table is open.
    void closeConvertsNothing() {
        Setup s;
        s.Write(OldLayout::Dbase3, {});
        const auto before = ReadBytes(s.P);
        s.conv.RunDialog = [&](TFADbfConvert& d) {
            // An empty table offers both inputs.
            d.show();
            QCoreApplication::processEvents();
            [&] {
                QVERIFY(Child<QLineEdit>(d, "Name1_E")->isVisible());
                QVERIFY(Child<QLineEdit>(d, "Name2_E")->isVisible());
                QCOMPARE(Text(d, "Name2_E"), QStringLiteral("Vlhkost"));
            }();
            QTest::mouseClick(Child<QPushButton>(d, "Close_BB"), Qt::LeftButton);
            return d.result();
        };
        QVERIFY(!s.adm.OpenArchive(s.P));
        QVERIFY(!s.adm.Table1.IsOpen());
        QCOMPARE(ReadBytes(s.P), before);
        QCOMPARE(ReadBytes(ReplaceExtension(s.P, ".par")).size(), kLegacyParameterSize);
        QVERIFY(!s.Has("Tmp.dbf") && !s.Has("stara.dbfbak"));
    }

    // A wrong legacy check sum: the message, then the default names; the
    // conversion goes on.
    void wrongChecksumOffersDefaultNames() {
        for (std::int32_t lang : {0, 1}) {
            SetLanguage(lang);
            Setup s;
            s.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}}, true);
            s.conv.RunDialog = [&](TFADbfConvert& d) {
                [&] {
                    QCOMPARE(s.messages.size(), 1);
                    QCOMPARE(Text(d, "Name1_E"), QStringLiteral("Vstup1"));
                    QCOMPARE(Text(d, "Jedn1_E"), QString());
                    QCOMPARE(Text(d, "Name2_E"), QStringLiteral("Vstup2"));
                    QCOMPARE(Text(d, "Jedn2_E"), QString());
                }();
                QTest::mouseClick(Child<QPushButton>(d, "Convert_BB"), Qt::LeftButton);
                return d.result();
            };
            QVERIFY(s.adm.OpenArchive(s.P));
            QCOMPARE(s.messages.value(0), lang == 0 ? QStringLiteral("Chyba souboru parametrů (kontrolní součet)")
                                                    : QStringLiteral("Error in parameter file"));
            QCOMPARE(s.adm.Table1.Layout(2).Label, std::string("Vstup2"));
            QCOMPARE(s.adm.ParameterRecord.SerialNumber(), std::string("12345678"));
        }
    }

    // A failed copy is shown and the dialog stays open; the old files are
    // untouched. A missing legacy file and a refused table never show the dialog.
    void failuresKeepTheOldFiles() {
        Setup s;
        s.Write(OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}, {OldTime(2004, 9, 1), 3, 4, 7}});
        const auto before = ReadBytes(s.P);
        s.conv.OnCreated = [&, inner = s.conv.OnCreated](TFADbfConvert& d) {
            inner(d);
            d.Conversion().AfterRecordCopied = [](std::int64_t n) {
                if (n == 2) throw EADM("copy failed");
            };
        };
        s.conv.RunDialog = [&](TFADbfConvert& d) {
            d.show();
            QTest::mouseClick(Child<QPushButton>(d, "Convert_BB"), Qt::LeftButton);
            [&] {
                QCOMPARE(s.errors, QStringList{QStringLiteral("copy failed")});
                QVERIFY(d.isVisible());
                QVERIFY(Child<QPushButton>(d, "Convert_BB")->isEnabled());
                QCOMPARE(ReadBytes(s.P), before);
                QVERIFY(!s.Has("Tmp.dbf") && !s.Has("Tmp.par"));
            }();
            QTest::mouseClick(Child<QPushButton>(d, "Close_BB"), Qt::LeftButton);
            return d.result();
        };
        QVERIFY(!s.adm.OpenArchive(s.P));
        QCOMPARE(ReadBytes(s.P), before);
        QVERIFY(!s.Has("stara.dbfbak"));

        // No legacy parameter file: the error reaches the caller, no dialog runs.
        Setup m;
        WriteOldTable(m.P, OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 7}});
        m.conv.RunDialog = [](TFADbfConvert&) -> int { qFatal("the dialog must not run"); };
        QVERIFY_THROWS_EXCEPTION(EADM, m.adm.OpenArchive(m.P));
        // All masks 3: refused before any dialog.
        Setup r;
        r.conv.RunDialog = m.conv.RunDialog;
        r.Write(OldLayout::Dbase3, {{OldTime(2004, 8, 31), 1, 2, 3}});
        QVERIFY_THROWS_EXCEPTION(EADbfConvert, r.adm.OpenArchive(r.P));
    }

    // The start-up installation: a hidden window and the converter, which
    // shows its dialog through the common modal runner and leaves the data
    // module when the main window goes.
    void installedConverterRunsTheDialog() {
        AppContext ctx;
        FixedAnswerer yes(true);
        ctx.Adm.SetAnswerer(&yes);
        TempDir dir;
        const std::string P = dir / "stara.dbf";
        WriteOldTable(P, OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 6}});
        WriteLegacyPar(P, OldLoggerImage());
        auto* window = new QWidget;
        DialogOldStructureConverter* conv = ui::InstallOldDatabaseConverter(ctx, window);
        QVERIFY(conv);
        TFADbfConvert* hidden = conv->HiddenWindow();
        QVERIFY(hidden && hidden->parent() == window);
        QCOMPARE(hidden->objectName(), QStringLiteral("FADbfConvert"));
        QVERIFY(!hidden->isVisible());

        int shown = 0;
        ui::SetModalHook([&](QDialog& d) {
            auto* c = qobject_cast<TFADbfConvert*>(&d);
            if (!c) return int(QMessageBox::Ok);
            ++shown;
            if (c == hidden) qFatal("the hidden window takes no part");
            QTest::mouseClick(Child<QPushButton>(*c, "Convert_BB"), Qt::LeftButton);
            return c->result();
        });
        QVERIFY(ctx.Adm.OpenArchive(P));
        QCOMPARE(shown, 1);
        QCOMPARE(ctx.Adm.Table1.FieldName(1), std::string("VSTUP2"));
        QVERIFY(!hidden->isVisible());
        ctx.Adm.CloseArchive();

        delete window;  // the converter goes with it and leaves the data module
        WriteOldTable(P, OldLayout::Level7, {{OldTime(2004, 8, 31), 1, 2, 6}});
        QVERIFY(!ctx.Adm.OpenArchive(P));
        QCOMPARE(shown, 1);
    }
};

QTEST_MAIN(OldConversionDialogTest)
#include "OldConversionDialogTest.moc"
