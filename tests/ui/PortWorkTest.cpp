// SPDX-License-Identifier: GPL-3.0-or-later
// Port work off the window's thread: while the port connects to a server that
// never answers, or waits for a logger that never answers, the event loop
// keeps running (no stall above 100 ms), the waiting window appears, and
// Abort ends the work within half a second.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/ui/OffThread.h"
#include "link/CommSettings.h"
#include "link/SerCom.h"
#include "logger/LoggerOps.h"
#include "sim/Simulator.h"
#include "StallMeter.h"

using namespace kolvex;
using namespace kolvex::ui;

namespace {

// The desktop program's runner (TFMain installs the same).
void InstallRunner(TSerCom& port) {
    port.SetWorkRunner([&port](const std::function<void()>& work) {
        RunOffThread(work, [&port] { port.RequestAbort(); });
    });
}

bool WaitWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("TFPortWait") && w->isVisible()) return true;
    return false;
}

}  // namespace

class PortWorkTest : public QObject {
    Q_OBJECT

    // Runs `work` (which must fail), aborts it after `abortAfterMs`; checks
    // the stalls, the waiting window and how soon the abort took.
    void AbortedInTime(const std::function<void()>& work, int abortAfterMs) {
        StallMeter meter;
        QElapsedTimer clock;
        qint64 abortedAt = -1;
        bool shown = false;
        QTimer::singleShot(abortAfterMs, [&] {
            shown = WaitWindowShown();
            if (const QString shots = qEnvironmentVariable("KOLVEX_SHOT_DIR"); !shots.isEmpty())
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->objectName() == QLatin1String("TFPortWait"))
                        w->grab().save(QStringLiteral("%1/portwait-%2.png").arg(shots, CurrentLanguage() == Lang::English ? "en" : "cs"));
            abortedAt = clock.elapsed();
            AbortRunningWork();
        });
        clock.start();
        meter.Start();
        QString error;
        try {
            work();
        } catch (const EComm& e) {
            error = QString::fromStdString(e.what());
        }
        const qint64 ended = clock.elapsed();
        const qint64 stall = meter.Stop();
        QCOMPARE(error, QString::fromStdString(PortWorkAbortedText()));
        QVERIFY2(abortedAt >= 0, "the abort timer never ran");
        QVERIFY2(ended - abortedAt <= 500, qPrintable(QString::number(ended - abortedAt) + " ms after Abort"));
        QVERIFY(shown);
        QVERIFY(!WaitWindowShown());
        QVERIFY2(stall <= 100, qPrintable(QString::number(stall) + " ms stall"));
        QVERIFY(!WorkRunning());
    }

private slots:
    void initTestCase() { SetLanguage(1); }

    void connectingToASilentServer() {
        // Connections are taken by the system's backlog; nothing ever answers.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        QCOMPARE(::listen(listener, 4), 0);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        const std::string url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
        TSerCom port;
        InstallRunner(port);
        AbortedInTime([&] { OpenPortDirect(port, url, 20, 300); }, 1000);
        SetLanguage(0);  // the window's Czech caption
        AbortedInTime([&] { OpenPortDirect(port, url, 20, 300); }, 500);
        SetLanguage(1);
        QVERIFY(!port.IsOpen());
        QVERIFY(!port.Busy);
        ::close(listener);
    }

    void waitingForALoggerThatNeverAnswers() {
        sim::Simulator sim;
        const std::string path = sim.Start();
        TSerCom port;
        InstallRunner(port);
        OpenPortDirect(port, path, 20, 10000);
        sim::FaultRule silent;
        silent.Kind = sim::FaultKind::NoReply;
        silent.Every = 1;
        sim.SetFault(silent);
        LoggerData data;
        LoggerOps ops(port, data);
        AbortedInTime([&] { ops.ReadSerialNumber(); }, 700);
        // The next exchange starts afresh.
        sim.SetFault({});
        QCOMPARE(ops.ReadSerialNumber(), 84321u);
        port.Close();
    }
};

QTEST_MAIN(PortWorkTest)
#include "PortWorkTest.moc"
