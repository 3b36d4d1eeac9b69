// SPDX-License-Identifier: GPL-3.0-or-later
// The archive ring: block structure, sample timing, wrap-around, full flag,
// cyclic and non-cyclic recording and settings changes.

#include <gtest/gtest.h>

#include "SimTestUtil.h"
#include "sim/LoggerDevice.h"

using kolvex::sim::LoggerDevice;
using kolvex::sim::SimOptions;
using namespace simtest;

namespace {

SimOptions Small(std::uint32_t size, int period, std::uint32_t samples) {
    SimOptions o;
    o.LoggerType = 4;
    o.ArchiveSize = size;
    o.PeriodValue = period;
    o.PeriodUnit = 2;
    o.Samples = samples;
    return o;
}

// Bytes from a to b around the ring.
std::uint32_t Span(std::uint32_t a, std::uint32_t b, std::uint32_t size) { return (b - a) & (size - 1); }

}  // namespace

TEST(SimArchive, PreArchivedSamplesDecodeToThePeriod) {
    FakeTime clock;  // an even second, so the last sample falls on now
    LoggerDevice dev(Small(32768, 10, 200), clock.Source());
    const Bytes ring = dev.ArchiveBytes();
    const auto write = static_cast<std::uint32_t>(dev.ArchiveWrite());
    EXPECT_EQ(dev.ArchiveRead(), 0);
    EXPECT_EQ(dev.ArchiveStatus(), 0);

    std::vector<std::uint32_t> headers;
    const auto samples = Decode(ring, 0, write, &headers);
    ASSERT_EQ(samples.size(), 200u);
    for (std::size_t i = 1; i < samples.size(); ++i)
        EXPECT_EQ(samples[i].time - samples[i - 1].time, 10) << i;
    const std::int64_t now = dev.LoggerWallNow();
    EXPECT_EQ(samples.back().time, now);
    EXPECT_EQ(samples.back().raw[0], dev.CurrentRaw(0));
    EXPECT_EQ(samples.back().raw[1], dev.CurrentRaw(1));
    // Every 256-byte block begins with a header; 200 samples of 4 bytes fill 4 blocks.
    EXPECT_EQ(headers, (std::vector<std::uint32_t>{0, 256, 512, 768}));
    for (std::uint32_t b = 0; b < write; b += 256) EXPECT_EQ(ring[b], 0xFB) << b;
    // Header: period 10 s BCD, unit, format with both inputs and two bytes.
    EXPECT_EQ(ring[1], 0x10);
    EXPECT_EQ(ring[2], 0x02);
    EXPECT_EQ(ring[3] & 0x07, 0x07);
    for (std::uint32_t a = write; a < ring.size(); ++a) ASSERT_EQ(ring[a], 0xFF);

    // Time passes: samples follow at the period, lazily on the next request.
    clock.Advance(35);
    const auto more = Decode(dev.ArchiveBytes(), 0, static_cast<std::uint32_t>(dev.ArchiveWrite()));
    ASSERT_EQ(more.size(), 203u);
    EXPECT_EQ(more.back().time, now + 30);
}

TEST(SimArchive, OneByteSamplesAndRecordedInputs) {
    FakeTime clock;
    SimOptions o = Small(4096, 2, 300);
    o.TwoByteSamples = false;
    o.RecordFlags = 0x02;  // input 2 only: one byte per record
    LoggerDevice dev(o, clock.Source());
    const Bytes ring = dev.ArchiveBytes();
    // 248 records fit after the header of the first block; the 53 others follow a second header.
    EXPECT_EQ(dev.ArchiveWrite(), 256 + 8 + 52);
    EXPECT_EQ(ring[3] & 0x07, 0x02);
    const auto s = Decode(ring, 0, static_cast<std::uint32_t>(dev.ArchiveWrite()));
    ASSERT_EQ(s.size(), 300u);
    for (const auto& x : s) {
        EXPECT_LE(x.raw[0], 0xFA00);
        EXPECT_EQ(x.raw[0] % 256, 0);
        EXPECT_EQ(x.raw[1], -1);
    }
    EXPECT_EQ(s.back().raw[0], (dev.CurrentRaw(1) >> 8) * 256);
}

