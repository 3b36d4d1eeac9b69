// SPDX-License-Identifier: GPL-3.0-or-later
// The named logger operations against the simulator: frames per operation,
// block splitting by logger type, float layout on type 4, partial results.

#include <gtest/gtest.h>

#include <cstring>

#include "link/SimFixture.h"
#include "base/Errors.h"
#include "link/Frames.h"

using namespace kolvex;

namespace {

class Ops : public kolvex::test::SimPort {
protected:
    // (command, address, count) of every request the simulator received.
    struct Req {
        int cmd;
        std::uint32_t addr;
        int count;
    };
    std::vector<Req> Requests() {
        std::vector<Req> out;
        for (const auto& f : sim_->ReceivedFrames()) {
            const int a = AddressLength(f[3]);
            std::uint32_t addr = 0;
            for (int i = 0; i < a; ++i) addr |= static_cast<std::uint32_t>(f[4 + i]) << (8 * i);
            int count = a > 0 ? f[4 + a] : static_cast<int>(f[1]) - 4;
            out.push_back({f[3], addr, count});
        }
        return out;
    }
};

sim::SimOptions Type(int t) {
    sim::SimOptions o;
    o.LoggerType = t;
    return o;
}

}  // namespace

TEST_F(Ops, ReadsSplitIntoBlocksByLoggerType) {
    Open(Type(1));
    ops_.ReadLoggerType();
    sim_->ClearReceivedFrames();
    ops_.ReadArchiveMemory(0x100);
    auto r = Requests();
    ASSERT_EQ(r.size(), 8u);
    for (std::size_t i = 0; i < r.size(); ++i) {
        EXPECT_EQ(r[i].cmd, 0x23);
        EXPECT_EQ(r[i].addr, 0x100 + 32 * i);
        EXPECT_EQ(r[i].count, 32);
    }

    sim_->ClearReceivedFrames();
    std::uint8_t buf[64];
    ReadLoggerMemory(port_, 1, 0x23, 0, buf, 33);  // one 32-byte frame and one 1-byte frame
    r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].addr, 32u);
    EXPECT_EQ(r[1].count, 1);

    sim_->ClearReceivedFrames();
    ReadLoggerMemory(port_, 1, 0x23, 0, buf, 0);  // nothing sent
    EXPECT_TRUE(sim_->ReceivedFrames().empty());

    sim_->ClearReceivedFrames();
    const IdentificationBlock id = ops_.ReadIdentification();
    r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].count, 32);
    EXPECT_EQ(r[1].addr, 32u);
    EXPECT_EQ(r[1].count, 6);
    EXPECT_EQ(id.VersionMajor, 1);
    EXPECT_EQ(id.SerialNumber, 84321u);
}

TEST_F(Ops, Type4UsesLargeBlocks) {
    Open(Type(4));
    ops_.ReadLoggerType();
    sim_->ClearReceivedFrames();
    ops_.ReadArchiveMemory(0x200);
    auto r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].count, 128);
    EXPECT_EQ(r[1].addr, 0x280u);

    sim_->ClearReceivedFrames();
    std::vector<std::uint8_t> buf(160);
    ReadLoggerMemory(port_, 4, 0x23, 0, buf.data(), 160);
    r = Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].addr, 128u);
    EXPECT_EQ(r[1].count, 32);
    // The archive bytes are the simulator's ring.
    const auto ring = sim_->ArchiveBytes();
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), ring.begin()));
}

TEST_F(Ops, ParameterBlockAndInputInfoOnType4AreIeee) {
    Open(Type(4));
    ops_.ReadLoggerType();
    sim_->ClearReceivedFrames();
    ops_.ReadParameterBlock();
    auto r = Requests();
    ASSERT_EQ(r.size(), 5u);  // five frames although only four carry the block
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r[i].cmd, 0x21);
        EXPECT_EQ(r[i].addr, 32u * i);
    }
    const auto pb = data_.Image.Parameters.Bytes();
    EXPECT_EQ(std::vector<std::uint8_t>(pb.begin(), pb.end()), sim_->ParameterBlockBytes());

    sim_->ClearReceivedFrames();
    ops_.ReadInputInfo();
    EXPECT_EQ(Requests().size(), 2u);
    const auto ii = data_.Image.InputInfo.Bytes();
    EXPECT_EQ(std::vector<std::uint8_t>(ii.begin(), ii.end()), sim_->InputInfoBytes());
    EXPECT_GT(data_.Image.InputInfo.CalibrationFactor[0], 0.0f);
}

