// SPDX-License-Identifier: GPL-3.0-or-later
// The logger clock dialog against the simulated logger, and against a
// minimal fake logger for clock bytes that the simulator never reports.

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "LoggerDialogsFixture.h"
#include "base/Errors.h"
#include "base/DateTime.h"
#include "logger/ui/TFSetCas.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::Answer;
using kolvex::ui::TFSetCas;

namespace {

// A pseudo-terminal logger that answers the clock read with fixed bytes and
// acknowledges every write; it keeps the request frames it received.
class FakeClockLogger {
public:
    explicit FakeClockLogger(Bytes clock) : clock_(std::move(clock)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        path_ = ptsname(master_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeClockLogger() {
        stop_ = true;
        thread_.join();
        close(master_);
    }
    const std::string& Path() const { return path_; }
    std::vector<Bytes> Frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }

private:
    void Serve() {
        Bytes buf;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
            std::uint8_t chunk[256];
            const ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0) continue;
            buf.insert(buf.end(), chunk, chunk + n);
            for (;;) {
                while (!buf.empty() && buf[0] != 0x5A) buf.erase(buf.begin());
                if (buf.size() < 2 || buf.size() < std::size_t(buf[1]) + 1) break;
                const Bytes frame(buf.begin(), buf.begin() + buf[1] + 1);
                buf.erase(buf.begin(), buf.begin() + buf[1] + 1);
                {
                    std::lock_guard lock(mutex_);
                    frames_.push_back(frame);
                }
                Bytes reply;
                if (frame[3] == 0x08) {
                    reply = {0x5A, static_cast<std::uint8_t>(clock_.size() + 3), frame[2]};
                    reply.insert(reply.end(), clock_.begin(), clock_.end());
                    reply.push_back(FrameChecksum(reply.data(), 0, reply.size()));
                } else {
                    reply = {0x06};
                }
                (void)!write(master_, reply.data(), reply.size());
            }
        }
    }

    Bytes clock_;
    int master_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Bytes> frames_;
};

void Pick(TFSetCas& dlg, QDate date, QTime time) {
    dlg.findChild<QDateEdit*>("DTPDate")->setDate(date);
    dlg.findChild<QTimeEdit*>("DTPTime")->setTime(time);
}

std::vector<WriteRequest> ClockWrites(const std::vector<WriteRequest>& all) {
    std::vector<WriteRequest> out;
    for (const auto& w : all)
        if (w.Command == 0x88) out.push_back(w);
    return out;
}

}  // namespace

class ClockDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(1); }

    void OpensWithTheLoggerClock() {
        SimLogger logger(sim::SimOptions{});
        logger.ctx.Config.SetClockFromPC = 1;
        TFSetCas dlg(logger.ctx);
        dlg.OpenSequence();
        const QDateTime shown(dlg.findChild<QDateEdit*>("DTPDate")->date(),
                              dlg.findChild<QTimeEdit*>("DTPTime")->time());
        const QDateTime logged = QDateTime::fromString(QString::fromStdString(logger.Sim().ClockText()),
                                                       QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(qAbs(shown.secsTo(logged)) <= 2, qPrintable(shown.toString() + " / " + logged.toString()));
        QVERIFY(dlg.findChild<QCheckBox*>("dlePC_ChB")->isChecked());
        // The bus address controls are hidden.
        QVERIFY(dlg.findChild<QGroupBox*>("KomQUEND_GB")->isHidden());
        QVERIFY(dlg.findChild<QSpinBox*>("EAdrQUEND")->isHidden());
        QCOMPARE(dlg.findChild<QSpinBox*>("EAdrQUEND")->value(), 255);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("QUENDAL  time set-up"));
        QCOMPARE(dlg.findChild<QPushButton*>("Close_BB")->text(), QStringLiteral("&Cloae"));
    }

    void PickedDateIsWritten_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("type 2") << 2;
        QTest::newRow("type 4") << 4;
    }

    void PickedDateIsWritten() {
        QFETCH(int, type);
        sim::SimOptions o;
        o.LoggerType = type;
        SimLogger logger(o);
        logger.ctx.Ops.ReadLoggerType();
        TFSetCas dlg(logger.ctx);
        dlg.OpenSequence();
        logger.ClearFrames();
        Pick(dlg, QDate(2099, 12, 31), QTime(23, 59, 59));
        dlg.SetUp_BBClick();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const auto writes = logger.Writes();
        QCOMPARE(int(writes.size()), 2);
        QCOMPARE(writes[0].Command, std::uint8_t{0x88});
        QCOMPARE(Hex(writes[0].Data), QStringLiteral("3B 3B 17 04 1F 0C 63 00"));
        // The address write follows every store.
        QCOMPARE(writes[1].Command, std::uint8_t{0x81});
        QCOMPARE(Hex(writes[1].Data), QStringLiteral("FF"));
        QCOMPARE(logger.ctx.Config.BusAddress, std::uint8_t{255});
        QCOMPARE(logger.ctx.Config.SetClockFromPC, std::uint8_t{0});
        QVERIFY(logger.Sim().ClockText().rfind("2099-12-31 23:59:59", 0) == 0 ||
                logger.Sim().ClockText().rfind("2100-01-01 00:00:0", 0) == 0);

        // A Sunday carries day of the week 0, a Saturday 6.
        for (auto [date, dow] : {std::pair{QDate(2024, 6, 2), 0}, std::pair{QDate(2024, 6, 8), 6}}) {
            TFSetCas d(logger.ctx);
            d.OpenSequence();
            logger.ClearFrames();
            Pick(d, date, QTime(12, 0, 0));
            d.SetUp_BBClick();
            const auto w = ClockWrites(logger.Writes());
            QCOMPARE(int(w.size()), 1);
            QCOMPARE(int(w[0].Data[3]), dow);
            QCOMPARE(int(w[0].Data[6]), 24);
        }
    }

    void UntouchedPickersWriteOnlyTheAddress() {
        SimLogger logger(sim::SimOptions{});
        TFSetCas dlg(logger.ctx);
        dlg.OpenSequence();
        logger.ClearFrames();
        dlg.findChild<QSpinBox*>("EAdrQUEND")->setValue(7);
        dlg.findChild<QPushButton*>("SetUp_BB")->click();
        const auto writes = logger.Writes();
        QCOMPARE(int(writes.size()), 1);
        QCOMPARE(writes[0].Command, std::uint8_t{0x81});
        QCOMPARE(Hex(writes[0].Data), QStringLiteral("07"));
        QCOMPARE(logger.ctx.Port.LoggerAddress, std::uint8_t{7});
        QCOMPARE(logger.ctx.Config.BusAddress, std::uint8_t{7});
        QCOMPARE(logger.Sim().BusAddress(), std::uint8_t{7});
    }

    void AccordingToPcAndTheYearCheck() {
        SimLogger logger(sim::SimOptions{});
        TFSetCas dlg(logger.ctx);
        dlg.OpenSequence();
        logger.ClearFrames();
        dlg.Now = [] { return *TryEncodeDateTime(2031, 3, 9, 8, 7, 6, 900); };  // a Sunday
        dlg.findChild<QCheckBox*>("dlePC_ChB")->setChecked(true);
        dlg.SetUp_BBClick();
        auto w = ClockWrites(logger.Writes());
        QCOMPARE(int(w.size()), 1);
        QCOMPARE(Hex(w[0].Data), QStringLiteral("06 07 08 00 09 03 1F 00"));
        QCOMPARE(logger.ctx.Config.SetClockFromPC, std::uint8_t{1});
        // The choice is offered again next time.
        TFSetCas again(logger.ctx);
        again.OpenSequence();
        QVERIFY(again.findChild<QCheckBox*>("dlePC_ChB")->isChecked());

        // A PC clock outside 2000..2099 and a picked year 1999: the message,
        // nothing written, the dialog stays open.
        QStringList errors;
        again.Hooks.Error = [&](const std::exception& e) {
            QVERIFY(dynamic_cast<const ESetCas*>(&e) != nullptr);
            errors << QString::fromUtf8(e.what());
        };
        again.Now = [] { return *TryEncodeDateTime(2100, 1, 1, 0, 0, 0); };
        logger.ClearFrames();
        again.show();
        again.SetUp_BBClick();
        again.findChild<QCheckBox*>("dlePC_ChB")->setChecked(false);
        Pick(again, QDate(1999, 12, 31), QTime(10, 0, 0));
        SetLanguage(0);
        again.SetUp_BBClick();
        QCOMPARE(errors, (QStringList{QStringLiteral("Fault year (2000 - 2099)"),
                                      QStringLiteral("Chybný údaj rok (2000 - 2099)")}));
        QVERIFY(logger.Writes().empty());
        QVERIFY(again.isVisible());
        QCOMPARE(logger.ctx.Config.SetClockFromPC, std::uint8_t{1});
    }

    void FailuresKeepTheDialogOpen() {
        SimLogger logger(sim::SimOptions{});
        {
            TFSetCas dlg(logger.ctx);
            Silence(logger.Sim());
            QVERIFY(Throws<EComm>([&] { dlg.OpenSequence(); }));
            logger.Sim().ClearFault();
        }
        TFSetCas dlg(logger.ctx);
        dlg.OpenSequence();
        QStringList errors;
        dlg.Hooks.Error = [&](const std::exception& e) { errors << QString::fromUtf8(e.what()); };
        Pick(dlg, QDate(2030, 1, 1), QTime(1, 2, 3));
        logger.ctx.Config.BusAddress = 9;
        Silence(logger.Sim());
        dlg.show();
        dlg.SetUp_BBClick();
        QCOMPARE(errors.size(), 1);
        QVERIFY(dlg.isVisible());
        // Nothing of the store's record updates happened.
        QCOMPARE(logger.ctx.Config.BusAddress, std::uint8_t{9});
    }

    void InvalidLoggerBytesOpenAtTheFallbackDate() {
        // Month 13.
        FakeClockLogger fake({0x00, 0x00, 0x00, 0x00, 0x01, 0x0D, 0x18, 0x00});
        AppContext ctx;
        OpenPortDirect(ctx.Port, fake.Path(), 20, 100);
        TFSetCas dlg(ctx);
        dlg.OpenSequence();
        QCOMPARE(dlg.findChild<QDateEdit*>("DTPDate")->date(), QDate(2001, 1, 1));
        QCOMPARE(dlg.findChild<QTimeEdit*>("DTPTime")->time(), QTime(0, 0, 0));
        QCOMPARE(dlg.RememberedTime(), *TryEncodeDateTime(2001, 1, 1, 0, 0, 0));
        // The bytes as the logger holds them, with a warning.
        auto* warning = dlg.findChild<QLabel*>("CasChyba_L");
        QVERIFY(!warning->isHidden());
        QVERIFY2(warning->text().contains(QStringLiteral("2024-13-01 00:00:00")), qPrintable(warning->text()));
        // Storing that unchanged offers the PC's clock; after No only the
        // address is written.
        QStringList asked;
        dlg.Hooks.Ask = [&](const QString& q, Answer) {
            asked << q;
            return false;
        };
        dlg.SetUp_BBClick();
        QCOMPARE(asked.size(), 1);
        auto frames = fake.Frames();
        QCOMPARE(int(frames.size()), 2);
        QCOMPARE(frames[0][3], std::uint8_t{0x08});
        QCOMPARE(frames[1][3], std::uint8_t{0x81});
        // After Yes the PC's clock is written.
        TFSetCas yes(ctx);
        yes.OpenSequence();
        yes.Now = [] { return *TryEncodeDateTime(2031, 3, 9, 8, 7, 6, 900); };
        yes.Hooks.Ask = [](const QString&, Answer) { return true; };
        yes.SetUp_BBClick();
        frames = fake.Frames();
        QCOMPARE(int(frames.size()), 5);
        QCOMPARE(frames[3][3], std::uint8_t{0x88});
        QCOMPARE(Hex(Bytes(frames[3].begin() + 4, frames[3].begin() + 12)), QStringLiteral("06 07 08 00 09 03 1F 00"));
        ctx.Port.Close();
    }
};

QTEST_MAIN(ClockDialogTest)
#include "ClockDialogTest.moc"
