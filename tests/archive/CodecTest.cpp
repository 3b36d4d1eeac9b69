// SPDX-License-Identifier: GPL-3.0-or-later
// Byte codecs of the dBASE field types against known byte vectors.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "ArchiveTestUtil.h"
#include "archive/dbf/DbfCodec.h"
#include "base/DateTime.h"

using namespace kolvex;
using namespace kolvex::dbf;
using kolvex::test::Hex;

namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}

enum class Codec { Db7Timestamp, Db7Double, FoxDateTime, FoxDouble };

struct Vector {
    Codec codec;
    const char* bytes;
    bool null;
    double value;  // date-time for the time codecs
};

}  // namespace

TEST(DbfCodec, KnownVectorsDecodeAndEncode) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Vector vectors[] = {
        {Codec::Db7Timestamp, "42 CC B2 0E 03 40 DF 00", false, At(2000, 8, 16, 17, 21, 41, 310)},
        {Codec::Db7Timestamp, "00 00 00 00 00 00 00 00", true, 0},
        {Codec::Db7Double, "80 00 00 00 00 00 00 00", false, 0.0},
        {Codec::Db7Double, "BF D3 33 33 33 33 33 34", false, 0.1 + 0.2},
        {Codec::Db7Double, "BF F0 00 00 00 00 00 00", false, 1.0},
        {Codec::Db7Double, "40 0F FF FF FF FF FF FF", false, -1.0},
        {Codec::Db7Double, "3F BD FF FF FF FF FF FF", false, -36.0},
        {Codec::Db7Double, "00 00 00 00 00 00 00 00", true, 0},
        // 12:30:00 is 45 000 000 ms.
        {Codec::FoxDateTime, "01 6F 25 00 40 A5 AE 02", false, At(2004, 8, 31, 12, 30, 0)},
        {Codec::FoxDateTime, "58 68 25 00 12 59 26 05", false, At(1999, 12, 31, 23, 59, 59, 250)},
        {Codec::FoxDateTime, "00 00 00 00 00 00 00 00", true, 0},
        {Codec::FoxDouble, "34 33 33 33 33 33 D3 3F", false, 0.1 + 0.2},
        {Codec::FoxDouble, "00 00 00 00 00 00 F8 BF", false, -1.5},
        {Codec::FoxDouble, "FF FF FF FF FF FF FF FF", true, nan},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.bytes);
        const auto bytes = Hex(v.bytes);
        double got = -12345;
        bool ok = false;
        switch (v.codec) {
            case Codec::Db7Timestamp: ok = DecodeDb7Timestamp(bytes.data(), got); break;
            case Codec::Db7Double: ok = DecodeDb7Double(bytes.data(), got); break;
            case Codec::FoxDateTime: ok = DecodeFoxDateTime(bytes.data(), got); break;
            case Codec::FoxDouble: ok = DecodeFoxDouble(bytes.data(), got); break;
        }
        EXPECT_EQ(ok, !v.null);
        if (v.null) continue;
        const bool isTime = v.codec == Codec::Db7Timestamp || v.codec == Codec::FoxDateTime;
        if (isTime)
            EXPECT_EQ(kolvex::FormatIsoDateTime(got, true), kolvex::FormatIsoDateTime(v.value, true));
        else
            EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(v.value));
        std::uint8_t out[8] = {};
        switch (v.codec) {
            case Codec::Db7Timestamp: EncodeDb7Timestamp(v.value, out); break;
            case Codec::Db7Double: EncodeDb7Double(v.value, out); break;
            case Codec::FoxDateTime: EncodeFoxDateTime(v.value, out); break;
            case Codec::FoxDouble: EncodeFoxDouble(v.value, out); break;
        }
        EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), bytes);
    }
}

