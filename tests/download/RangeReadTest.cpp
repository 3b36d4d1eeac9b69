// SPDX-License-Identifier: GPL-3.0-or-later
// Reading archive ranges from the simulated logger: every archived sample
// exactly once, in order, also across the ring's end, through dropped and
// corrupted replies, and across an aborted download.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "base/Errors.h"
#include "archive/ArchiveReader.h"
#include "link/CommSettings.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"
#include "base/DateTime.h"
#include "sim/Simulator.h"

using namespace kolvex;

namespace {

class RangeRead : public ::testing::Test {
protected:
    void Open(sim::SimOptions o) {
        sim_ = std::make_unique<sim::Simulator>(o);
        OpenPortDirect(port_, sim_->Start(), 1, 100);
        ops_.ReadLoggerType();
        ops_.ReadParameterBlock();
        ops_.ReadInputInfo();
    }
    void TearDown() override {
        port_.Close();
        if (sim_) sim_->Stop();
    }
    ArchiveReadResult Read(int mode, std::vector<ArchiveSample>& out, ArchiveReadCallbacks cb = {}) {
        const ArchivePointers p = ops_.ReadArchivePointers(9);
        const std::uint32_t size = data_.Image.InputInfo.ArchiveSize;
        const ArchiveRange r = PlanArchiveRange(p, size, mode);
        if (!r.Read) return {};
        cb.Sample = [&out](const ArchiveSample& s) { out.push_back(s); };
        return ReadArchiveRange(ops_, data_.Image, r.Start, r.End, size, cb);
    }
    static void ExpectContiguous(const std::vector<ArchiveSample>& s, double periodSeconds) {
        for (std::size_t i = 1; i < s.size(); ++i)
            ASSERT_NEAR((s[i].Timestamp - s[i - 1].Timestamp) * 86400.0, periodSeconds, 1e-3) << "at " << i;
    }

    std::unique_ptr<sim::Simulator> sim_;
    TSerCom port_;
    LoggerData data_;
    LoggerOps ops_{port_, data_};
};

sim::SimOptions Archive(std::uint32_t samples, int type = 4, std::uint32_t size = 32768) {
    sim::SimOptions o;
    o.LoggerType = type;
    o.Samples = samples;
    o.ArchiveSize = size;
    o.PeriodValue = 10;
    o.PeriodUnit = 2;
    return o;
}

}  // namespace

TEST_F(RangeRead, FromTheBookmarkEverySampleOnce) {
    Open(Archive(300));
    std::vector<ArchiveSample> s;
    int lastPercent = -1;
    ArchiveReadCallbacks cb;
    cb.Progress = [&](int p) {
        EXPECT_GE(p, lastPercent);
        lastPercent = p;
    };
    const auto r = Read(0, s, cb);
    EXPECT_FALSE(r.Aborted);
    ASSERT_GE(s.size(), 300u);  // a sample may have been added meanwhile
    EXPECT_LE(s.size(), 301u);
    EXPECT_EQ(lastPercent, 100);
    ExpectContiguous(s, 10);
    const double now = NowLocal();
    EXPECT_LT(std::fabs(s.back().Timestamp - now) * 86400.0, 15.0);
    for (const auto& x : s) {
        EXPECT_GE(x.Values[0], -50.01);  // temperature record range -50..150
        EXPECT_LE(x.Values[0], 150.01);
    }
}

TEST_F(RangeRead, Type2SmallBlocksGiveTheSameSamples) {
    Open(Archive(150, 2));
    std::vector<ArchiveSample> s;
    Read(0, s);
    ASSERT_GE(s.size(), 150u);
    ExpectContiguous(s, 10);
}

TEST_F(RangeRead, FullRingWrapsAroundOnce) {
    Open(Archive(1000, 4, 2048));  // more samples than the ring holds
    ASSERT_TRUE(sim_->ArchiveStatus() & 0x10) << "the ring should be full";
    std::vector<ArchiveSample> s;
    Read(0, s);
    ASSERT_GT(s.size(), 400u);
    ExpectContiguous(s, 10);

    // Reading "all" gives the same samples whatever the bookmark says.
    ops_.WriteArchiveReadPointer(sim_->ArchiveWrite());
    std::vector<ArchiveSample> all;
    Read(1, all);
    ASSERT_FALSE(all.empty());
    ExpectContiguous(all, 10);
    EXPECT_NEAR(all.back().Timestamp, s.back().Timestamp, 11.0 / 86400);
}

TEST_F(RangeRead, CorruptedAndDroppedRepliesAreRetried) {
    Open(Archive(250));
    sim::FaultRule f;
    f.Kind = sim::FaultKind::BadFcs;
    f.Every = 5;
    sim_->SetFault(f);
    std::vector<ArchiveSample> s;
    int retries = 0;
    ArchiveReadCallbacks cb;
    cb.OnCommError = [&](const EComm&) {
        ++retries;
        return StepFailure::Retry;
    };
    const auto r = Read(0, s, cb);
    EXPECT_FALSE(r.Aborted);
    // A single corrupted reply is repeated within its exchange.
    EXPECT_EQ(retries, 0);
    ASSERT_GE(s.size(), 250u);
    ExpectContiguous(s, 10);

    sim_->ClearFault();
    f.Kind = sim::FaultKind::ShortReply;
    f.Every = 3;
    sim_->SetFault(f);
    std::vector<ArchiveSample> again;
    ops_.WriteArchiveReadPointer(0);
    Read(0, again, cb);
    ASSERT_GE(again.size(), 250u);
    EXPECT_DOUBLE_EQ(again.front().Timestamp, s.front().Timestamp);
    ExpectContiguous(again, 10);
}

TEST_F(RangeRead, AbortThenResumeHasNoGapAndNoDuplicate) {
    Open(Archive(400));
    // Let a frame in the middle fail all three attempts; abort there.
    sim::FaultRule f;
    f.Kind = sim::FaultKind::NoReply;
    f.Frames = {4, 5, 6};
    sim_->SetFault(f);
    std::vector<ArchiveSample> first;
    ArchiveReadCallbacks cb;
    cb.OnCommError = [](const EComm&) { return StepFailure::Abort; };
    const auto r = Read(0, first, cb);
    ASSERT_TRUE(r.Aborted);
    ASSERT_FALSE(first.empty());
    ASSERT_LT(first.size(), 400u);
    sim_->ClearFault();
    ops_.WriteArchiveReadPointer(static_cast<std::int32_t>(r.ResumeAddress));

    std::vector<ArchiveSample> rest;
    const auto r2 = Read(0, rest);
    EXPECT_FALSE(r2.Aborted);
    ASSERT_FALSE(rest.empty());
    std::vector<ArchiveSample> all = first;
    all.insert(all.end(), rest.begin(), rest.end());
    ASSERT_GE(all.size(), 400u);
    ExpectContiguous(all, 10);
}
