// SPDX-License-Identifier: GPL-3.0-or-later
// A tour of the program's windows for looking at them, not a test: the main
// window with the live display and the viewer, then each dialog and the
// questions before deleting, every one shown on the screen and saved as a
// picture of the whole screen into the folder given, with a line telling
// whether its frame lies inside the screen's available area.
//
//   xvfb-run -a -s "-screen 0 1366x768x24" ui_screen_tour OUT cs|en
//   (QT_SCALE_FACTOR=1.5 for the scaled desktop, GTK_THEME=Adwaita:dark for
//   the dark one)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <cmath>
#include <cstdio>
#include <functional>

#include "app/AppContext.h"
#include "app/BuiltinPort.h"
#include "app/ui/Desktop.h"
#include "app/ui/TFAbout02.h"
#include "app/ui/TFMain.h"
#include "app/ui/TFSetPC.h"
#include "archive/ParameterFile.h"
#include "archive/ui/TFADbf.h"
#include "archive/ui/TFADbfConvert.h"
#include "archive/ui/TFAParamC.h"
#include "base/DateTime.h"
#include "base/Language.h"
#include "base/ui/ModalRunner.h"
#include "base/ui/TSpinFEdit.h"
#include "logger/ui/TFAErase.h"
#include "logger/ui/TFAParama.h"
#include "logger/ui/TFSetCas.h"
#include "logger/ui/TFZDiag.h"
#include "logger/ui/TFZVerze.h"
#include "output/ui/TFADbfErase.h"
#include "output/ui/TFANastGraf.h"
#include "output/ui/TFANastTisk.h"
#include "output/ui/TFAToExcel.h"

using namespace kolvex;
using namespace kolvex::ui;