TEST(DbfCodec, DoublesAndTimesRoundTripLosslessly) {
    const double values[] = {0.0, -0.0, 1e-300, -1e300, 21.456, -273.15, std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(), -std::numeric_limits<double>::infinity()};
    for (double x : values) {
        std::uint8_t b[8];
        double y = 0;
        EncodeDb7Double(x, b);
        ASSERT_TRUE(DecodeDb7Double(b, y));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(x), std::bit_cast<std::uint64_t>(y));
        EncodeFoxDouble(x, b);
        ASSERT_TRUE(DecodeFoxDouble(b, y));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(x), std::bit_cast<std::uint64_t>(y));
    }
    // The sign-ordering trick keeps the byte order of the values.
    std::uint8_t a[8], b[8];
    EncodeDb7Double(-2.0, a);
    EncodeDb7Double(-1.0, b);
    EXPECT_LT(std::memcmp(a, b, 8), 0);
    EncodeDb7Double(1.0, a);
    EXPECT_LT(std::memcmp(b, a, 8), 0);

    const double times[] = {At(2004, 8, 31, 12, 30, 0), At(1980, 1, 1), At(2099, 12, 31, 23, 59, 59, 999),
                            At(1899, 12, 30, 6, 0, 0), At(1899, 12, 29, 6, 0, 0), At(1, 1, 1, 0, 0, 1)};
    for (double t : times) {
        SCOPED_TRACE(kolvex::FormatIsoDateTime(t, true));
        std::uint8_t x[8];
        double y = 0;
        EncodeFoxDateTime(t, x);
        ASSERT_TRUE(DecodeFoxDateTime(x, y));
        EXPECT_EQ(y, t);
        EncodeDb7Timestamp(t, x);
        ASSERT_TRUE(DecodeDb7Timestamp(x, y));
        EXPECT_EQ(y, t);
    }
}

TEST(DbfCodec, NumericDateLogicalAndText) {
    std::uint8_t b[12];
    ASSERT_TRUE(EncodeNumeric(-12.5, 10, 4, b));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 10), "  -12.5000");
    ASSERT_TRUE(EncodeNumeric(123456.789, 6, 3, b));  // fewer decimals to fit
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 6), "123457");
    EXPECT_FALSE(EncodeNumeric(1234567.0, 6, 0, b));
    EXPECT_FALSE(EncodeNumeric(std::nan(""), 6, 0, b));
    double v = 0;
    EXPECT_TRUE(DecodeNumeric(reinterpret_cast<const std::uint8_t*>("  -12.50"), 8, v));
    EXPECT_EQ(v, -12.5);
    EXPECT_TRUE(DecodeNumeric(reinterpret_cast<const std::uint8_t*>("  3,25"), 6, v));
    EXPECT_EQ(v, 3.25);
    EXPECT_FALSE(DecodeNumeric(reinterpret_cast<const std::uint8_t*>("      "), 6, v));
    EXPECT_FALSE(DecodeNumeric(reinterpret_cast<const std::uint8_t*>("**.*"), 4, v));

    EncodeDate(At(2004, 8, 31, 13, 0, 0), b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 8), "20040831");
    EXPECT_TRUE(DecodeDate(b, v));
    EXPECT_EQ(v, At(2004, 8, 31));
    EXPECT_FALSE(DecodeDate(reinterpret_cast<const std::uint8_t*>("20040231"), v));
    EXPECT_FALSE(DecodeDate(reinterpret_cast<const std::uint8_t*>("        "), v));

    bool l = false;
    EXPECT_TRUE(DecodeLogical('y', l) && l);
    EXPECT_TRUE(DecodeLogical('F', l) && !l);
    EXPECT_FALSE(DecodeLogical('?', l));

    EXPECT_EQ(kolvex::FormatIsoDateTime(At(2004, 8, 31, 12, 30, 0), true), "2004-08-31 12:30:00");
    EXPECT_EQ(kolvex::FormatIsoDateTime(At(2004, 8, 31, 12, 30, 0, 7), true), "2004-08-31 12:30:00.007");
    ASSERT_TRUE(ParseDateTimeText("31/08/2004 12:30:10", v));
    EXPECT_EQ(v, At(2004, 8, 31, 12, 30, 10));
    ASSERT_TRUE(ParseDateTimeText("2004-08-31 12:30:10.25", v));
    EXPECT_EQ(v, At(2004, 8, 31, 12, 30, 10, 250));
    ASSERT_TRUE(ParseDateTimeText("31.08.2004", v));
    EXPECT_EQ(v, At(2004, 8, 31));
    EXPECT_FALSE(ParseDateTimeText("31/02/2004 12:30:10", v));
    EXPECT_FALSE(ParseDateTimeText("yesterday", v));

    EXPECT_EQ(DecodeDb7Long(Hex("80 00 00 05").data()), 5);
    EXPECT_EQ(DecodeDb7Long(Hex("7F FF FF FF").data()), -1);
    std::uint8_t y[8];
    ASSERT_TRUE(EncodeCurrency(-12.3456, y));
    EXPECT_EQ(DecodeCurrency(y), -12.3456);
}
