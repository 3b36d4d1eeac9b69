// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: start-up and shutdown with the configuration file,
// placement, language switching, the commands and the live display.

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <random>

#include "ScratchDir.h"
#include "app/AppContext.h"
#include "app/ConfigDefaults.h"
#include "base/Language.h"
#include "base/ui/Help.h"
#include "app/ui/LampShape.h"
#include "app/ui/LiveTrendPanel.h"
#include "base/ui/ModalRunner.h"
#include "app/ui/TFAbout02.h"
#include "app/ui/TFMain.h"
#include "app/ui/TFSetPC.h"
#include "link/CommSettings.h"
#include "logger/ui/TFZVerze.h"
#include "app/BuiltinPort.h"
#include "sim/Simulator.h"

using namespace kolvex;
using namespace kolvex::ui;

namespace {

struct ModalRecorder {
    QStringList messages;
    QStringList dialogs;  // object names of the other dialogs, in order
    std::function<int(QDialog&)> onDialog;

    ModalRecorder() {
        SetModalHook([this](QDialog& d) {
            if (auto* box = qobject_cast<QMessageBox*>(&d)) {
                messages << box->text();
                return static_cast<int>(QMessageBox::Ok);
            }
            dialogs << d.objectName();
            return onDialog ? onDialog(d) : static_cast<int>(QDialog::Rejected);
        });
    }
    ~ModalRecorder() { SetModalHook(nullptr); }
};

template <class T>
T* Child(QObject& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}

QRect Area() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// A configuration of a previous run on the simulated port.
ConfigRecord BaseConfig() {
    ConfigRecord c;
    c.WindowTop = 20;
    c.WindowLeft = 30;
    c.WindowHeight = 400;
    c.WindowWidth = 600;
    c.Language = 1;
    c.BusAddress = 255;
    c.Byte29 = 1;
    c.ComPort = "SIM";
    c.Byte35 = 3;
    c.TIdle = 20;
    c.TSlot = 100;
    return c;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void WriteConfig(const QString& path, const ConfigRecord& c) {
    const auto b = c.Encode();
    WriteBytes(path, QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<int>(b.size())));
}

// A clock the test moves by hand.
struct FakeClock {
    QDateTime now{QDate(2024, 5, 17), QTime(10, 0, 0)};
    TFMain::TimeSource Source() {
        return [this] { return now; };
    }
    void At(int h, int m, int s, int ms = 0) { now.setTime(QTime(h, m, s, ms)); }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    kolvex::test::ScratchDir dir_;
    QString cfgPath_;

private slots:
    void initTestCase() { dir_.InitTestCase(); }
    void cleanupTestCase() { dir_.CleanupTestCase(); }
    void init() {
        QVERIFY(dir_.Init());
        cfgPath_ = dir_->filePath(QStringLiteral("kolvex12.cfg"));
    }
    void cleanup() { dir_.Cleanup(); }