namespace {

QString g_out;
int g_misfits = 0;

void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Shoot(QWidget* w, const QString& name) {
    Settle(400);
    const QRect area = w->screen()->availableGeometry();
    const QRect frame = w->frameGeometry();
    const bool fits = area.contains(frame);
    if (!fits) ++g_misfits;
    std::printf("%-28s %4dx%-4d at %4d,%-4d on %dx%d  %s\n", qPrintable(name), frame.width(), frame.height(), frame.x(),
                frame.y(), area.width(), area.height(), fits ? "fits" : "DOES NOT FIT");
    w->screen()->grabWindow(0).save(g_out + QStringLiteral("/") + name + QStringLiteral(".png"));
}

template <class D, class... A>
void ShowDialog(const QString& name, const std::function<void(D&)>& prepare, A&&... args) {
    D d(std::forward<A>(args)...);
    try {
        if (prepare) prepare(d);
    } catch (const std::exception& e) {
        std::printf("%s: %s\n", qPrintable(name), e.what());
        return;
    }
    d.show();
    Shoot(&d, name);
    d.hide();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: ui_screen_tour OUT cs|en\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    const int language = QByteArray(argv[2]) == "cs" ? 0 : 1;
    FollowDesktopColourScheme();
    SetLanguage(language);

    // A table of two inputs over two days, named in the configuration.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const std::string table = QDir(work.path()).filePath(QStringLiteral("00012345.dbf")).toStdString();
    {
        AppContext maker;
        LoggerImage im;
        im.SerialNumber = 12345;
        im.Parameters.ArchiveFlags = 3;
        im.Parameters.Input[0].SetName("Teplota");
        im.Parameters.Input[0].SetUnit("°C");
        im.Parameters.Input[1].SetName("Vlhkost");
        im.Parameters.Input[1].SetUnit("% rv");
        maker.Adm.CreateArchive(table, BuildParameterRecord(im, CurrentLanguage()));
        Table& t = maker.Adm.Table1;
        const double start = *TryEncodeDateTime(2026, 12, 8, 0, 0, 0, 0);
        for (int i = 0; i < 576; ++i) {
            t.Append();
            t.SetDateTime(0, start + i * 5.0 / 1440);
            t.SetFloat(1, 20 + 3 * std::sin(i / 40.0));
            t.SetFloat(2, 55 + 10 * std::cos(i / 70.0));
            t.Post();
        }
        maker.Adm.CloseArchive();
    }
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ConfigRecord c;
    c.Language = language;
    c.ComPort = "SIM";
    c.TIdle = 20;
    c.TSlot = 100;
    c.MeasuringOn = 1;
    c.WindowTop = 10;
    c.WindowLeft = 10;
    c.WindowHeight = area.height() - 20;
    c.WindowWidth = area.width() - 20;
    c.LastArchivePath = table;
    c.ChartPeriod.Kind = pkAll;
    c.NameSource = 0;
    c.SplitFlags = 1;
    const auto bytes = c.Encode();
    QFile cfg(QStringLiteral("kolvex12.cfg"));
    cfg.open(QIODevice::WriteOnly);
    cfg.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    cfg.close();

    // The port name "SIM" is the simulated logger inside this program.
    AppContext ctx(std::make_shared<kolvex::sim::BuiltinSimulator>());
    TFMain w(ctx);
    w.show();
    Settle(6000);  // the first paint opens the table, the live display reads
    Shoot(&w, QStringLiteral("main"));
    // The viewer with its table and chart side by side.
    if (auto* tabs = w.findChild<QTabBar*>(QStringLiteral("Data_TC_Tabs"))) tabs->setCurrentIndex(2);
    Settle(1500);
    Shoot(&w, QStringLiteral("viewer"));

    // The questions before deleting are shown, pictured and answered No.
    int questions = 0;
    SetModalHook([&questions](QDialog& d) {
        if (auto* box = qobject_cast<QMessageBox*>(&d)) {
            box->show();
            Shoot(box, QStringLiteral("question-%1").arg(++questions));
            box->hide();
            return static_cast<int>(QMessageBox::No);
        }
        return static_cast<int>(QDialog::Rejected);
    });

    ShowDialog<TFSetPC>(QStringLiteral("TFSetPC"), {}, ctx, &w);
    ShowDialog<TFSetCas>(QStringLiteral("TFSetCas"), [](TFSetCas& d) { d.OpenSequence(); }, ctx, &w);
    ShowDialog<TFZVerze>(QStringLiteral("TFZVerze"), [](TFZVerze& d) { d.OpenSequence(); }, ctx, &w);
    ShowDialog<TFZDiag>(QStringLiteral("TFZDiag"), [](TFZDiag& d) { d.OpenSequence(); }, ctx, &w);
    ShowDialog<TFAErase>(QStringLiteral("TFAErase"), [](TFAErase& d) { d.OpenSequence(); }, ctx, &w);
    ShowDialog<TFAParamC>(QStringLiteral("TFAParamC"), {}, ctx.Config, &w);
    ShowDialog<TFAbout02>(QStringLiteral("TFAbout02"), {}, &w);
    ShowDialog<TFANastGraf>(QStringLiteral("TFANastGraf"), {}, ctx, &w);
    ShowDialog<TFANastTisk>(QStringLiteral("TFANastTisk"), {}, ctx, &w);
    ShowDialog<TFAToExcel>(QStringLiteral("TFAToExcel"), {}, ctx, &w);
    ShowDialog<TFADbfConvert>(QStringLiteral("TFADbfConvert"), {}, ctx.Adm, &w);
    {
        TFAParama d(ctx, &w);
        d.OpenSequence();
        d.show();
        Shoot(&d, QStringLiteral("TFAParama"));
        for (int tab : {1, 2}) {
            d.findChild<QTabWidget*>()->setCurrentIndex(tab);
            Shoot(&d, QStringLiteral("TFAParama-input%1").arg(tab));
        }
        if (auto* s = d.findChild<TSpinFEdit*>(QStringLiteral("Vst1TAlarmHi_SFE"))) s->SetValue(90.0f);
        d.findChild<QPushButton*>(QStringLiteral("SetUp_BB"))->click();
        Settle(300);
    }
    for (const PeriodKind kind : {pkAll, pkDay}) {
        ctx.Config.ErasePeriod.Kind = kind;
        ctx.Config.ErasePeriod.Year = 2026;
        ctx.Config.ErasePeriod.MonthIndex = 11;
        ctx.Config.ErasePeriod.Day = 9;
        TFADbfErase d(ctx, &w);
        d.show();
        Shoot(&d, QStringLiteral("TFADbfErase-%1").arg(kind == pkAll ? QStringLiteral("all") : QStringLiteral("day")));
        d.Odstranit_BBClick();
        Settle(200);
    }
    SetModalHook(nullptr);
    std::printf("windows that do not fit: %d\n", g_misfits);
    w.findChild<QToolButton*>(QStringLiteral("ZobrMereni_SB"))->click();
    w.close();
    return 0;
}
