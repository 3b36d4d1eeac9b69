// SPDX-License-Identifier: GPL-3.0-or-later
// The communication settings dialogs and the routine that opens the port.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "app/AppContext.h"
#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/Help.h"
#include "base/ui/ModalRunner.h"
#include "app/ui/TFSetPC.h"
#include "link/PortNames.h"
#include "app/BuiltinPort.h"
#include "sim/Simulator.h"

using namespace kolvex;
using namespace kolvex::ui;

namespace {

// Records the message boxes and answers them with OK; other dialogs are
// handed to `onDialog` (rejected when there is none).
struct ModalRecorder {
    QStringList messages;
    std::function<int(QDialog&)> onDialog;

    ModalRecorder() {
        SetModalHook([this](QDialog& d) {
            if (auto* box = qobject_cast<QMessageBox*>(&d)) {
                messages << box->text();
                return static_cast<int>(QMessageBox::Ok);
            }
            return onDialog ? onDialog(d) : static_cast<int>(QDialog::Rejected);
        });
    }
    ~ModalRecorder() { SetModalHook(nullptr); }
};

template <class T>
T* Child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}

}  // namespace

class ConfigUiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        sim::SimOptions fast;
        fast.Pacing = false;
        builtin_ = std::make_shared<sim::BuiltinSimulator>(fast);
    }
    void cleanupTestCase() { builtin_.reset(); }

    void portDialogListsAndSelects() {
        SetLanguage(1);
        AppContext ctx(builtin_);
        ctx.Port.PortList = {{"COM1", "/dev/ttyS0", "ttyS0"},
                             {"USB0", "/dev/ttyUSB0", "FT232R USB UART"},
                             {"SIM", "", "Simulated logger"}};
        ctx.Config.ComPort = "usb0";  // case does not matter
        ctx.Config.BusAddress = 7;
        TFSetPC dlg(ctx);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Computer"));
        auto* combo = Child<QComboBox>(dlg, "Port_CB");
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QStringLiteral("COM1  /dev/ttyS0"));
        QCOMPARE(combo->itemText(2), QStringLiteral("SIM  Simulated logger"));
        QCOMPARE(combo->currentText(), QStringLiteral("USB0  /dev/ttyUSB0  FT232R USB UART"));
        QVERIFY(!combo->isEditable());
        QVERIFY(Child<QLabel>(dlg, "Adresa_L")->isHidden());
        QVERIFY(Child<QSpinBox>(dlg, "EAdrQuend")->isHidden());
        QCOMPARE(Child<QSpinBox>(dlg, "EAdrQuend")->value(), 255);
        QCOMPARE(ctx.Config.BusAddress, 255);
        QCOMPARE(Child<QLabel>(dlg, "PortName_L")->text(), QStringLiteral("Port name"));
        QCOMPARE(Child<QPushButton>(dlg, "SetUp_BB")->text(), QStringLiteral("&Set-up"));
        QCOMPARE(Child<QPushButton>(dlg, "Details_BB")->text(), QStringLiteral("Details"));
        QCOMPARE(Child<QPushButton>(dlg, "Close_BB")->text(), QStringLiteral("&Close"));

        SetLanguage(0);
        TFSetPC cz(ctx);
        QCOMPARE(cz.windowTitle(), QStringLiteral("Počítač"));
        QCOMPARE(Child<QLabel>(cz, "PortName_L")->text(), QStringLiteral("Číslo portu"));
        QCOMPARE(Child<QPushButton>(cz, "SetUp_BB")->text(), QStringLiteral("&Nastavit"));
        QCOMPARE(Child<QPushButton>(cz, "Help_BB")->text(), QStringLiteral("&Nápověda"));

        // Help opens the dialog's topic in the current language.
        QTest::mouseClick(Child<QPushButton>(cz, "Help_BB"), Qt::LeftButton);
        QVERIFY(HelpBrowser());
        QCOMPARE(HelpBrowser()->source(), QUrl(QStringLiteral("qrc:/help/cs/1110.html")));
        SetLanguage(1);
    }

    void unknownPortGivesESetPC() {
        SetLanguage(1);
        ModalRecorder rec;
        AppContext ctx(builtin_);
        ctx.Port.PortList = {{"COM7", "/dev/ttyS6", ""}};
        ctx.Config.ComPort = "COM7";
        ctx.Config.TIdle = 20;
        ctx.Config.TSlot = 100;
        // The routine on its own raises ESetPC with the fixed text.
        try {
            ApplyPortSettings(ctx);
            QFAIL("no ESetPC");
        } catch (const ESetPC& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("Program nenalezl seriový port    COM7\r\n\r\n"
                                    "Vyberte port v menu \"Nastavení / Počitač\""));
        }
        // Through the dialog: shown once, the dialog closes with OK anyway.
        ctx.Port.PortList = {{"COM7", "/dev/ttyS6", ""}};
        TFSetPC dlg(ctx);
        QCOMPARE(Child<QComboBox>(dlg, "Port_CB")->currentText(), QStringLiteral("COM7  /dev/ttyS6"));
        QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
        QCOMPARE(dlg.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(rec.messages.size(), 1);
        QVERIFY(rec.messages[0].startsWith(QStringLiteral("Program nenalezl seriový port    COM7")));
        QVERIFY(rec.messages[0].endsWith(QStringLiteral("\"Nastavení / Počitač\"")));  // no full stop after '"'
        QVERIFY(!ctx.Port.IsOpen());

        // A configured port that is not listed: nothing is chosen.
        ctx.Config.ComPort = "USB5";
        TFSetPC none(ctx);
        QCOMPARE(Child<QComboBox>(none, "Port_CB")->currentIndex(), -1);
    }

    void simPortAndARealPortAfterIt() {
        ModalRecorder rec;
        AppContext ctx(builtin_);
        ctx.Port.EnumeratePorts();
        QVERIFY(!ctx.Port.PortList.empty());
        QCOMPARE(QString::fromStdString(ctx.Port.PortList.back().Name), QStringLiteral("SIM"));
        ctx.Config.ComPort = "COM1";
        ctx.Config.TIdle = 30;
        ctx.Config.TSlot = 200;
        {
            TFSetPC dlg(ctx);
            auto* combo = Child<QComboBox>(dlg, "Port_CB");
            combo->setCurrentIndex(combo->count() - 1);
            QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
        }
        QVERIFY2(rec.messages.isEmpty(), qPrintable(rec.messages.join(QLatin1Char('|'))));
        QCOMPARE(QString::fromStdString(ctx.Config.ComPort), QStringLiteral("SIM"));
        QVERIFY(ctx.Port.IsOpen());
        QVERIFY(builtin_->Running() != nullptr);
        QCOMPARE(ctx.Port.IdleTime, 30000u);
        QCOMPARE(ctx.Port.ReplyTimeout, 200000u);
        QCOMPARE(ctx.Port.LoggerAddress, 255);
        QCOMPARE(ctx.Port.Tries, 3);
        QCOMPARE(ctx.Port.LineControl, 4);
        // The whole link works: the simulated logger answers.
        QCOMPARE(ctx.Ops.ReadIdentification().SerialNumber, 84321u);

        // A real port (or the default list) instead: the simulator stops,
        // whether the port opens or not.
        std::string real;
        for (const auto& p : ctx.Port.PortList)
            if (!SamePortName(p.Name, kSimulatedPort)) real = p.Name;
        if (real.empty()) real = "COM1";  // the default list
        ctx.Config.ComPort = real;
        try {
            ApplyPortSettings(ctx);
        } catch (const EComm& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QString::fromStdString(real)));
        }
        QCOMPARE(QString::fromStdString(ctx.Port.PortName), QString::fromStdString(real));
        QVERIFY(builtin_->Running() == nullptr);
        ctx.Port.Close();

        // Choosing "SIM" again starts a fresh simulator.
        ctx.Config.ComPort = "sim";
        ApplyPortSettings(ctx);
        QVERIFY(builtin_->Running() != nullptr);
        QCOMPARE(ctx.Ops.ReadSerialNumber(), 84321u);
        ctx.Port.Close();
    }

    void networkPortTypedStoredAndReloaded() {
        SetLanguage(1);
        ModalRecorder rec;
        QTemporaryDir dir;
        const std::string cfg = dir.filePath(QStringLiteral("kolvex12.cfg")).toStdString();
        AppContext ctx(builtin_);
        ctx.Port.PortList = {{"USB0", "/dev/ttyUSB0", ""}, {"SIM", "", "Simulated logger"}};
        ctx.Config.ComPort = "USB0";
        ctx.Config.TSlot = 100;
        {
            // A malformed address is refused and the dialog stays open.
            TFSetPC dlg(ctx);
            auto* net = Child<QLineEdit>(dlg, "NetPort_E");
            QTest::keyClicks(net, QStringLiteral("tcp://127.0.0.1"));
            QCOMPARE(Child<QComboBox>(dlg, "Port_CB")->currentIndex(), -1);
            QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
            QCOMPARE(rec.messages.size(), 1);
            QVERIFY(rec.messages[0].contains(QStringLiteral("tcp://127.0.0.1  is malformed")));
            QCOMPARE(dlg.result(), 0);
            QCOMPARE(QString::fromStdString(ctx.Config.ComPort), QStringLiteral("USB0"));

            // A well-formed one is the port (nothing listens on port 1: the
            // refusal is shown, the choice is kept as for any port).
            net->clear();
            QTest::keyClicks(net, QStringLiteral(" tcp://127.0.0.1:1 "));
            QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
            QCOMPARE(dlg.result(), static_cast<int>(QDialog::Accepted));
            QCOMPARE(rec.messages.size(), 2);
            QVERIFY2(rec.messages[1].contains(QStringLiteral("tcp://127.0.0.1:1")), qPrintable(rec.messages[1]));
        }
        QCOMPARE(QString::fromStdString(ctx.Config.ComPort), QStringLiteral("tcp://127.0.0.1:1"));
        QCOMPARE(ctx.Config.TSlot, 300);  // network default

        // The round trip: the 4-character field refers to the companion file.
        QVERIFY(SaveConfigFile(cfg, ctx.Config));
        QFile port(QString::fromStdString(CompanionPortFile(cfg)));
        QVERIFY(port.open(QIODevice::ReadOnly));
        QCOMPARE(port.readAll(), QByteArray("tcp://127.0.0.1:1\n"));
        AppContext next(builtin_);
        QVERIFY(LoadConfigFile(cfg, next.Config));
        QCOMPARE(QString::fromStdString(next.Config.ComPort), QStringLiteral("tcp://127.0.0.1:1"));
        next.Port.PortList = ctx.Port.PortList;
        TFSetPC again(next);
        QCOMPARE(Child<QLineEdit>(again, "NetPort_E")->text(), QStringLiteral("tcp://127.0.0.1:1"));
        QCOMPARE(Child<QComboBox>(again, "Port_CB")->currentIndex(), -1);

        // Choosing from the list replaces the typed port.
        auto* combo = Child<QComboBox>(again, "Port_CB");
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QVERIFY(Child<QLineEdit>(again, "NetPort_E")->text().isEmpty());
        QTest::mouseClick(Child<QPushButton>(again, "SetUp_BB"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(next.Config.ComPort), QStringLiteral("SIM"));
        next.Port.Close();
    }

    void devicePathTypedReachesTheLogger() {
        SetLanguage(1);
        ModalRecorder rec;
        sim::Simulator sim(sim::SimOptions{});
        const QString pty = QString::fromStdString(sim.Start());
        AppContext ctx(builtin_);
        ctx.Port.PortList = {{"USB0", "/dev/ttyUSB0", ""}};
        ctx.Config.ComPort = "USB0";
        ctx.Config.TSlot = 100;
        TFSetPC dlg(ctx);
        auto* field = Child<QLineEdit>(dlg, "NetPort_E");
        // Screenshots in both languages, when asked for.
        if (const QString shots = qEnvironmentVariable("KOLVEX_SHOT_DIR"); !shots.isEmpty()) {
            for (int lang : {0, 1}) {
                SetLanguage(lang);
                dlg.ApplyCaptions();
                field->setText(pty);
                dlg.show();
                QTest::qWait(50);
                QVERIFY(dlg.grab().save(QStringLiteral("%1/setpc-%2.png").arg(shots, lang ? "en" : "cs")));
            }
            dlg.hide();
        }
        // Refused before anything is stored: outside /dev, not a terminal.
        const struct {
            const char* path;
            const char* why;
        } refused[] = {{"/tmp/ttyS0", "a device must lie under /dev"}, {"/dev/null", "not a serial device"}};
        for (const auto& r : refused) {
            rec.messages.clear();
            field->setText(QString::fromLatin1(r.path));
            QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
            QCOMPARE(rec.messages.size(), 1);
            QCOMPARE(rec.messages[0], QStringLiteral("Port  %1  cannot be used: %2.").arg(r.path, r.why));
            QCOMPARE(dlg.result(), 0);
            QCOMPARE(QString::fromStdString(ctx.Config.ComPort), QStringLiteral("USB0"));
        }
        // The pseudo-terminal is the port, kept whole; the logger answers.
        rec.messages.clear();
        field->setText(pty);
        QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
        QVERIFY2(rec.messages.isEmpty(), qPrintable(rec.messages.join(QLatin1Char('\n'))));
        QCOMPARE(dlg.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(ctx.Config.ComPort), pty);
        QCOMPARE(ctx.Config.TSlot, 100);
        QVERIFY(ctx.Port.IsOpen());
        QCOMPARE(ctx.Ops.ReadSerialNumber(), 84321u);
        ctx.Port.Close();
    }

    void detailsDialogTimesAndErrorCount() {
        SetLanguage(1);
        AppContext ctx(builtin_);
        ctx.Config.TIdle = 40;
        ctx.Config.TSlot = 300;
        ctx.Port.ErrorCount = 7;
        {
            TFSetPCAdvanced dlg(ctx);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Computer - details"));
            auto* idle = Child<QSpinBox>(dlg, "TIdle_SE");
            auto* slot = Child<QSpinBox>(dlg, "TSlot_SE");
            QCOMPARE(idle->value(), 40);
            QCOMPARE(slot->value(), 300);
            QCOMPARE(idle->minimum(), 10);
            QCOMPARE(idle->maximum(), 10000);
            QCOMPARE(idle->singleStep(), 10);
            QCOMPARE(Child<QLabel>(dlg, "PocetChyb_L")->text(), QStringLiteral("7"));
            QCOMPARE(Child<QLabel>(dlg, "ErrorNumber_L")->text(), QStringLiteral("Errors"));
            QCOMPARE(Child<QPushButton>(dlg, "Default_BB")->text(), QStringLiteral("&Default"));

            // Typing 25 and leaving the field shows 20.
            idle->setFocus();
            idle->selectAll();
            QTest::keyClicks(idle, QStringLiteral("25"));
            QCOMPARE(idle->value(), 25);
            slot->setFocus();
            QCOMPARE(idle->value(), 20);

            // Default, then Close: nothing stored.
            QTest::mouseClick(Child<QPushButton>(dlg, "Default_BB"), Qt::LeftButton);
            QCOMPARE(idle->value(), 20);
            QCOMPARE(slot->value(), 100);
            QTest::mouseClick(Child<QPushButton>(dlg, "Close_BB"), Qt::LeftButton);
            QCOMPARE(ctx.Config.TIdle, 40);
            QCOMPARE(ctx.Config.TSlot, 300);
        }
        {
            // Set-up stores (rounded down to multiples of 10).
            SetLanguage(0);
            TFSetPCAdvanced dlg(ctx);
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Počítač - detaily"));
            QCOMPARE(Child<QLabel>(dlg, "ErrorNumber_L")->text(), QStringLiteral("Počet chyb"));
            Child<QSpinBox>(dlg, "TIdle_SE")->setValue(55);
            Child<QSpinBox>(dlg, "TSlot_SE")->setValue(1230);
            QTest::mouseClick(Child<QPushButton>(dlg, "SetUp_BB"), Qt::LeftButton);
            QCOMPARE(dlg.result(), static_cast<int>(QDialog::Accepted));
            QCOMPARE(ctx.Config.TIdle, 50);
            QCOMPARE(ctx.Config.TSlot, 1230);
            SetLanguage(1);
        }
        // Details opens the details dialog modally from the port dialog.
        ModalRecorder rec;
        QString opened;
        rec.onDialog = [&](QDialog& d) {
            opened = d.objectName();
            return static_cast<int>(QDialog::Rejected);
        };
        TFSetPC dlg(ctx);
        QTest::mouseClick(Child<QPushButton>(dlg, "Details_BB"), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("TFSetPCAdvanced"));
    }

private:
    std::shared_ptr<sim::BuiltinSimulator> builtin_;  // the logger behind "SIM"
};

QTEST_MAIN(ConfigUiTest)
#include "ConfigUiTest.moc"
