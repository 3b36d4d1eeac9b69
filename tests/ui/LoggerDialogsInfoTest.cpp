// SPDX-License-Identifier: GPL-3.0-or-later
// The information and diagnostics dialogs against the simulated logger.

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "LoggerDialogsFixture.h"
#include "base/Errors.h"
#include "logger/ui/TFZDiag.h"
#include "logger/ui/TFZVerze.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::TFZDiag;
using kolvex::ui::TFZVerze;

namespace {

QString LabelText(QWidget& w, const char* name) {
    auto* l = w.findChild<QLabel*>(QString::fromLatin1(name));
    return l ? l->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

QColor LabelColour(QWidget& w, const char* name) {
    auto* l = w.findChild<QLabel*>(QString::fromLatin1(name));
    return l ? l->palette().color(QPalette::Window) : QColor();
}

sim::SimOptions Options(int type, std::uint32_t serial = 84321, int minor = 7) {
    sim::SimOptions o;
    o.LoggerType = type;
    o.SerialNumber = serial;
    o.VersionMinor = minor;
    return o;
}

}  // namespace

class LoggerDialogsInfoTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(1); }

    void InformationShowsIdentity() {
        SimLogger logger(Options(1, 84321, 7));
        TFZVerze dlg(logger.ctx);
        dlg.OpenSequence();
        QCOMPARE(LabelText(dlg, "ManufH_L"), QStringLiteral("KOLVEX SIM"));
        QCOMPARE(LabelText(dlg, "TypeH_L"), QStringLiteral("QUENDAL 730"));
        QCOMPARE(LabelText(dlg, "VersionH_L"), QStringLiteral("01 / 07"));
        QCOMPARE(LabelText(dlg, "SerNumH_L"), QStringLiteral("00084321"));
        QCOMPARE(logger.ctx.Logger.Image.LoggerType, std::uint16_t{0x0701});
        QCOMPARE(dlg.windowTitle(), QStringLiteral("QUENDAL Information"));

        SimLogger big(Options(4, 123456789, 0));
        TFZVerze dlg2(big.ctx);
        dlg2.OpenSequence();
        QCOMPARE(LabelText(dlg2, "SerNumH_L"), QStringLiteral("123456789"));
        QCOMPARE(LabelText(dlg2, "VersionH_L"), QStringLiteral("04 / 00"));
    }

    void LanguageAboveOneFallsBackToCzech() {
        SimLogger logger(Options(4));
        SetLanguage(5);
        logger.ctx.Config.Language = 5;
        TFZVerze dlg(logger.ctx);
        QCOMPARE(LanguageValue(), 0);
        QCOMPARE(logger.ctx.Config.Language, 0);
        QCOMPARE(LabelText(dlg, "SerNum_L"), QStringLiteral("Výr. číslo"));
        SetLanguage(7);
        TFZDiag diag(logger.ctx);
        QCOMPARE(LanguageValue(), 0);
        QCOMPARE(diag.windowTitle(), QStringLiteral("QUENDAL diagnostika"));
    }

    void SilentLoggerRefusesToOpen() {
        SimLogger logger(Options(4));
        Silence(logger.Sim());
        TFZVerze info(logger.ctx);
        QVERIFY(Throws<EComm>([&] { info.OpenSequence(); }));
        TFZDiag diag(logger.ctx);
        QVERIFY(Throws<EComm>([&] { diag.OpenSequence(); }));
    }

    void DiagnosticsFlagsAndVoltages() {
        SimLogger logger(Options(4));
        // Battery flags 0, alarm 1 flags 0, alarm 2 flags 0x22, 3.3 V now, 0.5 V history.
        logger.Sim().SetDiagnosticBytes({0x00, 0x00, 0x22, 33, 5});
        TFZDiag dlg(logger.ctx);
        dlg.OpenSequence();
        for (const char* ok : {"LBatA", "LBatH", "LAl1LoA", "LAl1LoH", "LAl1HiA", "LAl1HiH", "LAl2LoA", "LAl2LoH"}) {
            QCOMPARE(LabelText(dlg, ok), QStringLiteral("OK"));
            QCOMPARE(LabelColour(dlg, ok), QColor(0, 255, 0));
        }
        for (const char* err : {"LAl2HiA", "LAl2HiH"}) {
            QCOMPARE(LabelText(dlg, err), QStringLiteral("Err"));
            QCOMPARE(LabelColour(dlg, err), QColor(255, 0, 0));
        }
        QCOMPARE(LabelText(dlg, "UBatA_ST"), QStringLiteral("3.3 V"));
        QCOMPARE(LabelText(dlg, "UBatH_ST"), QStringLiteral("0.5 V"));
        QVERIFY(!dlg.findChild<QLabel*>("UBatA_ST")->isHidden());

        // Read refreshes: battery now and history set, 25.5 V.
        logger.Sim().SetDiagnosticBytes({0x11, 0x21, 0x00, 255, 33});
        dlg.findChild<QPushButton*>("Read_BB")->click();
        QCOMPARE(LabelText(dlg, "LBatA"), QStringLiteral("Err"));
        QCOMPARE(LabelText(dlg, "LBatH"), QStringLiteral("Err"));
        QCOMPARE(LabelText(dlg, "LAl1LoA"), QStringLiteral("Err"));
        QCOMPARE(LabelText(dlg, "LAl1LoH"), QStringLiteral("OK"));
        QCOMPARE(LabelText(dlg, "LAl1HiH"), QStringLiteral("Err"));
        QCOMPARE(LabelText(dlg, "LAl2HiA"), QStringLiteral("OK"));
        QCOMPARE(LabelText(dlg, "UBatA_ST"), QStringLiteral("25.5 V"));

        // A failed read while open: the error is reported, the indicators stay.
        QStringList errors;
        dlg.Hooks.Error = [&](const std::exception& e) { errors << QString::fromUtf8(e.what()); };
        Silence(logger.Sim());
        dlg.findChild<QPushButton*>("Read_BB")->click();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(LabelText(dlg, "LBatA"), QStringLiteral("Err"));
    }

    void ClearWritesByLoggerType() {
        {
            SimLogger logger(Options(4));
            logger.Sim().SetDiagnosticBytes({0x11, 0x33, 0x33, 30, 28});
            TFZDiag dlg(logger.ctx);
            dlg.OpenSequence();
            logger.ClearFrames();
            dlg.findChild<QPushButton*>("Clear_BB")->click();
            const auto writes = logger.Writes();
            QCOMPARE(int(writes.size()), 1);
            QCOMPARE(writes[0].Command, std::uint8_t{0x89});
            QCOMPARE(writes[0].Address, 9u);
            Bytes expected{0, 0, 0};
            expected.resize(17, 0xFF);
            QCOMPARE(Hex(writes[0].Data), Hex(expected));
            // The read step follows the clearing.
            QCOMPARE(logger.Commands().back(), std::uint8_t{0x09});
            QCOMPARE(LabelText(dlg, "LBatH"), QStringLiteral("OK"));
            QCOMPARE(LabelText(dlg, "LAl2HiH"), QStringLiteral("OK"));
        }
        for (int type : {2, 3}) {
            SimLogger logger(Options(type));
            TFZDiag dlg(logger.ctx);
            dlg.OpenSequence();
            // Up to type 3 the voltage row is hidden.
            QVERIFY(dlg.findChild<QLabel*>("UBatA_ST")->isHidden());
            QVERIFY(dlg.findChild<QLabel*>("UBatH_ST")->isHidden());
            QVERIFY(dlg.findChild<QLabel*>("BatteryVoltage_L")->isHidden());
            logger.ClearFrames();
            dlg.Clear_BBClick();
            const auto writes = logger.Writes();
            QCOMPARE(int(writes.size()), 1);
            QCOMPARE(writes[0].Address, 9u);
            QCOMPARE(Hex(writes[0].Data), QStringLiteral("00 00 00"));
        }
    }
};

QTEST_MAIN(LoggerDialogsInfoTest)
#include "LoggerDialogsInfoTest.moc"
