// SPDX-License-Identifier: GPL-3.0-or-later
// The archive erase dialog against the simulated logger.

#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "LoggerDialogsFixture.h"
#include "base/Errors.h"
#include "base/ui/ModalRunner.h"
#include "logger/ui/TFAErase.h"

using namespace kolvex;
using namespace kolvex::test;
using kolvex::ui::Answer;
using kolvex::ui::TFAErase;

namespace {

sim::SimOptions TypeOptions(int type) {
    sim::SimOptions o;
    o.LoggerType = type;
    return o;
}

// A logger with 200 samples archived whose recording is then switched
// off, so the write pointer stays where it is during the test.
struct StoppedLogger : SimLogger {
    explicit StoppedLogger(int type = 4) : SimLogger(TypeOptions(type)) {
        ctx.Ops.ReadLoggerType();
        ParameterBlock off;
        off.PeriodValue = 0;
        off.PeriodUnit = 0;
        off.ArchiveFlags = 0x07;
        ctx.Ops.WriteArchiveControl(off);
        write = Sim().ArchiveWrite();
    }
    void SetRead(std::int32_t r) { ctx.Ops.WriteArchiveReadPointer(r & 0x7FFF); }
    std::int32_t write = 0;
};

QString Text(QWidget& w, const char* name) { return w.findChild<QLabel*>(QString::fromLatin1(name))->text(); }
int Bar(QWidget& w) { return w.findChild<QProgressBar*>("AFree_PB")->value(); }

}  // namespace

class LoggerDialogsEraseTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(1); }

    void FillAndPointers() {
        StoppedLogger logger;
        QVERIFY(logger.write > 0x100);

        // Half the memory apart.
        logger.SetRead(logger.write - 0x4000);
        {
            TFAErase dlg(logger.ctx);
            dlg.OpenSequence();
            QCOMPARE(Bar(dlg), 50);
            QCOMPARE(Text(dlg, "AFree_L"), QStringLiteral(" 50 %"));
            QCOMPARE(Text(dlg, "Ukazatel_L"),
                     QString::asprintf("%04X  /  %04X", (logger.write - 0x4000) & 0x7FFF, logger.write));
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Erase data from logger"));
        }
        // The read pointer past the write pointer: the difference wraps, 512 bytes = 1 %.
        logger.SetRead(logger.write + 0x8000 - 512);
        {
            TFAErase dlg(logger.ctx);
            dlg.OpenSequence();
            QCOMPARE(Bar(dlg), 1);
            QCOMPARE(Text(dlg, "AFree_L"), QStringLiteral("  1 %"));
        }
        // Equal pointers: 0 %.
        logger.SetRead(logger.write);
        {
            TFAErase dlg(logger.ctx);
            dlg.OpenSequence();
            QCOMPARE(Bar(dlg), 0);
            QCOMPARE(Text(dlg, "AFree_L"), QStringLiteral("  0 %"));
            QCOMPARE(Text(dlg, "Ukazatel_L"), QString::asprintf("%04X  /  %04X", logger.write, logger.write));
        }
        // The open sequence reads the 9-byte pointer record.
        const auto frames = logger.Sim().ReceivedFrames();
        const Bytes& last = frames.back();
        QCOMPARE(last[3], std::uint8_t{0x09});
        QCOMPARE(last[5], std::uint8_t{9});
    }

    void EmptyingMovesTheBookmark_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("type 2") << 2;
        QTest::newRow("type 4") << 4;
    }

    void EmptyingMovesTheBookmark() {
        QFETCH(int, type);
        StoppedLogger logger(type);
        logger.SetRead(logger.write - 0x1000);
        TFAErase dlg(logger.ctx);
        dlg.OpenSequence();
        logger.ClearFrames();
        bool reported = false;
        dlg.Hooks.Error = [&](const std::exception&) { reported = true; };
        dlg.Hooks.Ask = [](const QString&, Answer) { return true; };
        dlg.findChild<QPushButton*>("Erase_BB")->click();
        QVERIFY(!reported);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        // The pointer read for the question, then the write pointer written as the read pointer.
        const auto frames = logger.Sim().ReceivedFrames();
        QCOMPARE(int(frames.size()), 2);
        QCOMPARE(frames[0][3], std::uint8_t{0x09});
        QCOMPARE(frames[0][5], std::uint8_t{9});
        const auto writes = logger.Writes();
        QCOMPARE(int(writes.size()), 1);
        QCOMPARE(writes[0].Command, std::uint8_t{0x89});
        QCOMPARE(writes[0].Address, 0u);
        Bytes expected(4);
        PutI32(expected.data(), logger.write);
        QCOMPARE(Hex(writes[0].Data), Hex(expected));
        QCOMPARE(logger.Sim().ArchiveRead(), logger.Sim().ArchiveWrite());

        // Opening again shows equal pointers.
        TFAErase again(logger.ctx);
        again.OpenSequence();
        QCOMPARE(Text(again, "AFree_L"), QStringLiteral("  0 %"));
        QCOMPARE(Text(again, "Ukazatel_L"), QString::asprintf("%04X  /  %04X", logger.write, logger.write));
    }

    void FailuresOpeningAndEmptying() {
        StoppedLogger logger;
        logger.SetRead(logger.write - 0x1000);
        {
            TFAErase dlg(logger.ctx);
            Silence(logger.Sim());
            QVERIFY(Throws<EComm>([&] { dlg.OpenSequence(); }));
            logger.Sim().ClearFault();
        }
        // The pointer read succeeds, the write is not acknowledged: the write
        // error is shown and the dialog closes.
        TFAErase dlg(logger.ctx);
        dlg.OpenSequence();
        QStringList errors;
        dlg.Hooks.Error = [&](const std::exception& e) { errors << QString::fromUtf8(e.what()); };
        dlg.Hooks.Ask = [](const QString&, Answer) { return true; };
        sim::FaultRule r;
        r.Kind = sim::FaultKind::NoReply;
        r.Frames = {2, 3, 4, 5};
        logger.Sim().SetFault(r);
        dlg.show();
        dlg.Erase_BBClick();
        QCOMPARE(errors, QStringList{QStringLiteral("Error: Parameters was not set-up")});
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    // Enter on the question answers No: nothing is written and the dialog
    // stays; Yes then empties the archive.
    void EraseAsksFirstWithNoAsDefault_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<int>("unread");
        QTest::addColumn<QString>("says");
        QTest::newRow("English, 4096 bytes unread")
            << 1 << 0x1000 << QStringLiteral("The logger holds 4096 bytes of records that have not been read");
        QTest::newRow("Czech, 4096 bytes unread") << 0 << 0x1000 << QStringLiteral("V přístroji je 4096 bajtů záznamů");
        QTest::newRow("English, all read") << 1 << 0 << QStringLiteral("already been read");
    }

    void EraseAsksFirstWithNoAsDefault() {
        QFETCH(int, lang);
        QFETCH(int, unread);
        QFETCH(QString, says);
        StoppedLogger logger;
        logger.SetRead(logger.write - unread);
        SetLanguage(lang);
        TFAErase dlg(logger.ctx);
        dlg.OpenSequence();
        dlg.show();
        QStringList texts;
        bool yes = false;
        ui::SetModalHook([&](QDialog& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            if (!box) return int(QDialog::Rejected);
            texts << box->text();
            if (box->defaultButton() != box->button(QMessageBox::No)) texts << QStringLiteral("default is not No");
            return int(yes ? QMessageBox::Yes : box->standardButton(box->defaultButton()));
        });
        logger.ClearFrames();
        dlg.findChild<QPushButton*>("Erase_BB")->click();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].contains(says), qPrintable(texts[0]));
        QVERIFY(logger.Writes().empty());
        QVERIFY(dlg.isVisible());
        QVERIFY(logger.Sim().ArchiveRead() != logger.Sim().ArchiveWrite() || unread == 0);

        yes = true;
        dlg.findChild<QPushButton*>("Erase_BB")->click();
        ui::SetModalHook(nullptr);
        QCOMPARE(texts.size(), 2);
        QCOMPARE(int(logger.Writes().size()), 1);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(logger.Sim().ArchiveRead(), logger.Sim().ArchiveWrite());
    }
};

QTEST_MAIN(LoggerDialogsEraseTest)
#include "LoggerDialogsEraseTest.moc"
