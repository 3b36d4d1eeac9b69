// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of the logger's archive memory and the range arithmetic of a
// download.

#include <gtest/gtest.h>

#include <vector>

#include "archive/ArchiveReader.h"
#include "base/DateTime.h"

using namespace kolvex;

namespace {

// An image whose inputs convert raw values to themselves (temperature kind,
// record scale 1, offset 0), so decoded values show the raw numbers.
LoggerImage IdentityImage() {
    LoggerImage img;
    img.InputInfo.InputType[0] = 0x17;
    img.InputInfo.InputType[1] = 0x17;
    for (auto& in : img.Parameters.Input) {
        in.RecordScale = 1.0f;
        in.RecordOffset = 0.0f;
    }
    return img;
}

double At(int y, int mo, int d, int h, int mi, int s, int ms = 0) { return *TryEncodeDateTime(y, mo, d, h, mi, s, ms); }

std::vector<ArchiveSample> DecodeAll(const LoggerImage& img, const std::vector<std::uint8_t>& bytes,
                                     ArchiveDecoder* keep = nullptr) {
    ArchiveDecoder local(img);
    ArchiveDecoder& dec = keep ? *keep : local;
    std::vector<ArchiveSample> out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t len = dec.RecordLength(bytes[pos]);
        ArchiveSample s;
        if (dec.Decode(&bytes[pos], s)) out.push_back(s);
        pos += len;
    }
    return out;
}

}  // namespace

TEST(ArchiveDecoder, RecordsOfTheMemoryFormat) {
    const LoggerImage img = IdentityImage();
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::vector<std::vector<double>> expect;  // per sample: timestamp, value 1, value 2
    };
    const double base = At(2004, 8, 31, 12, 30, 0);
    const double sec = 1.0 / 86400;
    const std::vector<Case> cases = {
        {"header, both inputs, two-byte samples",
         {0xFB, 0x10, 0x02, 0x07, 0xC0, 0x63, 0x1F, 0x31, 0x12, 0x34, 0x56, 0x78, 0x12, 0x35, 0x56, 0x79},
         {{base, 0x1234, 0x5678}, {base + 10 * sec, 0x1235, 0x5679}}},
        {"input 1 only, one-byte samples",
         {0xFB, 0x10, 0x02, 0x01, 0xC0, 0x63, 0x1F, 0x31, 0x80, 0x81},
         {{base, 0x8000, -1}, {base + 10 * sec, 0x8100, -1}}},
        {"input 2 only lands in the first slot",
         {0xFB, 0x10, 0x02, 0x06, 0xC0, 0x63, 0x1F, 0x31, 0x12, 0x34},
         {{base, 0x1234, -1}}},
        {"fillers are skipped",
         {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0x10, 0x02, 0x05, 0xC0, 0x63, 0x1F, 0x31, 0xFA, 0xFF, 0xFF, 0x12, 0x00},
         {{base, 64255, -1}, {base + 10 * sec, 0x1200, -1}}},
        {"samples before any header count from 2000-01-01 in 2-second steps",
         {0x10, 0x20, 0x30},
         {{At(2000, 1, 1, 0, 0, 0), 0x1000, -1},
          {At(2000, 1, 1, 0, 0, 2), 0x2000, -1},
          {At(2000, 1, 1, 0, 0, 4), 0x3000, -1}}},
        {"15 minutes",
         {0xFB, 0x15, 0x03, 0x01, 0xC0, 0x63, 0x1F, 0x31, 0x01, 0x02},
         {{base, 0x100, -1}, {base + 15.0 * 60 * sec, 0x200, -1}}},
        {"15 days",
         {0xFB, 0x15, 0x05, 0x01, 0xC0, 0x63, 0x1F, 0x31, 0x01, 0x02},
         {{base, 0x100, -1}, {base + 15.0, 0x200, -1}}},
        {"no time step",
         {0xFB, 0x15, 0x06, 0x01, 0xC0, 0x63, 0x1F, 0x31, 0x01, 0x02},
         {{base, 0x100, -1}, {base, 0x200, -1}}},
        {"an impossible header date keeps the running time",
         {0x10, 0xFB, 0x10, 0x02, 0x01, 0xC0, 0x63, 0x00, 0x00, 0x20},
         {{At(2000, 1, 1, 0, 0, 0), 0x1000, -1}, {At(2000, 1, 1, 0, 0, 2), 0x2000, -1}}},
        {"a format recording neither input is one byte without values",
         {0xFB, 0x10, 0x02, 0x00, 0xC0, 0x63, 0x1F, 0x31, 0x00, 0x00},
         {{base, -1, -1}, {base + 10 * sec, -1, -1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = DecodeAll(img, c.bytes);
        ASSERT_EQ(got.size(), c.expect.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].Timestamp, c.expect[i][0], 1e-9) << i;
            EXPECT_EQ(got[i].Values[0], c.expect[i][1]) << i;
            EXPECT_EQ(got[i].Values[1], c.expect[i][2]) << i;
        }
    }
}