    void firstStartWithoutFile() {
        ModalRecorder rec;
        bool mainWindowExisted = true;
        QString settingsTitle;
        rec.onDialog = [&](QDialog& d) {
            auto* settings = qobject_cast<TFSetPC*>(&d);
            if (!settings) return static_cast<int>(QDialog::Rejected);
            mainWindowExisted = false;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<TFMain*>(w) && w->isVisible()) mainWindowExisted = true;
            settingsTitle = d.windowTitle();
            auto* combo = Child<QComboBox>(d, "Port_CB");
            const int sim = combo->findData(QStringLiteral("SIM"));
            combo->setCurrentIndex(sim);
            QTest::mouseClick(Child<QPushButton>(d, "SetUp_BB"), Qt::LeftButton);
            return d.result();
        };
        AppContext ctx(dir_.Simulator());
        {
            TFMain w(ctx);
            w.Timer1()->stop();
            // The settings dialog came first, in English.
            QCOMPARE(rec.dialogs, QStringList{QStringLiteral("TFSetPC")});
            QVERIFY(!mainWindowExisted);
            QCOMPARE(settingsTitle, QStringLiteral("Computer"));
            QVERIFY2(rec.messages.isEmpty(), qPrintable(rec.messages.join(QLatin1Char('|'))));
            QCOMPARE(w.HelpFile(), QStringLiteral("kolvex12_EN.hlp"));
            QCOMPARE(Child<QMenu>(w, "Nastaveni_MI")->title(), QStringLiteral("&Set-up"));
            QCOMPARE(w.windowTitle(), QStringLiteral("Quendal KOLVEX12  Marvenik"));
            QCOMPARE(QString::fromStdString(ctx.ConfigPath), cfgPath_);
            // The window fills the screen less 20 pixels, corner at 10, 10.
            const QRect area = Area();
            QCOMPARE(w.pos(), area.topLeft() + QPoint(10, 10));
            QCOMPARE(w.size(), QSize(area.width() - 20, area.height() - 20));
            QVERIFY(ctx.Port.IsOpen());
            QCOMPARE(QString::fromStdString(ctx.Config.ComPort), QStringLiteral("SIM"));
            QVERIFY(!Child<QToolButton>(w, "ZobrMereni_SB")->isChecked());
            QCOMPARE(QString::fromStdString(ctx.Config.LastArchivePath), QDir::currentPath() + QLatin1Char('/'));

            // The first paint opens nothing until the viewer exists.
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QTRY_VERIFY(w.FirstPaintHandled());
            QVERIFY(w.MdiArea()->subWindowList().isEmpty());
            QVERIFY(!QFile::exists(cfgPath_));  // written only at shutdown
            w.close();
        }
        QVERIFY(!ctx.Port.IsOpen());
        const QByteArray bytes = ReadFile(cfgPath_);
        QCOMPARE(bytes.size(), 344);
        QCOMPARE(static_cast<unsigned char>(bytes[0]), 0x6F);
        QCOMPARE(static_cast<unsigned char>(bytes[1]), 0x00);
        const ConfigRecord saved =
            ConfigRecord::Decode(reinterpret_cast<const std::uint8_t*>(bytes.constData()), 344);
        QCOMPARE(saved.Language, 1);
        QCOMPARE(QString::fromStdString(saved.ComPort), QStringLiteral("SIM"));
        QCOMPARE(saved.TIdle, 20);
        QCOMPARE(saved.TSlot, 100);
        QCOMPARE(saved.Byte29, 1);
        QCOMPARE(saved.Byte35, 3);
        QCOMPARE(saved.MeasuringOn, 0);
        QCOMPARE(saved.WindowLeft, 10);
        QCOMPARE(saved.WindowTop, 10);
    }

    void configFileRoundTrip() {
        // A file with arbitrary bytes in every unused place, and a first
        // word that is not 111: loaded like any other, written back equal.
        ConfigRecord c = BaseConfig();
        c.Marker = 4711;
        c.MeasuringOn = 0;
        c.LastArchivePath = "/nowhere/Měření.dbf";
        c.ViewerTab = 1;
        c.NameSource = 2;
        c.SplitFlags = 6;
        c.StepIndex = 3;
        c.ChartPeriod.Kind = 5;
        c.ChartPeriod.Start = 45000.25;
        auto raw = c.Encode();
        std::mt19937 rng(3);
        for (int off : {2, 3, 21, 22, 23, 41, 42, 43, 173, 174, 175, 197, 198, 199, 236, 237, 238, 239, 308, 309,
                        310, 311, 212, 213, 214, 215})
            raw[static_cast<std::size_t>(off)] = static_cast<std::uint8_t>(rng() | 1);
        QByteArray original(reinterpret_cast<const char*>(raw.data()), 344);
        WriteBytes(cfgPath_, original);

        ModalRecorder rec;
        {
            AppContext ctx(dir_.Simulator());
            TFMain w(ctx);
            w.Timer1()->stop();
            QVERIFY(rec.dialogs.isEmpty());  // no settings dialog with a file
            QVERIFY(rec.messages.isEmpty());
            QCOMPARE(w.pos(), Area().topLeft() + QPoint(30, 20));
            QCOMPARE(w.size(), QSize(600, 400));
            w.close();
        }
        QByteArray expected = original;
        expected[0] = 0x6F;
        expected[1] = 0x00;
        const QByteArray written = ReadFile(cfgPath_);
        QCOMPARE(written.size(), 344);
        QCOMPARE(written.toHex(), expected.toHex());

        // And once more: read back, the same 344 bytes.
        {
            AppContext ctx(dir_.Simulator());
            TFMain w(ctx);
            w.Timer1()->stop();
            w.close();
        }
        QCOMPARE(ReadFile(cfgPath_).toHex(), expected.toHex());
    }

