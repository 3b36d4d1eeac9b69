// SPDX-License-Identifier: GPL-3.0-or-later
// The archiving parameters editor against the simulated logger: what it
// shows, and the bytes the logger receives when it stores.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <cstring>

#include "LoggerDialogsFixture.h"
#include "base/Errors.h"
#include "base/ui/TSpinFEdit.h"
#include "logger/Conversion.h"
#include "logger/ui/TFAParama.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::Answer;
using kolvex::ui::TFAParama;
using kolvex::ui::TSpinFEdit;

namespace {

sim::SimOptions Options(int type = 4) {
    sim::SimOptions o;
    o.LoggerType = type;
    return o;
}

// The editor opened on a logger, with its question and error hooks recorded.
struct Editor {
    explicit Editor(SimLogger& logger, bool answer = true) : dlg(logger.ctx) {
        dlg.Hooks.Ask = [this, answer](const QString& q, Answer) {
            questions << q;
            return answer;
        };
        dlg.Hooks.Error = [this](const std::exception& e) { errors << QString::fromUtf8(e.what()); };
        dlg.OpenSequence();
    }
    template <typename W>
    W* Get(const char* name) {
        W* w = dlg.findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("control %s missing", name);
        return w;
    }
    TSpinFEdit* Spin(const char* name) { return Get<TSpinFEdit>(name); }
    QString Period() { return Get<QLineEdit>("Perioda_E")->text(); }
    void Up() { Get<QToolButton>("Perioda_SB_Up")->click(); }
    void Down() { Get<QToolButton>("Perioda_SB_Down")->click(); }
    void Store() { Get<QPushButton>("SetUp_BB")->click(); }

    TFAParama dlg;
    QStringList questions, errors;
};

Bytes Block(const ParameterBlock& b) {
    const auto a = b.Bytes();
    return Bytes(a.begin(), a.end());
}

// The bytes the store must send for a 128-byte block in IEEE layout: bytes 1..3
// to the archive control, bytes 4..127 (floats in the logger layout on type 4)
// to the parameter area.
void CheckStoreFrames(SimLogger& logger, const Bytes& block, int type) {
    const auto writes = logger.Writes();
    QVERIFY(writes.size() >= 9);
    QCOMPARE(writes[0].Command, std::uint8_t{0x99});
    QCOMPARE(writes[0].Address, 0u);
    QCOMPARE(Hex(writes[0].Data), Hex(Bytes(block.begin() + 1, block.begin() + 4)));
    Bytes expected(block.begin(), block.end());
    if (type == 4) {
        IeeeToLoggerFloat(expected.data() + 48, 6);
        IeeeToLoggerFloat(expected.data() + 96, 6);
    }
    Bytes sent;
    for (int i = 1; i <= 8; ++i) {
        QCOMPARE(writes[i].Command, std::uint8_t{0x9A});
        QCOMPARE(writes[i].Address, std::uint32_t(16 * (i - 1)));
        QCOMPARE(int(writes[i].Data.size()), i < 8 ? 16 : 12);
        sent.insert(sent.end(), writes[i].Data.begin(), writes[i].Data.end());
    }
    QCOMPARE(Hex(sent), Hex(Bytes(expected.begin() + 4, expected.end())));
}

std::uint32_t FloatBits(const Bytes& b, std::size_t offset) { return GetU32(b.data() + offset); }
std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// The Pt100 alarm limits -232.2 and 449.614 degrees; the current input with
// signal 3.8..20.2 mA, range -0.04..99.97 and record limits off the steps.
void BeyondTheEditorsReach(SimLogger& logger) {
    LoggerOps& ops = logger.ctx.Ops;
    ops.ReadLoggerType();
    ops.ReadParameterBlock();
    ops.ReadInputInfo();
    LoggerImage& im = logger.ctx.Logger.Image;
    ParameterBlock& p = im.Parameters;
    p.Input[0].AlarmLowRaw = RawFromTemperature(im, 0, -232.2);
    p.Input[0].AlarmHighRaw = RawFromTemperature(im, 0, 449.614);
    InputParameters& c = p.Input[1];
    c.SignalLow = 3.8f;
    c.SignalHigh = 20.2f;
    c.RangeLow = -0.04f;
    c.RangeHigh = 99.97f;
    c.RecordOffset = -3.9f;
    c.RecordScale = static_cast<float>(64255.0 / 16.3);
    ops.WriteArchiveControl(p);
    ops.WriteParameterBlock(p);
}

}  // namespace

class ParamEditorTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(1); }

    void OpensAndShowsTheLoggerValues() {
        SimLogger logger(Options());
        Editor e(logger);
        QCOMPARE(e.Get<QLineEdit>("NazevMereni_E")->text(), QStringLiteral("QUENDAL 730 SIM"));
        QCOMPARE(e.Get<QLineEdit>("NazevMereni_E")->maxLength(), 16);
        QCOMPARE(e.Get<QLineEdit>("Soubor_E")->maxLength(), 8);
        QCOMPARE(e.Get<QStackedWidget>("Vstup1_N")->currentIndex(), 1);
        QCOMPARE(e.Get<QStackedWidget>("Vstup2_N")->currentIndex(), 2);
        QCOMPARE(e.Get<QLabel>("Vstup1Nazev_L")->text(), QStringLiteral("Temperature internal Pt100"));
        QCOMPARE(e.Get<QLabel>("Vstup2Nazev_L")->text(), QStringLiteral("Current 4-20 mA"));
        QCOMPARE(e.Get<QLineEdit>("Vst1TNazev_E")->text(), QStringLiteral("Teplota"));
        QCOMPARE(e.Get<QComboBox>("Vst1TJedn_CB")->currentText(), QStringLiteral("°C"));
        QCOMPARE(e.Get<QLabel>("Vst1TJednZ_L")->text(), QStringLiteral("°C"));
        QCOMPARE(e.Get<QLineEdit>("Vst1TRozsLo_E")->text(), QStringLiteral("-50"));
        QCOMPARE(e.Spin("Vst1TZaznLo_SFE")->Text(), QStringLiteral("-50"));
        QCOMPARE(e.Spin("Vst1TZaznHi_SFE")->Text(), QStringLiteral("150"));
        QCOMPARE(e.Spin("Vst1TAlarmLo_SFE")->Text(), QStringLiteral("0"));
        QCOMPARE(e.Spin("Vst1TAlarmHi_SFE")->Text(), QStringLiteral("100"));
        QCOMPARE(e.Spin("Vst1TZaznLo_SFE")->MinValue(), -50.0f);
        // Current page: signal without decimals, the rest with one.
        QCOMPARE(e.Spin("Vst2ImALo_SFE")->Text(), QStringLiteral("4"));
        QCOMPARE(e.Spin("Vst2ImAHi_SFE")->Text(), QStringLiteral("20"));
        QCOMPARE(e.Spin("Vst2IRozsHi_SFE")->Text(), QStringLiteral("100.0"));
        QCOMPARE(e.Spin("Vst2IZaznLo_SFE")->Text(), QStringLiteral("0.0"));
        QCOMPARE(e.Spin("Vst2IZaznHi_SFE")->Text(), QStringLiteral("100.0"));
        QCOMPARE(e.Spin("Vst2IAlarmLo_SFE")->Text(), QStringLiteral("10.0"));
        QCOMPARE(e.Spin("Vst2IAlarmHi_SFE")->Text(), QStringLiteral("90.0"));
        QCOMPARE(e.Get<QLabel>("Vst2ImA_L")->text(), QStringLiteral("mA"));
        QCOMPARE(e.Get<QLabel>("Vst2IJednR_L")->text(), QStringLiteral("%"));
        // Limits update: unipolar 0..25 mA -> signal 0..25, values -25..131.25.
        QCOMPARE(e.Spin("Vst2ImAHi_SFE")->MaxValue(), 25.0f);
        QCOMPARE(e.Spin("Vst2IAlarmLo_SFE")->MinValue(), -25.0f);
        QCOMPARE(e.Spin("Vst2IAlarmHi_SFE")->MaxValue(), 131.25f);
        // Type 4 with the alarm capability: the switches are offered.
        QVERIFY(!e.Get<QCheckBox>("Vstup1Alarm_ChB")->isHidden());
        QVERIFY(e.Get<QCheckBox>("Cyklicky_ChB")->isEnabled());
        QVERIFY(e.Get<QCheckBox>("Cyklicky_ChB")->isChecked());
        QVERIFY(e.Get<QRadioButton>("Presnost_RG_1")->isChecked());
        QVERIFY(e.Get<QCheckBox>("Hodn1_ChB")->isChecked());
        QVERIFY(e.Get<QCheckBox>("Hodn2_ChB")->isChecked());

        // Changing a limit on the signal side moves the limits when leaving it.
        e.Spin("Vst2IRozsHi_SFE")->SetValue(10.0f);
        emit e.Spin("Vst2IRozsHi_SFE")->editingFinishedValue();
        QCOMPARE(e.Spin("Vst2IAlarmLo_SFE")->MinValue(), -2.5f);
        QCOMPARE(e.Spin("Vst2IAlarmHi_SFE")->MaxValue(), 13.125f);
        // Leaving the unit field copies it into the three unit labels.
        e.Get<QLineEdit>("Vst2IJedn_E")->setText(QStringLiteral("bar"));
        emit e.Get<QLineEdit>("Vst2IJedn_E")->editingFinished();
        QCOMPARE(e.Get<QLabel>("Vst2IJednA_L")->text(), QStringLiteral("bar"));

        // The simulated Pt100 is fixed by the logger: its unit and record
        // limits are greyed and its fixed section was read; the alarms stay open.
        QVERIFY(!e.Get<QComboBox>("Vst1TJedn_CB")->isEnabled());
        QVERIFY(!e.Spin("Vst1TZaznLo_SFE")->isEnabled());
        QVERIFY(!e.Spin("Vst1TZaznHi_SFE")->isEnabled());
        QVERIFY(e.Spin("Vst1TAlarmLo_SFE")->isEnabled());
        QVERIFY(e.Spin("Vst2IZaznLo_SFE")->isEnabled());
        const auto cmds = logger.Commands();
        QCOMPARE(int(std::count(cmds.begin(), cmds.end(), std::uint8_t{0x1B})), 1);
        QCOMPARE(int(std::count(cmds.begin(), cmds.end(), std::uint8_t{0x28})), 0);
    }

    void CaptionsInBothLanguages() {
        SimLogger logger(Options());
        SetLanguage(0);
        {
            Editor e(logger);
            QCOMPARE(e.dlg.windowTitle(), QStringLiteral("Quendal - parametry archivace"));
            QCOMPARE(e.Get<QTabWidget>("Parametry_TB")->tabText(0), QStringLiteral("Archivace"));
            QCOMPARE(e.Get<QLabel>("NazevMereni_L")->text(), QStringLiteral("Jméno přístroje"));
            QCOMPARE(e.Get<QLabel>("Vstup2Zaznam2_L")->text(), QStringLiteral("Záznam"));
            QCOMPARE(e.Get<QLabel>("Vstup1Nazev_L")->text(), QStringLiteral("Teplota interní Pt100"));
            QCOMPARE(e.Get<QRadioButton>("Presnost_RG_1")->text(), QStringLiteral("Zvýšená"));
            QCOMPARE(e.Get<QPushButton>("SetUp_BB")->text(), QStringLiteral("&Nastavit"));
            QCOMPARE(e.Period(), QStringLiteral("10 sec"));
        }
        SetLanguage(1);
        Editor e(logger);
        QCOMPARE(e.Get<QCheckBox>("Cyklicky_ChB")->text(), QStringLiteral("Cylic"));
        QCOMPARE(e.Get<QLabel>("NazevMereni_L")->text(), QStringLiteral("Quendal name"));
        QCOMPARE(e.Get<QCheckBox>("Vstup1Alarm_ChB")->text(), QStringLiteral("Alarm indication"));
        QCOMPARE(e.Get<QPushButton>("Help_BB")->text(), QStringLiteral("&Help"));
    }

    void PeriodSpinner() {
        {
            SimLogger logger(Options());  // 10 seconds
            Editor e(logger);
            QCOMPARE(e.Period(), QStringLiteral("10 sec"));
            e.Down();
            QCOMPARE(e.Period(), QStringLiteral("10 sec"));
            e.Up();
            QCOMPARE(e.Period(), QStringLiteral("15 sec"));
            logger.ClearFrames();
            e.Store();
            QVERIFY(e.errors.isEmpty());
            QCOMPARE(Hex(logger.Writes().at(0).Data).left(5), QStringLiteral("15 02"));
        }
        {
            sim::SimOptions o = Options();
            o.PeriodValue = 1;
            SimLogger logger(o);
            Editor e(logger);
            QCOMPARE(e.Period(), QStringLiteral("1 sec"));
            logger.ClearFrames();
            e.Store();  // without a click the logger keeps 1 second
            QCOMPARE(Hex(logger.Writes().at(0).Data).left(5), QStringLiteral("01 02"));
            Editor up(logger), down(logger);
            up.Up();
            down.Down();
            QCOMPARE(up.Period(), QStringLiteral("10 sec"));
            QCOMPARE(down.Period(), QStringLiteral("10 sec"));
        }
        {
            sim::SimOptions o = Options();
            o.PeriodValue = 0;
            o.PeriodUnit = 0;
            SimLogger logger(o);
            Editor e(logger);
            QCOMPARE(e.Period(), QStringLiteral("off"));
            e.Up();
            QCOMPARE(e.Period(), QStringLiteral("off   "));
            e.Down();
            QCOMPARE(e.Period(), QStringLiteral("24 hou"));
            SetLanguage(0);
            Editor cz(logger);
            QCOMPARE(cz.Period(), QStringLiteral("vyp"));
            cz.Down();
            QCOMPARE(cz.Period(), QStringLiteral("24 hod"));
            SetLanguage(1);
        }
        {
            sim::SimOptions o = Options();
            o.PeriodValue = 8;
            o.PeriodUnit = 4;
            SimLogger logger(o);
            Editor e(logger);
            QCOMPARE(e.Period(), QStringLiteral("8 hour"));
            e.Up();
            e.Down();
            QCOMPARE(e.Period(), QStringLiteral(" 8 hou"));
        }
        {
            // No table row: shown as held and stored unchanged.
            sim::SimOptions o = Options();
            o.PeriodValue = 7;
            SimLogger logger(o);
            Editor e(logger);
            QCOMPARE(e.Period(), QStringLiteral("7 sec"));
            logger.ClearFrames();
            e.Store();
            QCOMPARE(Hex(logger.Writes().at(0).Data).left(5), QStringLiteral("07 02"));
        }
    }

    void NameOnlyChangeWritesWithoutAsking() {
        SimLogger logger(Options());
        Editor e(logger);
        Bytes expected = logger.Sim().ParameterBlockBytes();
        e.Get<QLineEdit>("NazevMereni_E")->setText(QStringLiteral("SKLAD 12"));
        e.Get<QLineEdit>("Soubor_E")->setText(QStringLiteral("SKLAD12"));
        logger.ClearFrames();
        e.Store();
        QVERIFY2(e.questions.isEmpty(), qPrintable(e.questions.join('|')));
        QVERIFY2(e.errors.isEmpty(), qPrintable(e.errors.join('|')));
        QCOMPARE(e.dlg.result(), int(QDialog::Accepted));
        std::memset(expected.data() + 8, 0, 24);
        std::memcpy(expected.data() + 8, "SKLAD12", 7);
        std::memcpy(expected.data() + 16, "SKLAD 12", 8);
        CheckStoreFrames(logger, expected, 4);
        QCOMPARE(int(logger.Writes().size()), 9);  // no emptying
        QCOMPARE(Hex(logger.Sim().ParameterBlockBytes()), Hex(expected));
        QCOMPARE(Hex(Block(logger.ctx.Logger.Image.Parameters)), Hex(expected));
    }

    void AlarmChangeAsksAndNoWritesNothing() {
        SimLogger logger(Options());
        const Bytes before = logger.Sim().ParameterBlockBytes();
        {
            Editor e(logger, false);
            const Bytes shared = Block(logger.ctx.Logger.Image.Parameters);
            e.Spin("Vst1TAlarmHi_SFE")->SetValue(90.0f);
            logger.ClearFrames();
            e.Store();
            QCOMPARE(e.questions.size(), 1);
            QVERIFY(e.questions[0].startsWith(QStringLiteral(
                "All records in the logger must be deleted.\r\n\r\nDelete all records in the logger?\r\n\r\n")));
            QCOMPARE(e.errors, QStringList{QStringLiteral("Parametry archivace nenastaveny")});
            // Only the pointers were read, for the figure of the question.
            QVERIFY(logger.Writes().empty());
            QCOMPARE(int(logger.Commands().size()), 1);
            QCOMPARE(e.dlg.result(), int(QDialog::Rejected));
            QCOMPARE(Hex(Block(logger.ctx.Logger.Image.Parameters)), Hex(shared));
        }
        // Yes: the parameters, then the 8-byte pointer read and the emptying.
        const std::int32_t write = logger.Sim().ArchiveWrite();
        QVERIFY(logger.Sim().ArchiveRead() != write);
        Editor e(logger, true);
        SetLanguage(0);
        e.Spin("Vst1TAlarmHi_SFE")->SetValue(90.0f);
        logger.ClearFrames();
        e.Store();
        QCOMPARE(e.questions.size(), 1);
        QVERIFY(e.questions[0].startsWith(QStringLiteral("Změna rozsahu archivace vyžaduje vymazání paměti\r\n\r\n")));
        QVERIFY(e.errors.isEmpty());
        const auto writes = logger.Writes();
        QCOMPARE(int(writes.size()), 10);
        QCOMPARE(writes[9].Command, std::uint8_t{0x89});
        const auto frames = logger.Sim().ReceivedFrames();
        const Bytes& pointerRead = frames[frames.size() - 2];
        QCOMPARE(pointerRead[3], std::uint8_t{0x09});
        QCOMPARE(pointerRead[5], std::uint8_t{8});
        QCOMPARE(logger.Sim().ArchiveRead(), logger.Sim().ArchiveWrite());
        const Bytes after = logger.Sim().ParameterBlockBytes();
        QVERIFY(GetU16(after.data() + 74) != GetU16(before.data() + 74));  // AlarmHighRaw of input 1
        QCOMPARE(GetU16(after.data() + 72), GetU16(before.data() + 72));
        SetLanguage(1);
    }

    void FahrenheitAndCurrentInputsStoreTheirRecordScaling() {
        sim::SimOptions o = Options();
        o.InputCaps[0] = 0x41;  // a configurable Pt100
        SimLogger logger(o);
        Editor e(logger);
        auto* unit = e.Get<QComboBox>("Vst1TJedn_CB");
        QVERIFY(unit->isEnabled());
        unit->setCurrentIndex(1);
        // The unit reaches the shared block at once, the page shows Fahrenheit.
        QCOMPARE(logger.ctx.Logger.Image.Parameters.Input[0].UnitText[0], std::uint8_t{0xB0});
        QCOMPARE(logger.ctx.Logger.Image.Parameters.Input[0].UnitText[1], std::uint8_t{'F'});
        QCOMPARE(e.Get<QLineEdit>("Vst1TRozsLo_E")->text(), QStringLiteral("-58"));
        QCOMPARE(e.Spin("Vst1TZaznHi_SFE")->Text(), QStringLiteral("302"));
        QCOMPARE(e.Get<QLabel>("Vst1TJednA_L")->text(), QStringLiteral("°F"));
        e.Spin("Vst1TZaznLo_SFE")->SetValue(14.0f);
        e.Spin("Vst1TZaznHi_SFE")->SetValue(212.0f);
        // Current input: range 0..10, record 0..10 with the signal 4..20 mA.
        e.Spin("Vst2IRozsHi_SFE")->SetValue(10.0f);
        e.Spin("Vst2IZaznLo_SFE")->SetValue(0.0f);
        e.Spin("Vst2IZaznHi_SFE")->SetValue(10.0f);
        e.Spin("Vst2IAlarmLo_SFE")->SetValue(1.0f);
        e.Spin("Vst2IAlarmHi_SFE")->SetValue(9.0f);
        logger.ClearFrames();
        e.Store();
        QCOMPARE(e.questions.size(), 1);
        QVERIFY(e.errors.isEmpty());
        const Bytes after = logger.Sim().ParameterBlockBytes();
        QCOMPARE(after[44], std::uint8_t{0xB0});
        QCOMPARE(after[45], std::uint8_t{'F'});
        QCOMPARE(FloatBits(after, 64), Bits(10.0f));
        QCOMPARE(FloatBits(after, 68), Bits(static_cast<float>(64255.0 / 110.0)));
        QCOMPARE(FloatBits(after, 108), Bits(10.0f));
        QCOMPARE(FloatBits(after, 112), Bits(-4.0f));
        QCOMPARE(FloatBits(after, 116), Bits(4015.9375f));
        // 1 and 9 on the unipolar converter's -2.5..13.125.
        QCOMPARE(int(GetU16(after.data() + 120)), int(RoundHalfEven(3.5 / 15.625 * 65536)));
        QCOMPARE(int(GetU16(after.data() + 122)), int(RoundHalfEven(11.5 / 15.625 * 65536)));
        CheckStoreFrames(logger, after, 4);
    }

    void CyclicSwitchByLoggerType() {
        {
            SimLogger logger(Options(2));
            Editor e(logger);
            auto* cyclic = e.Get<QCheckBox>("Cyklicky_ChB");
            QVERIFY(cyclic->isChecked());
            QVERIFY(!cyclic->isEnabled());
            // Alarm indication is never offered below type 3.
            QVERIFY(e.Get<QCheckBox>("Vstup1Alarm_ChB")->isHidden());
            QVERIFY(e.Get<QCheckBox>("Vstup2Alarm_ChB")->isHidden());
            logger.ClearFrames();
            e.Store();
            QVERIFY(e.errors.isEmpty());
            const auto w = logger.Writes();
            QCOMPARE(w.at(0).Data.at(2) & 0x10, 0);
            // Type 2 sends 32-byte blocks: the parameter pieces are the same 16/12 bytes.
            CheckStoreFrames(logger, logger.Sim().ParameterBlockBytes(), 2);
        }
        {
            SimLogger logger(Options(1));
            Editor e(logger);
            QVERIFY(e.Get<QCheckBox>("Vstup1Alarm_ChB")->isHidden());
        }
        {
            SimLogger logger(Options(4));
            Editor e(logger);
            e.Get<QCheckBox>("Cyklicky_ChB")->setChecked(false);
            e.Get<QCheckBox>("Vstup2Alarm_ChB")->setChecked(true);
            logger.ClearFrames();
            e.Store();
            const auto w = logger.Writes();
            QCOMPARE(w.at(0).Data.at(2), std::uint8_t{0x01 | 0x02 | 0x04 | 0x10 | 0x80});
        }
        {
            SimLogger logger(Options(3));
            Editor e(logger);
            QVERIFY(!e.Get<QCheckBox>("Vstup1Alarm_ChB")->isHidden());
        }
    }

    void FixedInputIsGreyed() {
        sim::SimOptions o = Options();
        o.InputType[0] = 0x01;
        o.InputType[1] = 0x01;
        o.InputCaps[0] = 0x44;  // fixed by the logger
        o.InputCaps[1] = 0x45;
        SimLogger logger(o);
        Editor e(logger);
        for (const char* name : {"Vst1ImALo_SFE", "Vst1ImAHi_SFE", "Vst1IRozsLo_SFE", "Vst1IRozsHi_SFE",
                                 "Vst1IZaznLo_SFE", "Vst1IZaznHi_SFE"})
            QVERIFY2(!e.Spin(name)->isEnabled(), name);
        QVERIFY(e.Get<QLineEdit>("Vst1IJedn_E")->isReadOnly());
        QVERIFY(e.Spin("Vst1IAlarmLo_SFE")->isEnabled());
        for (const char* name : {"Vst2ImALo_SFE", "Vst2IRozsHi_SFE", "Vst2IZaznLo_SFE"})
            QVERIFY2(e.Spin(name)->isEnabled(), name);
        QVERIFY(!e.Get<QLineEdit>("Vst2IJedn_E")->isReadOnly());
        // The fixed section of input 1 only was read from the logger.
        int sections = 0;
        for (const Bytes& f : logger.Sim().ReceivedFrames())
            if (f[3] == 0x1B) {
                ++sections;
                QCOMPARE(f[4], std::uint8_t{12});
                QCOMPARE(f[5], std::uint8_t{28});
            }
        QCOMPARE(sections, 1);

        // An unused input cannot record.
        sim::SimOptions u = Options();
        u.InputType[1] = 0x00;
        SimLogger unused(u);
        Editor eu(unused);
        QVERIFY(!eu.Get<QCheckBox>("Hodn2_ChB")->isEnabled());
        QVERIFY(!eu.Get<QCheckBox>("Hodn2_ChB")->isChecked());
        QCOMPARE(eu.Get<QStackedWidget>("Vstup2_N")->currentIndex(), 0);
        QCOMPARE(eu.Get<QLabel>("Vstup2Nazev_L")->text(), QStringLiteral("Unused"));
    }

    void TableInputs() {
        sim::SimOptions o = Options();
        o.InputType[0] = 47;
        o.InputType[1] = 63;
        SimLogger logger(o);
        Editor e(logger);
        QCOMPARE(e.Get<QStackedWidget>("Vstup1_N")->currentIndex(), 1);
        QCOMPARE(e.Get<QStackedWidget>("Vstup2_N")->currentIndex(), 3);
        QCOMPARE(e.Get<QLineEdit>("EVst2HJedn")->text(), QStringLiteral("% rv"));
        QCOMPARE(e.Get<QLineEdit>("EVst2HRozsHi")->text(), QStringLiteral("100"));
        QCOMPARE(e.Get<QLineEdit>("Vst1TRozsHi_E")->text(), QStringLiteral("150"));
        QCOMPARE(e.Spin("Vst2HAlarmLo_SFE")->Text(), QStringLiteral("20"));
        // The table alarm raw is coarse here: 72 stands for 1e6 / 72 = 13889 ohms, about 101 degrees.
        QCOMPARE(e.Spin("Vst1TAlarmHi_SFE")->Text(), QStringLiteral("101"));
        int tables = 0;
        for (const Bytes& f : logger.Sim().ReceivedFrames())
            if (f[3] == 0x28 || f[3] == 0x29) ++tables;
        QCOMPARE(tables, 2);
        // Moving the humidity alarm stores it through the table.
        e.Spin("Vst2HAlarmLo_SFE")->SetValue(30.0f);
        logger.ClearFrames();
        e.Store();
        QVERIFY2(e.errors.isEmpty(), qPrintable(e.errors.join('|')));
        QCOMPARE(e.questions.size(), 1);
        const Bytes after = logger.Sim().ParameterBlockBytes();
        QCOMPARE(int(GetU16(after.data() + 120)), int(RoundHalfEven(1e6 / 145.0)));  // x = 100 + 10 * 4.5
        QCOMPARE(after[92], std::uint8_t{'%'});
    }

    void WriteFailureInTheMiddle() {
        SimLogger logger(Options());
        const Bytes before = logger.Sim().ParameterBlockBytes();
        const std::int32_t read = logger.Sim().ArchiveRead();
        Editor e(logger);
        e.Get<QLineEdit>("NazevMereni_E")->setText(QStringLiteral("NOVY"));
        e.Spin("Vst2IAlarmHi_SFE")->SetValue(80.0f);
        // Frame 1 is the archive control, 2..9 the parameter pieces: the fourth
        // piece (logger address 48) gets no reply on any attempt.
        sim::FaultRule r;
        r.Kind = sim::FaultKind::NoReply;
        r.Frames = {5, 6, 7, 8};
        logger.Sim().SetFault(r);
        logger.ClearFrames();
        e.Store();
        logger.Sim().ClearFault();
        QCOMPARE(e.questions.size(), 1);
        QCOMPARE(e.errors, QStringList{QStringLiteral("Error: Parameters was not set-up")});
        QCOMPARE(e.dlg.result(), int(QDialog::Rejected));
        // The archive was not emptied: one pointer read for the question's
        // figure, before anything was written, and no pointer write.
        const auto frames = logger.Sim().ReceivedFrames();
        QVERIFY(!frames.empty() && frames[0][3] == 0x09);
        for (std::size_t i = 1; i < frames.size(); ++i) QVERIFY(frames[i][3] != 0x09 && frames[i][3] != 0x89);
        QCOMPARE(logger.Sim().ArchiveRead(), read);
        // The logger holds the new name but not the new alarm of input 2; the
        // shared block holds every edited value.
        const Bytes after = logger.Sim().ParameterBlockBytes();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(after.data() + 16), 4), QByteArray("NOVY"));
        QCOMPARE(Hex(Bytes(after.begin() + 96, after.end())), Hex(Bytes(before.begin() + 96, before.end())));
        const Bytes shared = Block(logger.ctx.Logger.Image.Parameters);
        QVERIFY(GetU16(shared.data() + 122) != GetU16(before.data() + 122));
    }

    // A logger whose values lie beyond the spin edits' ranges and between
    // their steps: shown as they are, kept when untouched; a refused value or
    // a No keeps the dialog with its edits and shows the field concerned.
    void LoggerValuesBeyondTheEditorsReach() {
        SimLogger logger(Options());
        BeyondTheEditorsReach(logger);
        const Bytes before = logger.Sim().ParameterBlockBytes();
        Editor e(logger, false);
        e.dlg.show();
        TSpinFEdit* alarmLo = e.Spin("Vst1TAlarmLo_SFE");
        QCOMPARE(alarmLo->Text(), QStringLiteral("-232"));
        QVERIFY(alarmLo->BeyondRange());
        const QString alarmHigh = e.Spin("Vst1TAlarmHi_SFE")->Text();  // 449.614 between the steps
        QVERIFY2(alarmLo->toolTip().contains(QStringLiteral("-50")), qPrintable(alarmLo->toolTip()));
        QCOMPARE(e.Spin("Vst2ImALo_SFE")->Text(), QStringLiteral("4"));
        QCOMPARE(e.Spin("Vst2IRozsHi_SFE")->Text(), QStringLiteral("100.0"));
        QVERIFY(!e.Spin("Vst2IRozsHi_SFE")->BeyondRange());
        // Passing through an untouched field leaves it as it is.
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(alarmLo, &out);
        QCOMPARE(alarmLo->Text(), QStringLiteral("-232"));

        // An upper record limit below the lower one: refused before anything is written.
        const QString recordHigh = e.Spin("Vst2IZaznHi_SFE")->Text();
        auto* name = e.Get<QLineEdit>("NazevMereni_E");
        name->setText(QStringLiteral("SKLAD 12"));
        e.Spin("Vst2IZaznHi_SFE")->SetText(QStringLiteral("-5.0"));
        logger.ClearFrames();
        e.Store();
        QCOMPARE(e.errors.size(), 1);
        QVERIFY2(e.errors[0].startsWith(QStringLiteral("Input 2: ")), qPrintable(e.errors[0]));
        QVERIFY(e.questions.isEmpty());
        QVERIFY(logger.Sim().ReceivedFrames().empty());
        QVERIFY(e.dlg.isVisible());
        QCOMPARE(e.Get<QTabWidget>("Parametry_TB")->currentIndex(), 2);
        QCOMPARE(e.dlg.focusWidget(), static_cast<QWidget*>(e.Spin("Vst2IZaznHi_SFE")));

        // A changed alarm answered No: the same, the alarm field shown.
        e.Spin("Vst2IZaznHi_SFE")->SetText(recordHigh);
        e.Spin("Vst1TAlarmHi_SFE")->SetText(QStringLiteral("300"));
        e.Store();
        QCOMPARE(e.questions.size(), 1);
        QCOMPARE(e.errors.last(), QStringLiteral("Parametry archivace nenastaveny"));
        QVERIFY(logger.Writes().empty());
        QVERIFY(e.dlg.isVisible());
        QCOMPARE(e.Get<QTabWidget>("Parametry_TB")->currentIndex(), 1);
        QCOMPARE(e.dlg.focusWidget(), static_cast<QWidget*>(e.Spin("Vst1TAlarmHi_SFE")));
        QCOMPARE(name->text(), QStringLiteral("SKLAD 12"));

        // Back to the shown values: only the name bytes reach the logger.
        e.Spin("Vst1TAlarmHi_SFE")->SetText(alarmHigh);
        e.Store();
        QCOMPARE(e.questions.size(), 1);
        QCOMPARE(e.dlg.result(), int(QDialog::Accepted));
        Bytes expected = before;
        std::memset(expected.data() + 16, 0, 16);
        std::memcpy(expected.data() + 16, "SKLAD 12", 8);
        CheckStoreFrames(logger, expected, 4);
        QCOMPARE(int(logger.Writes().size()), 9);
        QCOMPARE(Hex(logger.Sim().ParameterBlockBytes()), Hex(expected));
    }

    void SilentLoggerRefusesToOpen() {
        SimLogger logger(Options());
        Silence(logger.Sim());
        TFAParama dlg(logger.ctx);
        QVERIFY(Throws<EComm>([&] { dlg.OpenSequence(); }));
    }
};

QTEST_MAIN(ParamEditorTest)
#include "ParamEditorTest.moc"
