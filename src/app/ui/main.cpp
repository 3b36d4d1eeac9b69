// kolvex12: the service program of the QUENDAL 730 data logger.

#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>

#include <csignal>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

#include "app/AppContext.h"
#include "app/Language.h"
#include "app/ui/Icons.h"
#include "app/ui/TFMain.h"
#include "sim/BuiltinPort.h"

namespace {

// A termination request (SIGTERM at logout, Ctrl+C in a terminal) closes the
// main window like the user would, so the shutdown stores the configuration.
int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}

void CloseOnTerminate(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        char c;
        (void)!::read(g_signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        QApplication::closeAllWindows();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // The port name "SIM" is the simulated logger inside this program.
    kolvex::sim::InstallBuiltinSimulator();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvex12"));
    QApplication::setOrganizationName(QStringLiteral("Marvenik"));

    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) kolvex::SetDecimalSeparator(point.at(0).toLatin1());
    kolvex::ui::InitIconTheme();
    CloseOnTerminate(app);

    // The port object, the logger data and the configuration record live for
    // the whole run; the port handle starts invalid.
    auto ctx = std::make_unique<kolvex::AppContext>();
    kolvex::ui::TFMain window(*ctx);
    window.show();
    const int rc = app.exec();
    ctx->Port.Close();
    kolvex::sim::StopBuiltinSimulator();
    return rc;
}
