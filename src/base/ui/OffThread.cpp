// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ui/OffThread.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "base/ui/DialogKit.h"

namespace kolvex::ui {

namespace {

// The abort calls of the runs that wait now (the window's thread only).
std::vector<const std::function<void()>*> g_running;

// Shown when a piece of work takes longer than a moment.
class WaitWindow : public QDialog {
public:
    explicit WaitWindow(const std::function<void()>& abort)
        : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
          abort_(abort) {
        setObjectName(QStringLiteral("TFPortWait"));
        setWindowTitle(QStringLiteral("kolvex12"));
        auto* label = new QLabel(Tx("Čekání na záznamník…", "Waiting for the logger…"), this);
        label->setObjectName(QStringLiteral("Wait_L"));
        auto* abortBB = MakeButton(this, "Abort_BB", QStyle::SP_DialogCancelButton);
        abortBB->setText(Tx("&Zrušit", "&Abort"));
        connect(abortBB, &QPushButton::clicked, this, [this] { reject(); });
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(abortBB);
        buttons->addStretch(1);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        layout->addLayout(buttons);
        setMinimumWidth(260);
        adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    // Abort, Escape and a termination signal; the window stays until the
    // work has given up.
    void reject() override { abort_(); }

protected:
    void closeEvent(QCloseEvent* e) override {
        if (e->spontaneous()) {
            abort_();
            e->ignore();
            return;
        }
        e->accept();
    }

private:
    const std::function<void()>& abort_;
};

}  // namespace

void RunOffThread(const std::function<void()>& work, const std::function<void()>& abort) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }
    struct State {
        std::atomic<bool> Done{false};
        std::exception_ptr Error;
        QEventLoop* Loop = nullptr;  // the window's thread only
    };
    auto st = std::make_shared<State>();
    QEventLoop loop;
    st->Loop = &loop;
    std::thread worker([st, &work] {
        try {
            work();
        } catch (...) {
            st->Error = std::current_exception();
        }
        st->Done = true;
        if (QCoreApplication* a = QCoreApplication::instance())
            QMetaObject::invokeMethod(a, [st] { if (st->Loop) st->Loop->quit(); }, Qt::QueuedConnection);
    });

    g_running.push_back(&abort);
    std::unique_ptr<WaitWindow> window;
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] {
        if (st->Done || !qobject_cast<QGuiApplication*>(app)) return;
        window = std::make_unique<WaitWindow>(abort);
        window->show();
    });
    later.start(300);
    if (!st->Done) loop.exec();
    // The loop also ends when the application quits: the work gives up then.
    if (!st->Done) abort();
    worker.join();
    st->Loop = nullptr;
    g_running.erase(std::find(g_running.begin(), g_running.end(), &abort));
    window.reset();
    if (st->Error) std::rethrow_exception(st->Error);
}

void AbortRunningWork() {
    const auto running = g_running;
    for (const auto* abort : running) (*abort)();
}

bool WorkRunning() { return !g_running.empty(); }

}  // namespace kolvex::ui
