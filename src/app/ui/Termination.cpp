// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/Termination.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>

#include "base/ui/OffThread.h"

#include <pthread.h>

#include <sys/socket.h>
#include <unistd.h>

namespace kolvex::ui {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_requested = 0;
QPointer<QWidget> g_target;
bool (*g_busy)(QWidget*) = nullptr;

void OnSignal(int sig) {
    if (g_requested) {
        // The second request: no more waiting.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_requested = 1;
    const char c = 1;
    (void)!::write(g_pipe[1], &c, 1);
}

// One step of the shutdown, repeated until the main window is closed: every
// visible dialog is dismissed (a progress window's reject is its Abort), and
// when none is left and no command is unwinding, the main window closes.
void Step(QTimer* timer) {
    // Port work waiting on the line at the signal gives up; what follows (a
    // download storing its records and moving the bookmark) may talk on.
    static bool workAborted = false;
    if (!workAborted) {
        workAborted = true;
        AbortRunningWork();
    }
    bool dialogs = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog->isVisible()) {
            dialogs = true;
            dialog->reject();
        }
    }
    if (dialogs || !g_target) return;
    if (g_busy && g_busy(g_target)) return;
    timer->stop();
    g_target->close();
    QApplication::quit();
}

}  // namespace

void InstallTermination(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, &app);
    auto* timer = new QTimer(&app);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, &app, [timer] { Step(timer); });
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, timer] {
        char c;
        (void)!::read(g_pipe[0], &c, 1);
        notifier->setEnabled(false);
        timer->start();
        Step(timer);
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    // A request that came while starting (the signals blocked by whoever
    // started us) is taken now.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void SetTerminationTarget(QWidget* mainWindow, bool (*busy)(QWidget*)) {
    g_target = mainWindow;
    g_busy = busy;
}

bool TerminationRequested() { return g_requested != 0; }

}  // namespace kolvex::ui