TEST(SimArchive, RecordsNeverCrossABlockEnd) {
    FakeTime clock;
    SimOptions o = Small(4096, 2, 99);
    o.RecordFlags = 0x01;  // two bytes per record: block 0 holds 8 + 99 * 2 bytes
    LoggerDevice dev(o, clock.Source());
    // Switch to four-byte records mid-block: a header at 206, ten records up
    // to 254, and the eleventh record would straddle the block end.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x99, 0, 3, 0x02, 0x02, 0x07})), Bytes{0x06});
    clock.Advance(2 * 120);
    const Bytes ring = dev.ArchiveBytes();
    std::vector<std::uint32_t> headers;
    const auto write = static_cast<std::uint32_t>(dev.ArchiveWrite());
    Decode(ring, 0, write, &headers);
    for (std::uint32_t b = 0; b < write; b += 256) EXPECT_EQ(ring[b], 0xFB) << b;
    // A header was written where the settings changed, inside block 0.
    ASSERT_GE(headers.size(), 3u);
    EXPECT_EQ(headers[1], 8u + 99 * 2);
    // The last bytes of block 0 that could not hold a record are filler.
    EXPECT_LT(ring[250], 0xFB);  // start of the tenth four-byte record
    EXPECT_EQ(ring[254], 0xFF);
    EXPECT_EQ(ring[255], 0xFF);
    EXPECT_EQ(headers[2], 256u);
}

TEST(SimArchive, CyclicRingWrapsAndDragsTheReadPointer) {
    FakeTime clock;
    LoggerDevice dev(Small(1024, 2, 0), clock.Source());
    EXPECT_EQ(dev.ArchiveWrite(), 0);
    // 62 records of 4 bytes fill a block after its header: 248 per ring.
    clock.Advance(2 * 200);
    EXPECT_EQ(dev.ArchiveWrite(), 768 + 8 + 4 * (200 - 186));
    EXPECT_EQ(dev.ArchiveStatus(), 0);
    clock.Advance(2 * 100);  // 300 samples: past the end, into block 0 again
    const auto write = static_cast<std::uint32_t>(dev.ArchiveWrite());
    EXPECT_EQ(write, 8u + 4 * (300 - 248));
    EXPECT_EQ(dev.ArchiveStatus(), 0x10);
    EXPECT_EQ(dev.ArchiveRead(), dev.ArchiveWrite());

    // Decoding the whole ring from the block after the write pointer gives
    // the newest records in order, every block led by a header.
    const Bytes ring = dev.ArchiveBytes();
    for (std::uint32_t b = 0; b < 1024; b += 256) EXPECT_EQ(ring[b], 0xFB);
    const std::uint32_t start = ((write + 256) & 1023) & ~255u;
    const auto s = Decode(ring, start, Span(start, write, 1024));
    ASSERT_EQ(s.size(), 3u * 62 + 52);
    for (std::size_t i = 1; i < s.size(); ++i) EXPECT_EQ(s[i].time - s[i - 1].time, 2) << i;
    EXPECT_EQ(s.back().time, dev.LoggerWallNow());

    // Moving the bookmark clears the full flag.
    EXPECT_EQ(dev.HandleFrame(Frame({0xFF, 0x89, 0, 4, 0, 2, 0, 0})), Bytes{0x06});
    EXPECT_EQ(dev.ArchiveStatus(), 0);
    EXPECT_EQ(dev.ArchiveRead(), 0x200);
}

TEST(SimArchive, CyclicErasingAnUnreadBlockCountsAsFull) {
    FakeTime clock;
    LoggerDevice dev(Small(1024, 2, 0), clock.Source());
    clock.Advance(2 * 100);
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x89, 0, 4, 0x80, 0, 0, 0})), Bytes{0x06});  // bookmark 0x80
    clock.Advance(2 * 147);  // up to the end of block 3: not yet full
    EXPECT_EQ(dev.ArchiveStatus(), 0);
    clock.Advance(2);  // the last record of block 3 still fits
    EXPECT_EQ(dev.ArchiveStatus(), 0);
    EXPECT_EQ(dev.ArchiveWrite(), 0);
    clock.Advance(2);  // the next record erases block 0, which holds the bookmark
    EXPECT_EQ(dev.ArchiveStatus(), 0x10);
    EXPECT_EQ(dev.ArchiveRead(), dev.ArchiveWrite());
    EXPECT_EQ(dev.ArchiveWrite(), 12);
}