    void placementIsClampedAndSkippedOnPortFailure() {
        ModalRecorder rec;
        ConfigRecord c = BaseConfig();
        c.WindowTop = -5;
        c.WindowLeft = -5;
        c.WindowWidth = 100;
        c.WindowHeight = 300;
        WriteConfig(cfgPath_, c);
        {
            AppContext ctx(dir_.Simulator());
            TFMain w(ctx);
            w.Timer1()->stop();
            QCOMPARE(w.pos(), Area().topLeft());
            QCOMPARE(w.width(), 250);
            QCOMPARE(w.height(), 300);
            QVERIFY(!w.StartupPortFailed());
        }

        // A port that is not listed: the message, no placement, the live
        // display off although it was on.
        c = BaseConfig();
        c.ComPort = "XX9";
        c.WindowTop = 123;
        c.WindowLeft = 77;
        c.MeasuringOn = 1;
        WriteConfig(cfgPath_, c);
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx);
        w.Timer1()->stop();
        QVERIFY(w.StartupPortFailed());
        QCOMPARE(rec.messages.size(), 1);
        QCOMPARE(rec.messages[0], QStringLiteral("Program nenalezl seriový port    XX9\r\n\r\n"
                                                 "Vyberte port v menu \"Nastavení / Počitač\""));
        QVERIFY(w.pos() != Area().topLeft() + QPoint(77, 123));
        QVERIFY(!Child<QToolButton>(w, "ZobrMereni_SB")->isChecked());
        QVERIFY(!ctx.Port.IsOpen());

        // A logger dialog whose first read fails shows the error and does
        // not open.
        rec.messages.clear();
        rec.dialogs.clear();
        Child<QAction>(w, "ZVerze_MI")->trigger();
        QCOMPARE(rec.messages, QStringList{QStringLiteral("Communication error.")});
        QVERIFY(rec.dialogs.isEmpty());

