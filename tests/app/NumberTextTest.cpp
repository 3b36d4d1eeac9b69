// SPDX-License-Identifier: GPL-3.0-or-later
// The shortest number texts against the standard library's, on chosen
// values and on a million random bit patterns.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "output/NumberText.h"
#include "output/WorkbookExport.h"

namespace {

std::string Ours(double v) {
    char b[kolvex::kNumberTextMax];
    return std::string(b, kolvex::WriteShortestNumber(b, v));
}

std::string Standard(double v) {
    char b[64];
    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

}  // namespace

TEST(NumberText, AsTheStandardLibraryWritesIt) {
    const double chosen[] = {0.0, -0.0, 1, -1, 20, 20.5, 0.1 + 0.2, 1e15, 1e16, 123456789012345678.0, 1e21, 1e22,
                             1e-4, 1e-5, 0.00012345, 1.5e-7, 5e-324, std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(), 100, 1000, 1e5, 12345e10, 9.999999999999999e22,
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::nan("")};
    for (double v : chosen) EXPECT_EQ(Ours(v), Standard(v)) << Standard(v);
    std::mt19937_64 rng(730);
    for (int i = 0; i < 1'000'000; ++i) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (i % 2) v = static_cast<double>(static_cast<std::int64_t>(bits % 2000000) - 1000000) / 1000.0;
        ASSERT_EQ(Ours(v), Standard(v)) << Standard(v);
    }
}

// The CSV export's fixed-point decimals, formatted straight into its buffer,
// against the export's own text of each value.
TEST(NumberText, DecimalsAsTheExportWritesThem) {
    auto ours = [](double v) {
        char b[kolvex::kDecimalTextMax];
        return std::string(b, kolvex::WriteShortestDecimal(b, v));
    };
    const double chosen[] = {0.0, -0.0, 1, -40, 0.1, static_cast<double>(0.1f), static_cast<double>(118.24528f),
                             0.1 + 0.2, 1e-7, 5e-324, 16777216.0, 16777217.0, 3.4e38, 1e22, 9007199254740993.0,
                             -static_cast<double>(1e-30f), std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(), std::nan("")};
    for (double v : chosen) EXPECT_EQ(ours(v), kolvex::ShortestDecimal(v)) << v;
    std::mt19937_64 rng(32);
    for (int i = 0; i < 300'000; ++i) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (i % 3 == 1) v = static_cast<double>(static_cast<std::int64_t>(bits % 2000000) - 1000000) / 1000.0;
        if (i % 3 == 2) v = static_cast<float>(static_cast<double>(static_cast<std::int64_t>(bits % 2000000) - 1000000) / 100.0);
        ASSERT_EQ(ours(v), kolvex::ShortestDecimal(v)) << v;
    }
}

// Values that are a short decimal (up to seven places, read as strtod reads
// them), their neighbours, which are not, and the edges of the short-decimal
// path: both writers against the standard library.
TEST(NumberText, ShortDecimalsAndTheirNeighbours) {
    auto decimal = [](double v) {
        char b[kolvex::kDecimalTextMax];
        return std::string(b, kolvex::WriteShortestDecimal(b, v));
    };
    auto check = [&](double v) {
        for (const double x : {v, -v, std::nextafter(v, 0.0), std::nextafter(v, HUGE_VAL)}) {
            ASSERT_EQ(Ours(x), Standard(x)) << Standard(x);
            ASSERT_EQ(decimal(x), kolvex::ShortestDecimal(x)) << Standard(x);
        }
    };
    const double edges[] = {0x1p31, 0x1p31 - 0.5, 2147483647.999999, 2147483647.0, 2147483647.5, 0x1p30, 0x1p-20,
                            0x1p-19, 1e-6, 2e-6, 5e-7, 1.5e-6, 1e-7, 0.001, 0.0015, 0.000999, 0.0001, 0.00012, 1e-5,
                            0.01, 0.1, 0.5, 1, 9.999999, 99999, 99999.5, 100000, 100000.5, 1e6, 1234567, 1e9,
                            1500000000, 999999.999999, 5e-324, 0x1p-1022, 1e15, 4503599627370496.5, 0.3, 2.675};
    for (double v : edges) check(v);
    EXPECT_EQ(Ours(-0.0), "-0");
    EXPECT_EQ(decimal(-0.0), "0");
    std::mt19937_64 rng(3232);
    const double scale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7};
    for (int i = 0; i < 200'000; ++i) {
        // A decimal of up to 13 digits with `places` of them after the point.
        const int places = static_cast<int>(rng() % 8);
        const std::uint64_t digits = rng() % (std::uint64_t{1} << (rng() % 40 + 1));
        char text[48];
        std::snprintf(text, sizeof text, "%llue-%d", static_cast<unsigned long long>(digits), places);
        check(std::strtod(text, nullptr));
        // A value computed the way a reading is scaled, mostly not a short decimal.
        check(static_cast<double>(digits % 100000) / scale[places] * 0.1);
    }
}
