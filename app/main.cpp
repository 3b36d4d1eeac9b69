// SPDX-License-Identifier: GPL-3.0-or-later
// kolvex12: the service program of the QUENDAL 730 data logger.

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ProgramVersion.h"

#include "base/AuditTrail.h"
#include "app/AppContext.h"
#include "app/WorkFolder.h"
#include "archive/TableLock.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/ErrorDisplay.h"
#include "base/ui/Icons.h"
#include "app/ui/Desktop.h"
#include "app/ui/TFMain.h"
#include "app/ui/Termination.h"
#include "app/BuiltinPort.h"

namespace {

// The application id: the name of the desktop entry, the metadata and the icon.
const char* const kAppId = "cz.kolvex.kolvex12";

const char* const kUsage =
    "usage: kolvex12 [--data-home] [toolkit options]\n"
    "       kolvex12 --help | --version\n"
    "  --data-home   work in the user's data folder $XDG_DATA_HOME/kolvex12\n"
    "                (~/.local/share/kolvex12), created when missing; without it\n"
    "                the program works in the current folder\n"
    "  --version     print the version and the licence\n"
    "  --help        this text\n"
    "toolkit options: -platform NAME, -style NAME, -stylesheet FILE, -reverse, ...\n";

// The toolkit's own options, written with one dash or two, a value after them
// or after "=". They are checked here, before the toolkit starts, so that a
// wrong argument is a usage error also where no display can be opened.
struct ToolkitOption {
    const char* name;
    bool takesValue;
};
const ToolkitOption kToolkitOptions[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"session", true},
    {"display", true}, {"geometry", true}, {"title", true}, {"style", true}, {"stylesheet", true},
    {"qmljsdebugger", true}, {"reverse", false}, {"widgetcount", false}, {"nograb", false},
    {"dograb", false},
};

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "kolvex12: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

// The program's own options; the toolkit's are left to it. Returns an exit
// status when the program is to end at once.
int ParseOptions(int argc, char** argv, bool& dataHome) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("kolvex12 " KOLVEX_VERSION "\n" KOLVEX_VERSION_NOTICE, stdout);
            return 0;
        }
        if (arg == "--data-home") {
            dataHome = true;
            continue;
        }
        const std::size_t dashes = arg.rfind("--", 0) == 0 ? 2 : arg.rfind('-', 0) == 0 ? 1 : 0;
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(dashes, eq == std::string::npos ? std::string::npos : eq - dashes);
        const ToolkitOption* option = nullptr;
        if (dashes > 0)
            for (const ToolkitOption& o : kToolkitOptions)
                if (name == o.name) option = &o;
        if (!option) return UsageError("unknown argument " + arg);
        if (option->takesValue && eq == std::string::npos) {
            if (i + 1 >= argc) return UsageError(arg + " needs a value");
            ++i;
        } else if (!option->takesValue && eq != std::string::npos) {
            return UsageError(arg.substr(0, eq) + " takes no value");
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    bool dataHome = false;
    if (const int rc = ParseOptions(argc, argv, dataHome); rc >= 0) return rc;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvex12"));
    QApplication::setOrganizationName(QStringLiteral("Marvenik"));
    QApplication::setApplicationVersion(QStringLiteral(KOLVEX_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
    // The toolkit takes the whole C locale from the environment; numbers in
    // files (dBASE numeric fields, parameter values) must keep the decimal
    // point whatever the user's locale. Shown numbers use the locale's own
    // separator through SetDecimalSeparator below.
    std::setlocale(LC_NUMERIC, "C");
    // What remains after the toolkit took its own options must be ours.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data-home") == 0) continue;
        return UsageError(std::string("unknown argument ") + argv[i]);
    }

    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) kolvex::SetDecimalSeparator(point.at(0).toLatin1());
    kolvex::ui::InitIconTheme();
    kolvex::ui::FollowDesktopColourScheme();
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kAppId)));
    kolvex::ui::InstallTermination(app);
    // A table that another run (the nightly download, a second window) is
    // writing: the user may wait for it and try again, or give up the command.
    kolvex::SetTableBusyHandler([](const std::string& path, const std::string& holder, double) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("kolvex12"),
                        QString::fromStdString(kolvex::TableBusyText(path, holder) +
                                               kolvex::Tr(".\nZkusit znovu?", ".\nTry again?")),
                        QMessageBox::Retry | QMessageBox::Cancel, QApplication::activeWindow());
        box.setDefaultButton(QMessageBox::Retry);
        return box.exec() == QMessageBox::Retry;
    });

    // "kolvex12.cfg" and the tables live in the working folder; a start from
    // the menu works in the user's data folder.
    if (dataHome) {
        try {
            kolvex::EnterFolder(kolvex::UserDataFolder());
        } catch (const kolvex::EKolvex& e) {
            kolvex::ui::ShowError(nullptr, e);
            return 1;
        }
    }

    // Every change to a logger or a table goes into the audit trail of the
    // data folder, beside kolvex12.cfg.
    kolvex::SetAuditProgram("kolvex12", KOLVEX_VERSION);
    kolvex::SetAuditFolder(".");

    // The port object, the logger data and the configuration record live for
    // the whole run; the port handle starts invalid.
    // The port name "SIM" is the simulated logger inside this program.
    auto builtin = std::make_shared<kolvex::sim::BuiltinSimulator>();
    auto ctx = std::make_unique<kolvex::AppContext>(builtin);
    kolvex::ui::TFMain window(*ctx);
    kolvex::ui::SetTerminationTarget(&window, [](QWidget* w) { return static_cast<kolvex::ui::TFMain*>(w)->Busy(); });
    int rc = 0;
    if (kolvex::ui::TerminationRequested()) {
        // Asked to end while starting (the first-start dialog, an error box).
        window.close();
    } else {
        window.show();
        rc = app.exec();
    }
    ctx->Port.Close();
    builtin->Stop();
    return rc;
}