TEST(SimArchive, NonCyclicStopsWhenFullAndResumesWithAHeader) {
    FakeTime clock;
    LoggerDevice dev(Small(1024, 2, 0), clock.Source());
    // Not cyclic: bit 4 of the flags.
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x99, 0, 3, 0x02, 0x02, 0x17})), Bytes{0x06});
    clock.Advance(2 * 400);
    EXPECT_EQ(dev.ArchiveStatus(), 0x10);
    EXPECT_EQ(dev.ArchiveRead(), 0);
    const std::int32_t stoppedAt = dev.ArchiveWrite();
    EXPECT_EQ(stoppedAt, 0);  // the ring is exactly full: the pointers meet
    const Bytes full = dev.ArchiveBytes();
    EXPECT_EQ(Decode(full, 0, 1024).size(), 248u);
    clock.Advance(2 * 10);
    EXPECT_EQ(dev.ArchiveWrite(), stoppedAt);
    EXPECT_EQ(dev.ArchiveBytes(), full);

    // The download moves the bookmark half way: archiving resumes with a new
    // time base at the next block.
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x89, 0, 4, 0, 2, 0, 0})), Bytes{0x06});
    EXPECT_EQ(dev.ArchiveStatus(), 0);
    clock.Advance(2 * 3);
    const Bytes ring = dev.ArchiveBytes();
    EXPECT_EQ(dev.ArchiveWrite(), 8 + 3 * 4);
    const auto s = Decode(ring, 0, static_cast<std::uint32_t>(dev.ArchiveWrite()));
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s.back().time, dev.LoggerWallNow());
    // Block 2 and 3 are kept unread; block 1 was not touched either.
    EXPECT_TRUE(std::equal(ring.begin() + 256, ring.end(), full.begin() + 256));
    // It stops again before erasing the unread block 2.
    clock.Advance(2 * 200);
    EXPECT_EQ(dev.ArchiveStatus(), 0x10);
    EXPECT_EQ(dev.ArchiveWrite(), 512);
    EXPECT_EQ(dev.ArchiveBytes()[512], full[512]);
}

TEST(SimArchive, SettingsAndClockChangesStartANewHeader) {
    FakeTime clock;
    LoggerDevice dev(Small(8192, 10, 5), clock.Source());
    const auto before = static_cast<std::uint32_t>(dev.ArchiveWrite());
    // 15 minutes, input 1 only, one byte.
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x99, 0, 3, 0x15, 0x03, 0x01})), Bytes{0x06});
    clock.Advance(45 * 60);
    Bytes ring = dev.ArchiveBytes();
    EXPECT_EQ(ring[before], 0xFB);
    EXPECT_EQ(ring[before + 1], 0x15);
    EXPECT_EQ(ring[before + 2], 0x03);
    EXPECT_EQ(ring[before + 3], 0x01);
    auto s = Decode(ring, 0, static_cast<std::uint32_t>(dev.ArchiveWrite()));
    ASSERT_EQ(s.size(), 5u + 3);
    EXPECT_EQ(s[6].time - s[5].time, 15 * 60);
    EXPECT_EQ(s[5].raw[1], -1);

    // Period off: nothing more is archived.
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x99, 0, 3, 0x00, 0x00, 0x01})), Bytes{0x06});
    const auto stopped = dev.ArchiveWrite();
    clock.Advance(3 * 3600);
    EXPECT_EQ(dev.ArchiveWrite(), stopped);

    // Archiving again after a clock change: the header carries the new time.
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x99, 0, 3, 0x10, 0x02, 0x07})), Bytes{0x06});
    ASSERT_EQ(dev.HandleFrame(Frame({0xFF, 0x88, 0, 30, 12, 0, 31, 8, 4, 0})), Bytes{0x06});
    clock.Advance(20);
    ring = dev.ArchiveBytes();
    EXPECT_EQ(dev.ArchiveWrite(), stopped + 8 + 2 * 4);
    s = Decode(ring, 0, static_cast<std::uint32_t>(dev.ArchiveWrite()));
    ASSERT_GE(s.size(), 2u);
    // 2004-08-31 12:30:10 and 12:30:20.
    EXPECT_EQ(s[s.size() - 2].time, FatTime(static_cast<std::uint16_t>(5 | (30 << 5) | (12 << 11)),
                                            static_cast<std::uint16_t>(31 | (8 << 5) | (24 << 9))));
    EXPECT_EQ(s.back().time - s[s.size() - 2].time, 10);
}