        // Choosing the simulated port in the settings makes the logger
        // reachable.
        rec.onDialog = [](QDialog& d) {
            if (auto* settings = qobject_cast<TFSetPC*>(&d)) {
                auto* combo = Child<QComboBox>(*settings, "Port_CB");
                combo->setCurrentIndex(combo->findData(QStringLiteral("SIM")));
                QTest::mouseClick(Child<QPushButton>(d, "SetUp_BB"), Qt::LeftButton);
            }
            return d.result();
        };
        Child<QToolButton>(w, "NastPC_SB")->click();
        QVERIFY(ctx.Port.IsOpen());
        rec.dialogs.clear();
        rec.onDialog = nullptr;
        Child<QToolButton>(w, "ZobrInfo_SB")->click();
        QCOMPARE(rec.dialogs.size(), 1);
        QVERIFY(rec.messages.size() == 1);  // nothing new
    }

    void languageSwitching() {
        ModalRecorder rec;
        ConfigRecord c = BaseConfig();
        c.Language = 7;  // counts as Czech
        WriteConfig(cfgPath_, c);
        {
            AppContext ctx(dir_.Simulator());
            TFMain w(ctx);
            w.Timer1()->stop();
            QCOMPARE(ctx.Config.Language, 0);
            QCOMPARE(w.HelpFile(), QStringLiteral("kolvex12.hlp"));
            QVERIFY(Child<QToolButton>(w, "Czech_SB")->isChecked());
            QVERIFY(Child<QAction>(w, "Czech_MI")->isChecked());
            QVERIFY(!Child<QAction>(w, "English_MI")->isChecked());
            QCOMPARE(Child<QMenu>(w, "Nastaveni_MI")->title(), QStringLiteral("&Nastavení"));
            QCOMPARE(Child<QMenu>(w, "Zobrazeni_MI")->title(), QStringLiteral("&Zobrazení"));
            QCOMPARE(Child<QMenu>(w, "Archivace_MI")->title(), QStringLiteral("&Archivace"));
            QCOMPARE(Child<QMenu>(w, "Help_MI")->title(), QStringLiteral("&Nápověda"));
            QCOMPARE(Child<QAction>(w, "SetPC_MI")->text(), QStringLiteral("&Počítač..."));
            QCOMPARE(Child<QAction>(w, "ZMereni_MI")->text(), QStringLiteral("&Měření..."));
            QCOMPARE(Child<QAction>(w, "HAbout_MI")->text(), QStringLiteral("O &aplikaci..."));
            QCOMPARE(Child<QToolButton>(w, "NastPC_SB")->toolTip(), QStringLiteral("Počitač"));
            QCOMPARE(Child<QToolButton>(w, "ArchivOpen_SB")->text(), QStringLiteral("Soubor"));
            QCOMPARE(Child<QToolButton>(w, "ArchivRead_SB")->toolTip(), QStringLiteral("Čtení archivace"));
            QCOMPARE(Child<QToolButton>(w, "DbfErase_SB")->toolTip(), QStringLiteral("Odstranění záznamů z databáze"));
            // Qt's own texts (standard buttons of message boxes and file,
            // colour and print dialogs) follow the program's language.
            auto qtCancel = [] {
                QDialogButtonBox box(QDialogButtonBox::Cancel);
                return box.button(QDialogButtonBox::Cancel)->text();
            };
            QCOMPARE(qtCancel(), QStringLiteral("Zrušit"));

            // English at once, everywhere in the window.
            Child<QToolButton>(w, "English_SB")->click();
            QCOMPARE(ctx.Config.Language, 1);
            QCOMPARE(CurrentLanguage(), Lang::English);
            QCOMPARE(w.HelpFile(), QStringLiteral("kolvex12_EN.hlp"));
            QCOMPARE(qtCancel(), QStringLiteral("Cancel"));
            QVERIFY(Child<QToolButton>(w, "English_SB")->isChecked());
            QVERIFY(!Child<QToolButton>(w, "Czech_SB")->isChecked());
            QVERIFY(Child<QAction>(w, "English_MI")->isChecked());
            QVERIFY(!Child<QAction>(w, "Czech_MI")->isChecked());
            QCOMPARE(Child<QMenu>(w, "Nastaveni_MI")->title(), QStringLiteral("&Set-up"));
            QCOMPARE(Child<QMenu>(w, "Zobrazeni_MI")->title(), QStringLiteral("&View"));
            QCOMPARE(Child<QMenu>(w, "Archivace_MI")->title(), QStringLiteral("&Archive"));
            QCOMPARE(Child<QAction>(w, "SetPC_MI")->text(), QStringLiteral("&Computer"));
            QCOMPARE(Child<QAction>(w, "SetCas_MI")->text(), QStringLiteral("&Date && Time"));
            QCOMPARE(Child<QAction>(w, "ZVerze_MI")->text(), QStringLiteral("&Quendal Info..."));
            QCOMPARE(Child<QAction>(w, "ZMereni_MI")->text(), QStringLiteral("&Mesuring..."));
            QCOMPARE(Child<QAction>(w, "AParamSave_MI")->text(), QStringLiteral("&Parameter loading..."));
            QCOMPARE(Child<QAction>(w, "HObsah_MI")->text(), QStringLiteral("&Contents..."));
            QCOMPARE(Child<QToolButton>(w, "NastCas_SB")->toolTip(), QStringLiteral("Date Time"));
            QCOMPARE(Child<QToolButton>(w, "ArchivOpen_SB")->text(), QStringLiteral("File"));
            QCOMPARE(Child<QToolButton>(w, "ArchivParamSave_SB")->toolTip(), QStringLiteral("Reading parameters"));
            QCOMPARE(Child<QToolButton>(w, "Czech_SB")->toolTip(), QStringLiteral("Cesky"));
            QCOMPARE(Child<QAction>(w, "Czech_MI")->text(), QStringLiteral("Česky"));
            QCOMPARE(w.windowTitle(), QStringLiteral("Quendal KOLVEX12  Marvenik"));
            QCOMPARE(Child<QAction>(w, "SetCas_MI")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));

            // The contents command opens the current language's page.
            Child<QAction>(w, "HObsah_MI")->trigger();
            QCOMPARE(HelpBrowser()->source(), QUrl(QStringLiteral("qrc:/help/en/index.html")));

            // Dialogs take the language when they are created.
            QString aboutTitle;
            rec.onDialog = [&](QDialog& d) {
                aboutTitle = d.windowTitle();
                return 0;
            };
            Child<QAction>(w, "HAbout_MI")->trigger();
            QCOMPARE(aboutTitle, QStringLiteral("Information"));

            // Back to Czech from the menu, and closing stores Czech.
            Child<QAction>(w, "Czech_MI")->trigger();
            QCOMPARE(Child<QAction>(w, "SetPC_MI")->text(), QStringLiteral("&Počítač..."));
            QVERIFY(Child<QToolButton>(w, "Czech_SB")->isChecked());
            Child<QAction>(w, "HAbout_MI")->trigger();
            QCOMPARE(aboutTitle, QStringLiteral("Informace o aplikaci"));
            QCOMPARE(qtCancel(), QStringLiteral("Zrušit"));
            // Exit (Ctrl+Q) closes like the window's close button: the
            // configuration is written.
            QAction* exit = Child<QAction>(w, "Exit_MI");
            QCOMPARE(exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
            exit->trigger();
            QVERIFY(!w.isVisible());
        }
        const QByteArray bytes = ReadFile(cfgPath_);
        QCOMPARE(bytes.size(), 344);
        QCOMPARE(static_cast<int>(bytes[24]), 0);
        // The next start is in Czech.
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx);
        w.Timer1()->stop();
        QCOMPARE(w.HelpFile(), QStringLiteral("kolvex12.hlp"));
        QCOMPARE(Child<QMenu>(w, "Help_MI")->title(), QStringLiteral("&Nápověda"));
    }

    void liveCadenceFromSecondThree() {
        ModalRecorder rec;
        WriteConfig(cfgPath_, BaseConfig());
        sim::Simulator logger;
        const std::string slave = logger.Start();
        FakeClock clock;
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx, clock.Source());
        w.Timer1()->stop();
        OpenPortDirect(ctx.Port, slave, 20, 100);
        QSignalSpy readings(&w, &TFMain::LiveReadingDone);

        auto* button = Child<QToolButton>(w, "ZobrMereni_SB");
        clock.At(10, 0, 3);
        button->click();  // switched on at second 3
        QVERIFY(button->isChecked());
        QCOMPARE(w.ReadCountdown(), 0);

        auto tick = [&](int second) {
            clock.At(10, 0, second, 120);
            w.Timer1Timer();
        };
        tick(3);  // reads at once
        QCOMPARE(readings.count(), 1);
        QCOMPARE(readings.last().at(0).toBool(), true);
        QCOMPARE(w.ReadCountdown(), 2);
        tick(4);  // only lowers the countdown
        QCOMPARE(readings.count(), 1);
        QCOMPARE(w.ReadCountdown(), 1);
        tick(5);  // s = 0: reads
        QCOMPARE(readings.count(), 2);
        QCOMPARE(w.ReadCountdown(), 5);
        for (int s = 6; s <= 9; ++s) tick(s);
        QCOMPARE(readings.count(), 2);
        QCOMPARE(w.ReadCountdown(), 1);
        tick(10);  // the next reading
        QCOMPARE(readings.count(), 3);
        QCOMPARE(w.ReadCountdown(), 5);
        QCOMPARE(Child<QLabel>(w, "Time_P")->text(), QStringLiteral("10:00:10"));

        // A lost tick of a multiple of five: the countdown has run down
        // after five ticks and the next one reads.
        for (int s = 11; s <= 14; ++s) tick(s);
        QCOMPARE(readings.count(), 3);
        tick(16);  // second 15 was lost
        QCOMPARE(readings.count(), 3);
        QCOMPARE(w.ReadCountdown(), 0);
        tick(17);
        QCOMPARE(readings.count(), 4);
        QCOMPARE(w.ReadCountdown(), 3);

        // The same time twice is one tick only.
        const int before = readings.count();
        clock.At(10, 0, 20, 0);
        w.Timer1Timer();
        w.Timer1Timer();
        QCOMPARE(readings.count(), before + 1);

        // Switching off: no more readings, the panels hidden.
        button->click();
        QVERIFY(!button->isChecked());
        QVERIFY(!Child<QAction>(w, "ZMereni_MI")->isChecked());
        QCOMPARE(button->toolTip(), QStringLiteral("Čtení hodnot vypnuto"));
        QVERIFY(Child<QWidget>(w, "H1_P")->isHidden());
        tick(25);
        QCOMPARE(readings.count(), before + 1);
        ctx.Port.Close();
    }

    void liveDisplayOnTheSimPort() {
        ModalRecorder rec;
        ConfigRecord c = BaseConfig();
        c.MeasuringOn = 1;  // switched on by the start-up
        WriteConfig(cfgPath_, c);
        FakeClock clock;
        clock.At(9, 0, 0);
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx, clock.Source());
        w.Timer1()->stop();
        QVERIFY(rec.messages.isEmpty());
        auto* button = Child<QToolButton>(w, "ZobrMereni_SB");
        QVERIFY(button->isChecked());
        QVERIFY(Child<QAction>(w, "ZMereni_MI")->isChecked());
        QCOMPARE(button->toolTip(), QStringLiteral("Čtení hodnot zapnuto"));
        QVERIFY(!Child<QWidget>(w, "H1_P")->isHidden());
        QVERIFY(!Child<QWidget>(w, "H2_P")->isHidden());
        QCOMPARE(Child<QWidget>(w, "H1_P")->height(), 33);
        QCOMPARE(Child<QLabel>(w, "H1Name_L")->text(), QStringLiteral("Teplota"));
        QCOMPARE(Child<QLabel>(w, "H2Name_L")->text(), QStringLiteral("Proud"));
        QCOMPARE(Child<QLabel>(w, "H2Unit_L")->text(), QStringLiteral("%"));  // the simulated current loop

        auto* lamp1 = Child<LampShape>(w, "SigNet1_S");
        auto* lamp2 = Child<LampShape>(w, "SigNet2_S");
        auto* value1 = Child<QLabel>(w, "H1Value_ST");
        auto* value2 = Child<QLabel>(w, "H2Value_ST");
        QCOMPARE(lamp1->size(), QSize(13, 13));
        QCOMPARE(lamp1->Color(), kLampGood);  // before the first reading
        QVERIFY(value1->alignment() & Qt::AlignRight);
        QVERIFY(value1->font().bold());

        // Navy after a good reading, unless the value is beyond an alarm limit.
        auto goodColour = [&] { return w.LiveTrend()->Alarm(0) == AlarmState::Normal ? kValueGood : kValueAlarm; };
        QSignalSpy readings(&w, &TFMain::LiveReadingDone);
        w.Timer1Timer();
        QCOMPARE(readings.count(), 1);
        QVERIFY(readings.last().at(0).toBool());
        QVERIFY(!value1->text().isEmpty());
        QVERIFY(!value2->text().isEmpty());
        bool isNumber = false;
        value1->text().toDouble(&isNumber);
        QVERIFY2(isNumber, qPrintable(value1->text()));
        QCOMPARE(lamp1->Color(), kLampGood);
        QCOMPARE(lamp2->Color(), kLampGood);
        QCOMPARE(value1->palette().color(QPalette::WindowText), goodColour());

        // The logger falls silent: red from the next reading on, the last
        // values stay, nothing is reported.
        for (int sec = 1; sec <= 4; ++sec) {
            clock.At(9, 0, sec);
            w.Timer1Timer();
        }
        QCOMPARE(readings.count(), 1);
        QCOMPARE(w.ReadCountdown(), 1);
        const std::shared_ptr<sim::Simulator> logger = dir_.Simulator()->Running();
        QVERIFY(logger);
        sim::FaultRule silent;
        silent.Kind = sim::FaultKind::NoReply;
        silent.Every = 1;
        logger->SetFault(silent);
        const QString lastValue = value1->text();
        const auto errorsBefore = ctx.Port.ErrorCount;
        clock.At(9, 0, 5);
        w.Timer1Timer();
        QCOMPARE(readings.count(), 2);
        QVERIFY(!readings.last().at(0).toBool());
        QCOMPARE(lamp1->Color(), kLampFailed);
        QCOMPARE(lamp2->Color(), kLampFailed);
        QCOMPARE(value1->palette().color(QPalette::WindowText), kValueFailed);
        QCOMPARE(value1->text(), lastValue);
        QCOMPARE(ctx.Port.ErrorCount, errorsBefore + 3);
        QCOMPARE(w.ReadCountdown(), 1);  // left as it was
        QVERIFY(rec.messages.isEmpty());
        // Once the countdown has run down every tick tries again.
        clock.At(9, 0, 6);
        w.Timer1Timer();
        QCOMPARE(readings.count(), 2);
        clock.At(9, 0, 7);
        w.Timer1Timer();
        clock.At(9, 0, 8);
        w.Timer1Timer();
        QCOMPARE(readings.count(), 4);
        QCOMPARE(lamp1->Color(), kLampFailed);

        // It answers again: green at the next tick.
        logger->ClearFault();
        clock.At(9, 0, 9);
        w.Timer1Timer();
        QCOMPARE(readings.count(), 5);
        QVERIFY(readings.last().at(0).toBool());
        QCOMPARE(lamp1->Color(), kLampGood);
        QCOMPARE(value1->palette().color(QPalette::WindowText), goodColour());
        QCOMPARE(w.ReadCountdown(), 1);

        // Switching on while the logger is unreachable: the button pops up
        // without a message.
        Child<QAction>(w, "ZMereni_MI")->trigger();
        QVERIFY(!button->isChecked());
        logger->SetFault(silent);
        Child<QAction>(w, "ZMereni_MI")->trigger();
        QVERIFY(!button->isChecked());
        QVERIFY(!Child<QAction>(w, "ZMereni_MI")->isChecked());
        QVERIFY(Child<QWidget>(w, "H1_P")->isHidden());
        QCOMPARE(button->toolTip(), QStringLiteral("Čtení hodnot vypnuto"));
        QVERIFY(rec.messages.isEmpty());
        logger->ClearFault();

        // Closing stores the button's state.
        button->click();
        QVERIFY(button->isChecked());
        w.close();
        const QByteArray bytes = ReadFile(cfgPath_);
        QCOMPARE(static_cast<int>(bytes[20]), 1);
    }

    void onlyInputTwoRecorded() {
        ModalRecorder rec;
        WriteConfig(cfgPath_, BaseConfig());
        sim::SimOptions options;
        options.RecordFlags = 0x02;
        sim::Simulator logger(options);
        const std::string slave = logger.Start();
        FakeClock clock;
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx, clock.Source());
        w.Timer1()->stop();
        OpenPortDirect(ctx.Port, slave, 20, 100);
        // A 12-character name of input 2.
        ctx.Ops.ReadLoggerType();
        ctx.Ops.ReadParameterBlock();
        ParameterBlock block = ctx.Logger.Image.Parameters;
        block.Input[1].SetName("ABCDEFGHIJKL");
        ctx.Ops.WriteParameterBlock(block);

        w.resize(400, 60);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Child<QToolButton>(w, "ZobrMereni_SB")->click();
        QVERIFY(Child<QWidget>(w, "H1_P")->isHidden());
        QVERIFY(!Child<QWidget>(w, "H2_P")->isHidden());
        QCOMPARE(Child<QLabel>(w, "H2Name_L")->text(), QStringLiteral("ABCDEFGHIJ"));
        // Directly under the tool bar, and the window made room for it.
        QCOMPARE(Child<QWidget>(w, "H2_P")->y(), 0);
        QVERIFY(w.centralWidget()->height() >= 33);
        // Both values are still read; only input 2 is shown.
        QSignalSpy readings(&w, &TFMain::LiveReadingDone);
        w.Timer1Timer();
        QCOMPARE(readings.count(), 1);
        QVERIFY(readings.last().at(0).toBool());
        QVERIFY(Child<QLabel>(w, "H1Value_ST")->text().isEmpty());
        QVERIFY(!Child<QLabel>(w, "H2Value_ST")->text().isEmpty());

        // The port disappears: red at the next reading, within the time-outs.
        logger.Stop();
        clock.At(10, 0, 5);
        QElapsedTimer elapsed;
        elapsed.start();
        w.Timer1Timer();
        QVERIFY(elapsed.elapsed() < 3000);
        QCOMPARE(readings.count(), 2);
        QVERIFY(!readings.last().at(0).toBool());
        QCOMPARE(Child<LampShape>(w, "SigNet2_S")->Color(), kLampFailed);
        ctx.Port.Close();
    }

    void toolBarLayoutAndLook() {
        ModalRecorder rec;
        ConfigRecord c = BaseConfig();
        c.MeasuringOn = 1;
        c.WindowWidth = 900;
        c.WindowHeight = 420;
        WriteConfig(cfgPath_, c);
        AppContext ctx(dir_.Simulator());
        TFMain w(ctx);
        w.Timer1()->stop();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Tool bar: the groups from the left, the clock at the right edge.
        auto* bar = w.findChild<QToolBar*>();
        QVERIFY(bar);
        QStringList order;
        for (QAction* a : bar->actions()) {
            if (a->isSeparator()) {
                order << QStringLiteral("|");
            } else if (QWidget* widget = bar->widgetForAction(a); widget && !widget->objectName().isEmpty()) {
                order << widget->objectName();
            }
        }
        QCOMPARE(order.join(QLatin1Char(' ')),
                 QStringLiteral("Czech_SB English_SB | NastPC_SB NastCas_SB | ZobrInfo_SB ZobrMereni_SB | "
                                "ArchivOpen_SB ArchivRead_SB ArchivParam_SB ArchivErase_SB ArchivParamSave_SB "
                                "DbfErase_SB Time_P"));
        auto* timeP = Child<QLabel>(w, "Time_P");
        QCOMPARE(timeP->text(), QStringLiteral("00:00:00"));
        QVERIFY(timeP->geometry().right() > bar->width() - 20);
        QVERIFY(!Child<QToolButton>(w, "DbfErase_SB")->isEnabled());
        for (const char* name : {"NastPC_SB", "NastCas_SB", "ZobrInfo_SB", "ZobrMereni_SB", "ArchivParam_SB"})
            QVERIFY2(!Child<QToolButton>(w, name)->icon().isNull(), name);

        // Menu order with the separators.
        QStringList menu;
        for (QAction* top : w.menuBar()->actions()) {
            menu << top->menu()->objectName() + QLatin1Char(':');
            for (QAction* a : top->menu()->actions()) menu << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
        }
        QCOMPARE(menu.join(QLatin1Char(' ')),
                 QStringLiteral("Nastaveni_MI: SetPC_MI SetCas_MI | Czech_MI English_MI "
                                "Zobrazeni_MI: ZVerze_MI | ZMereni_MI ZDiagnostika_MI "
                                "Archivace_MI: AOpenFile_MI ARead_MI | AParam_MI AErase_MI AParamSave_MI | AAudit_MI ALoggers_MI | Exit_MI "
                                "Help_MI: HObsah_MI | HAbout_MI"));

        // Screenshots for a look at the window, when asked for.
        const QString shots = qEnvironmentVariable("KOLVEX_SHOT_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            w.Timer1()->start();
            QTest::qWait(1500);
            QVERIFY(w.grab().save(shots + QStringLiteral("/main-en.png")));
            Child<QToolButton>(w, "Czech_SB")->click();
            QTest::qWait(1200);
            QVERIFY(w.grab().save(shots + QStringLiteral("/main-cs.png")));
            QMenu* view = Child<QMenu>(w, "Zobrazeni_MI");
            view->popup(w.mapToGlobal(QPoint(60, 20)));
            QTest::qWait(200);
            QVERIFY(view->grab().save(shots + QStringLiteral("/menu-cs.png")));
            view->hide();
            for (int lang : {1, 0}) {
                const QString suffix = lang == 1 ? QStringLiteral("en") : QStringLiteral("cs");
                if (lang == 1) Child<QToolButton>(w, "English_SB")->click();
                TFSetPC settings(ctx, &w);
                settings.show();
                TFSetPCAdvanced details(ctx, &w);
                details.show();
                TFAbout02 about(&w);
                about.show();
                TFInfoSystem info(&w);
                info.show();
                QTest::qWait(300);
                QVERIFY(settings.grab().save(shots + QStringLiteral("/setpc-%1.png").arg(suffix)));
                QVERIFY(details.grab().save(shots + QStringLiteral("/setpc-details-%1.png").arg(suffix)));
                QVERIFY(about.grab().save(shots + QStringLiteral("/about-%1.png").arg(suffix)));
                QVERIFY(info.grab().save(shots + QStringLiteral("/sysinfo-%1.png").arg(suffix)));
                if (lang == 1) Child<QToolButton>(w, "Czech_SB")->click();
            }
            SetModalHook(nullptr);
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