TEST_F(Ops, InputInfoLengthByType) {
    Open(Type(2));
    ops_.ReadLoggerType();
    data_.Image.InputInfo.SensorLow[0] = 12.5f;  // bytes 32..47 must stay
    sim_->ClearReceivedFrames();
    ops_.ReadInputInfo();
    auto r = Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].count, 32);
    EXPECT_EQ(data_.Image.InputInfo.SensorLow[0], 12.5f);
    EXPECT_EQ(data_.Image.InputInfo.ArchiveSize, 32768u);
}

TEST_F(Ops, WriteParameterBlockPiecesAndTakesEffect) {
    Open(Type(4));
    ops_.ReadLoggerType();
    ops_.ReadParameterBlock();
    ParameterBlock edit = data_.Image.Parameters;
    edit.SetLogger("Sklad č. 2");
    edit.SetFile("SKLAD2");
    edit.Input[1].RangeHigh = 250.0f;
    edit.Input[1].SignalLow = -1.0f;
    edit.PeriodValue = ByteToBcd(15);
    edit.PeriodUnit = 3;
    sim_->ClearReceivedFrames();
    ops_.WriteArchiveControl(edit);
    ops_.WriteParameterBlock(edit);
    auto r = Requests();
    ASSERT_EQ(r.size(), 9u);
    EXPECT_EQ(r[0].cmd, 0x99);
    EXPECT_EQ(r[0].count, 3);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(r[1 + i].cmd, 0x9A);
        EXPECT_EQ(r[1 + i].addr, 16u * i);
        EXPECT_EQ(r[1 + i].count, 16);
    }
    EXPECT_EQ(r[8].addr, 112u);
    EXPECT_EQ(r[8].count, 12);
    auto expected = edit.Bytes();
    expected[0] = sim_->ParameterBlockBytes()[0];  // byte 0 is never written
    EXPECT_EQ(std::vector<std::uint8_t>(expected.begin(), expected.end()), sim_->ParameterBlockBytes());
    ops_.ReadParameterBlock();
    EXPECT_EQ(data_.Image.Parameters.Logger(), "Sklad č. 2");
    EXPECT_EQ(data_.Image.Parameters.Input[1].SignalLow, -1.0f);
}

TEST_F(Ops, FloatLayoutOnTheLine) {
    Open(Type(4));
    ops_.ReadLoggerType();
    ops_.ReadParameterBlock();
    ParameterBlock edit = data_.Image.Parameters;
    edit.Input[1].SignalLow = -1.0f;  // block offset 96 = logger address 92
    sim_->ClearReceivedFrames();
    ops_.WriteParameterBlock(edit);
    const auto frames = sim_->ReceivedFrames();
    // Piece 5 is logger address 80, block bytes 84..99: offset 96 is its last four bytes.
    const auto& piece = frames[5];
    ASSERT_EQ(piece[4], 80);
    // Data start at frame offset 6; -1.0 goes out in the logger layout 00 00 80 7F.
    EXPECT_EQ(piece[6 + 12], 0x00);
    EXPECT_EQ(piece[6 + 13], 0x00);
    EXPECT_EQ(piece[6 + 14], 0x80);
    EXPECT_EQ(piece[6 + 15], 0x7F);
}

TEST_F(Ops, DiagnosticsClearLengthByType) {
    Open(Type(3));
    ops_.ReadLoggerType();
    sim_->ClearReceivedFrames();
    ops_.ClearDiagnostics();
    auto r = Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].cmd, 0x89);
    EXPECT_EQ(r[0].addr, 9u);
    EXPECT_EQ(r[0].count, 3);
    TearDown();

    Open(Type(4));
    ops_.ReadLoggerType();
    sim_->SetDiagnosticBytes({0x11, 0x33, 0x22, 33, 31});
    DiagnosticState d = ops_.ReadDiagnostics();
    EXPECT_EQ(d.Alarm2Flags, 0x22);
    EXPECT_EQ(d.BatteryVoltageNow, 33);
    sim_->ClearReceivedFrames();
    ops_.ClearDiagnostics();
    const auto frames = sim_->ReceivedFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][5], 17);
    const std::vector<std::uint8_t> data(frames[0].begin() + 6, frames[0].begin() + 6 + 17);
    std::vector<std::uint8_t> want(17, 0xFF);
    want[0] = want[1] = want[2] = 0;
    EXPECT_EQ(data, want);
    d = ops_.ReadDiagnostics();
    EXPECT_EQ(d.Alarm1Flags, 0);
    EXPECT_EQ(d.BatteryVoltageHistory, 0xFF);
}

