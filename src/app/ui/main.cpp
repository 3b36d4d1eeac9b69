// kolvex12: the service program of the QUENDAL 730 data logger.

#include <QApplication>
#include <QLocale>

#include <memory>

#include "app/AppContext.h"
#include "app/Language.h"
#include "app/ui/Icons.h"
#include "app/ui/TFMain.h"
#include "app/ui/Termination.h"
#include "sim/BuiltinPort.h"

int main(int argc, char** argv) {
    // The port name "SIM" is the simulated logger inside this program.
    kolvex::sim::InstallBuiltinSimulator();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvex12"));
    QApplication::setOrganizationName(QStringLiteral("Marvenik"));

    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) kolvex::SetDecimalSeparator(point.at(0).toLatin1());
    kolvex::ui::InitIconTheme();
    kolvex::ui::InstallTermination(app);

    // The port object, the logger data and the configuration record live for
    // the whole run; the port handle starts invalid.
    auto ctx = std::make_unique<kolvex::AppContext>();
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
    kolvex::sim::StopBuiltinSimulator();
    return rc;
}