TEST(ArchiveDecoder, FormatErrorsAreFlagged) {
    const LoggerImage img = IdentityImage();
    ArchiveDecoder dec(img);
    // Date 0 (day 0, month 0) and time with 31 minutes... hours 31.
    DecodeAll(img, {0xFB, 0x10, 0x02, 0x01, 0x00, 0xF8, 0x00, 0x00}, &dec);
    EXPECT_EQ(dec.FormatErrors(), kFormatErrorDate | kFormatErrorTime);
}

TEST(ArchiveDecoder, StoredTimestampRoundsToTheMillisecondThenCuts) {
    const double noon = At(2004, 8, 31, 12, 0, 0);
    const double ms = 1.0 / 86400000;
    EXPECT_NEAR(ArchiveDecoder::StoredTimestamp(noon + 9999.6 * ms), At(2004, 8, 31, 12, 0, 10), 1e-9);
    EXPECT_NEAR(ArchiveDecoder::StoredTimestamp(noon + 9999.4 * ms), At(2004, 8, 31, 12, 0, 9), 1e-9);
    EXPECT_NEAR(ArchiveDecoder::StoredTimestamp(noon + 500 * ms), noon, 1e-9);
}

TEST(ArchiveRange, PointerCases) {
    ArchivePointers p;
    // From the bookmark with nothing new: nothing is read.
    p.ArchiveRead = p.ArchiveWrite = 0x1234;
    EXPECT_FALSE(PlanArchiveRange(p, 0x8000, 0).Read);
    // Full memory with equal pointers: the whole ring from the bookmark.
    p.ArchiveStatus = 0x10;
    ArchiveRange r = PlanArchiveRange(p, 0x8000, 0);
    EXPECT_TRUE(r.Read);
    EXPECT_EQ(ArchiveRangeTotal(r.Start, r.End, 0x8000), 0x8034u);
    // Wrap-around.
    p = {};
    p.ArchiveRead = 0x7F00;
    p.ArchiveWrite = 0x0100;
    r = PlanArchiveRange(p, 0x8000, 0);
    EXPECT_EQ(ArchiveRangeTotal(r.Start, r.End, 0x8000), 0x200u);
    // The first request of a bookmark inside a block starts at its boundary.
    p.ArchiveRead = 0x1234;
    p.ArchiveWrite = 0x2000;
    r = PlanArchiveRange(p, 0x8000, 0);
    EXPECT_EQ(r.Start, 0x1234u);
    EXPECT_EQ(ArchiveRangeTotal(r.Start, r.End, 0x8000), 0x2000u - 0x1200u);
    // Reading everything.
    p = {};
    p.ArchiveWrite = 0x1234;
    r = PlanArchiveRange(p, 0x8000, 1);
    EXPECT_EQ(r.Start, 0x1300u);
    EXPECT_EQ(ArchiveRangeTotal(r.Start, r.End, 0x8000), 0x7F34u);
    p.ArchiveWrite = 0x7F10;
    r = PlanArchiveRange(p, 0x8000, 1);
    EXPECT_EQ(r.Start, 0u);
    EXPECT_EQ(ArchiveRangeTotal(r.Start, r.End, 0x8000), 0x7F10u);
    // Modes other than 1 read from the bookmark.
    p.ArchiveRead = 0x100;
    EXPECT_EQ(PlanArchiveRange(p, 0x8000, 2).Start, 0x100u);
}

TEST(ArchiveRange, ImpossibleArchiveSizesAreRefused) {
    EXPECT_ANY_THROW(CheckArchiveSize(0));
    EXPECT_ANY_THROW(CheckArchiveSize(100));
    EXPECT_ANY_THROW(CheckArchiveSize(0x8001));
    EXPECT_NO_THROW(CheckArchiveSize(0x8000));
}