TEST_F(Ops, PointersAndEmptying) {
    Open(Type(4));
    ops_.ReadLoggerType();
    ArchivePointers p = ops_.ReadArchivePointers(9);
    EXPECT_EQ(p.ArchiveRead, sim_->ArchiveRead());
    EXPECT_EQ(p.ArchiveWrite, sim_->ArchiveWrite());
    EXPECT_NE(p.ArchiveRead, p.ArchiveWrite) << "the simulator starts with archived samples";
    ops_.EmptyArchive();
    EXPECT_EQ(sim_->ArchiveRead(), p.ArchiveWrite);
    ops_.WriteArchiveReadPointer(0x1234);
    EXPECT_EQ(sim_->ArchiveRead(), 0x1234);
}

TEST_F(Ops, ClockCurrentValuesAndAddress) {
    Open(Type(4));
    LoggerClock c;
    c.Seconds = 59;
    c.Minutes = 59;
    c.Hours = 23;
    c.DayOfWeek = 4;
    c.Day = 31;
    c.Month = 12;
    c.Year = 99;
    ops_.WriteClock(c);
    const LoggerClock back = ops_.ReadClock();
    EXPECT_EQ(back.Year, 99);
    EXPECT_EQ(back.Month, 12);
    EXPECT_EQ(back.Day, 31);
    EXPECT_EQ(back.Hours, 23);
    const auto frames = sim_->ReceivedFrames();
    const std::vector<std::uint8_t> sent(frames[0].begin() + 4, frames[0].begin() + 12);
    EXPECT_EQ(sent, (std::vector<std::uint8_t>{0x3B, 0x3B, 0x17, 0x04, 0x1F, 0x0C, 0x63, 0x00}));

    const auto v = ops_.ReadCurrentValues();
    EXPECT_LE(v[0], 64255);
    EXPECT_LE(v[1], 64255);

    ops_.WriteLoggerAddress(255);
    EXPECT_EQ(sim_->BusAddress(), 255);
}

TEST_F(Ops, ReadFailureKeepsThePiecesRead) {
    Open(Type(1));
    ops_.ReadLoggerType();
    ops_.ReadParameterBlock();
    const ParameterBlock fresh = data_.Image.Parameters;
    // Make the copy differ everywhere, then fail the third frame (all three attempts).
    ParameterBlock old;
    std::array<std::uint8_t, 128> junk;
    junk.fill(0xAA);
    old = ParameterBlock::Decode(junk.data());
    data_.Image.Parameters = old;
    sim_->ClearReceivedFrames();
    sim::FaultRule r;
    r.Kind = sim::FaultKind::NoReply;
    r.Frames = {3, 4, 5};
    sim_->SetFault(r);
    EXPECT_THROW(ops_.ReadParameterBlock(), EComm);
    const auto now = data_.Image.Parameters.Bytes();
    const auto want = fresh.Bytes();
    EXPECT_TRUE(std::equal(now.begin(), now.begin() + 64, want.begin()));
    EXPECT_TRUE(std::all_of(now.begin() + 64, now.end(), [](std::uint8_t b) { return b == 0xAA; }));
}

TEST_F(Ops, FailedTypeReadKeepsTheType) {
    Open(Type(4));
    ops_.ReadLoggerType();
    sim::FaultRule r;
    r.Kind = sim::FaultKind::BadFcs;
    r.Every = 1;
    sim_->SetFault(r);
    sim_->ClearReceivedFrames();
    try {
        ops_.ReadLoggerType();
        FAIL();
    } catch (const EComm& e) {
        // A wrong check sum in every attempt has its own text.
        EXPECT_STREQ(e.what(), "Chyba komunikace (FCS)");
    }
    EXPECT_EQ(sim_->ReceivedFrames().size(), 3u);
    EXPECT_EQ(data_.Image.LoggerType, 0x0704) << "the type keeps the value of the last good read";
}

TEST_F(Ops, WriteFailureIsReportedAsNotSet) {
    Open(Type(4), 10, 30);
    sim::FaultRule r;
    r.Kind = sim::FaultKind::NoReply;
    r.Every = 1;
    sim_->SetFault(r);
    try {
        ops_.WriteArchiveReadPointer(0);
        FAIL();
    } catch (const ENet& e) {
        EXPECT_STREQ(e.what(), "Error: Parameters was not set-up");
    }
    SetLanguage(0);
    try {
        ops_.ClearDiagnostics();
        FAIL();
    } catch (const ENet& e) {
        EXPECT_STREQ(e.what(), "Parametry se nepodařilo nastavit");
    }
}
